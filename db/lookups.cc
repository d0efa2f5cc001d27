#include "model/clsep_filesepa.h"
#include "model/error.h"

namespace zsepa {

int16_t CLSEP_FILESEPA::GetIndTipoStato(const std::string&) {
  Guarded([] { rt::Raise(rt::kObjectNotSet); });
  return -1;
}

std::string CLSEP_FILESEPA::LeggiCodiceCUC(int32_t) { return "??????"; }
bool CLSEP_FILESEPA::IsIbanEstero(const std::string&) { return false; }
bool CLSEP_FILESEPA::IsIndTipoStato(const Variant&) { return true; }
bool CLSEP_FILESEPA::IsCausaleInsoluto(const std::string&) {
  rt::Raise(rt::kObjectNotSet);
}

}  // namespace zsepa
