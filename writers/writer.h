#ifndef ZSEPA_WRITERS_WRITER_H_
#define ZSEPA_WRITERS_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/lookups.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/connection.h"
#include "zsepa/enums.h"
#include "zsepa/finding.h"
#include "zsepa/framework.h"
#include "zsepa/profile.h"
#include "zsepa/variant.h"
#include "zsepa/xml_file_service.h"

namespace zsepa::writers {

// What a writer may read: the builder's values, its blocks, the borrowed
// host objects, the lookups and the file service. The borrowed objects are
// fetched when used, so a missing one fails (run-time error 91) at the step
// that needs it, as the builder's own members would.
struct WriteContext {
  zxEnumStrutturaSepa TipoStrutturaFile = zxEnumStrutturaSepa::NonStrutturato;
  Variant DataCreazioneSupporto;
  zxEnumFormatoFile FormatoFile = zxEnumFormatoFile::BonificoSEPA;
  std::string CodiceIsoLocalizzazione;
  FileProfile profile = FileProfile::kExact;
  // Where the bank-2026 profile reports; required under that profile.
  std::vector<Finding>* findings = nullptr;
  const BlockList* blocks = nullptr;  // nullptr before Initialize
  const framework::FrameworkObject* framework = nullptr;
  db::Connection* connection = nullptr;
  db::Lookups* lookups = nullptr;
  framework::XmlFileService* files = nullptr;

  const BlockList& Blocks() const;
  const framework::CurrentCompany& Company() const;
  db::Connection& Connection() const;
  db::Lookups& Lookups() const;
  framework::XmlFileService& Files() const;
};

// One writer per file kind. Write builds the whole document and saves it
// through the context's file service; it raises zsepa::Error on any failure,
// and then nothing has been written.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual void Write(const WriteContext& context,
                     const std::string& PercorsoFile) const = 0;
};

// The file kinds, as FormatoFile and CodiceIsoLocalizzazione select them.
enum class FileKind {
  kCbiSepaCreditTransfer,
  kCbiCrossBorderTransfer,
  kIsoCreditTransfer,
  kCbiDirectDebit,
};

// Formats 1 and 2 with localisation "FR" (whole text, exact case) are the ISO
// file, formats 1 and 2 otherwise the CBI credit-transfer files, any other
// format the direct-debit file.
FileKind KindOf(zxEnumFormatoFile FormatoFile,
                std::string_view CodiceIsoLocalizzazione);

// The writer of a file kind.
const Writer& SelectWriter(FileKind kind);

// The builder's totals over all blocks in list order: raise run-time error 6
// on overflow.
int32_t NumeroTotaleTrasferimenti(const BlockList& blocks);
double ImportoTotaleTrasferimenti(const BlockList& blocks);

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_WRITER_H_
