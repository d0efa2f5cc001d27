#ifndef ZSEPA_CLSEP_FILESEPA_H_
#define ZSEPA_CLSEP_FILESEPA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zsepa/clsep_infopag.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/connection.h"
#include "zsepa/enums.h"
#include "zsepa/finding.h"
#include "zsepa/framework.h"
#include "zsepa/profile.h"
#include "zsepa/variant.h"
#include "zsepa/xml_file_service.h"

namespace zsepa {

// The builder: the one object through which a host writes a bank file or
// reads a status report.
//
// Writing a file: set ActiveInterface and AdoConnection, call Initialize, set
// FormatoFile and CodiceIsoLocalizzazione, Add each batch (or
// AddWithInfoPag a block built by the host), fill its transactions, SaveXML,
// read MsgId and the totals, Terminate.
//
// Error convention: operations with their own error handling (Add,
// AddWithInfoPag, GetIndTipoStato, SaveXML, LoadXml) catch every error, put
// its code into Stato() and its text into Errore(), release what they hold
// and return their failure value. Initialize sets both and rethrows. A
// successful call never clears them. Other operations raise zsepa::Error.
//
// A builder serves one thread at a time; it starts no threads of its own.
class CLSEP_FILESEPA {
 public:
  // Creates the builder with the default XML file service, or with `files`.
  CLSEP_FILESEPA();
  explicit CLSEP_FILESEPA(std::unique_ptr<framework::XmlFileService> files);
  ~CLSEP_FILESEPA();
  CLSEP_FILESEPA(const CLSEP_FILESEPA&) = delete;
  CLSEP_FILESEPA& operator=(const CLSEP_FILESEPA&) = delete;

  // Borrowed from the host, never owned, opened or closed by the builder.
  framework::FrameworkObject* ActiveInterface = nullptr;
  db::Connection* AdoConnection = nullptr;
  // 0: free-text remittance information; anything else: structured.
  zxEnumStrutturaSepa TipoStrutturaFile = zxEnumStrutturaSepa::NonStrutturato;
  // Creation date-time written into file headers; today at midnight when the
  // builder is created.
  Variant DataCreazioneSupporto;
  zxEnumFormatoFile FormatoFile = zxEnumFormatoFile::BonificoSEPA;
  std::string CodiceIsoLocalizzazione;
  // This library's addition: the form SaveXML writes (zsepa/profile.h).
  // kExact, the default, is the file byte for byte as documented.
  FileProfile Profile = FileProfile::kExact;

  int32_t Stato() const;
  const std::string& Errore() const;

  // Checks the borrowed objects (raising 0x8003ff9c without framework object,
  // then 0x8003ff9b without connection, after setting Stato/Errore) and starts
  // a new, empty block list and state-type cache. Returns False.
  bool Initialize();
  // Drops the block list and the caches. Harmless when repeated.
  void Terminate();

  // Totals over all blocks in list order. Raise run-time error 91 without a
  // block list and 6 on overflow.
  int32_t NumeroTotaleTrasferimenti() const;
  double ImportoTotaleTrasferimenti() const;

  // The message identifier of the first block: number "0000000", year
  // "0000", kind. Empty without blocks; raises 91 without a block list.
  std::string MsgId() const;
  // Decodes `MsgId` into number and kind; the year is input only. Raises 6
  // when a piece does not fit its integer type.
  void MsgIdToDistinta(const std::string& MsgId, int32_t& NumeroDistinta,
                       int16_t AnnoDistinta, int16_t& TipoDistinta) const;

  // Reads the batch and its bank row and appends a new block; returns it, or
  // nullptr with Stato/Errore set ("Distinta non trovata", database errors).
  std::shared_ptr<CLSEP_INFOPAG> Add(int16_t TipoDistinta,
                                     int32_t NumeroDistinta,
                                     int16_t AnnoDistinta);
  // Appends a block that the host built; on return `objInfoPag` refers to the
  // same block. Failures go to Stato/Errore; a missing block (nullptr) is
  // refused with run-time error 91 and nothing is added.
  void AddWithInfoPag(std::shared_ptr<CLSEP_INFOPAG>& objInfoPag);

  // Writes the file of the blocks to `PercorsoFile` with the writer that
  // FormatoFile and CodiceIsoLocalizzazione select. True when written; False
  // with Stato/Errore set, no file and no temporary file left behind.
  bool SaveXML(const std::string& PercorsoFile);
  // What the last SaveXML under the bank-2026 profile changed against the
  // exact file (warnings) and what it refused (errors: then SaveXML failed
  // with codes::kProfileRefused and wrote nothing), in file order. Empty
  // after a SaveXML under the exact profile.
  const std::vector<Finding>& ProfileFindings() const;

  // Reads a direct-debit status report into CpOutput(). True when a whole
  // report was processed; always False with FlagSoloValidazione.
  bool LoadXml(const std::string& PercorsoFile, bool FlagSoloValidazione);
  // The builder's one outcome object.
  const std::shared_ptr<CLSEP_OUTPUTSEPA>& CpOutput() const;

  // The type indicator of a state (cached per code); -1 with Stato/Errore set
  // on any error.
  int16_t GetIndTipoStato(const std::string& fstrCodiceStato);

 private:
  // The library's own readers of the block list (the pre-flight checks) go
  // through model/builder_blocks.h.
  friend const BlockList* BlocksOf(const CLSEP_FILESEPA& builder);

  // Block list, caches, file service, outcome and last error.
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zsepa

#endif  // ZSEPA_CLSEP_FILESEPA_H_
