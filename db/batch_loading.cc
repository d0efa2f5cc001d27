#include "model/clsep_filesepa.h"
#include "model/error.h"

namespace zsepa {

std::shared_ptr<CLSEP_INFOPAG> CLSEP_FILESEPA::Add(int16_t, int32_t, int16_t) {
  Guarded([] { rt::Raise(rt::kObjectNotSet); });
  return nullptr;
}

}  // namespace zsepa
