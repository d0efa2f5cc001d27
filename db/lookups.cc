#include "model/clsep_filesepa.h"
#include "model/error.h"

namespace zsepa {

int16_t CLSEP_FILESEPA::GetIndTipoStato(const std::string&) {
  Guarded([] { rt::Raise(rt::kObjectNotSet); });
  return -1;
}

}  // namespace zsepa
