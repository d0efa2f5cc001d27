#include <string>

#include "zsepa/clsep_filesepa.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

[[noreturn]] void RaiseUnavailable(const std::string& kind) {
  throw Error(
      codes::kWriterUnavailable, "SaveXML()",
      "Il formato di file richiesto (" + kind + ") non è ancora disponibile");
}

}  // namespace

// File kinds whose writers are not part of this build yet.
bool CLSEP_FILESEPA::ScriviXmlIso(const std::string&) {
  return Guarded([] { RaiseUnavailable("ISO 20022 pain.001.001.03"); });
}
bool CLSEP_FILESEPA::ScriviXmlSDD(const std::string&) {
  return Guarded([] { RaiseUnavailable("CBI SEPA Direct Debit"); });
}

}  // namespace zsepa
