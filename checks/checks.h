#ifndef ZSEPA_CHECKS_CHECKS_H_
#define ZSEPA_CHECKS_CHECKS_H_

#include <vector>

#include "writers/writer.h"
#include "zsepa/checks.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/enums.h"
#include "zsepa/framework.h"
#include "zsepa/variant.h"

namespace zsepa::checks {

// What the checks read: the builder's settings, its blocks and the current
// company, and the kind of file that will be written.
struct Subject {
  writers::FileKind kind = writers::FileKind::kCbiSepaCreditTransfer;
  zxEnumFormatoFile FormatoFile = zxEnumFormatoFile::BonificoSEPA;
  zxEnumStrutturaSepa TipoStrutturaFile = zxEnumStrutturaSepa::NonStrutturato;
  Variant DataCreazioneSupporto;
  const BlockList* blocks = nullptr;                   // nullptr: no list
  const framework::CurrentCompany* company = nullptr;  // nullptr: unknown
};

// The findings for a file of `subject.kind`, in block and transaction order.
std::vector<Finding> Check(const Subject& subject);

}  // namespace zsepa::checks

#endif  // ZSEPA_CHECKS_CHECKS_H_
