#include <cmath>

#include "zsepa/clsep_infopag.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/clsep_transfcredit.h"

namespace zsepa {

std::shared_ptr<CLSEP_RIFSCA> CLSEP_TRANSFCREDIT::AddRiferimentoScadenza() {
  auto riferimento = std::make_shared<CLSEP_RIFSCA>();
  riferimenti_.Add(riferimento);
  return riferimento;
}

std::shared_ptr<CLSEP_TRANSFCREDIT> CLSEP_INFOPAG::AddTrasfer() {
  auto trasferimento = std::make_shared<CLSEP_TRANSFCREDIT>();
  trasferimenti_.Add(trasferimento);
  return trasferimento;
}

double CLSEP_INFOPAG::TotaleImportoTrasferimenti() const {
  double total = 0.0;
  for (const auto& trasferimento : trasferimenti_) {
    total += std::fabs(trasferimento->Importo);
  }
  if (!std::isfinite(total)) rt::Raise(rt::kOverflow);
  return total;
}

std::shared_ptr<CLSEP_STATUSSCA> CLSEP_OUTPUTSEPA::AddEffetto(
    const std::string& NumeroEffetto, const std::string& RejectReason) {
  auto effetto = std::make_shared<CLSEP_STATUSSCA>();
  effetto->NumeroEffetto = NumeroEffetto;
  effetto->RejectReason = RejectReason;
  effetti_.Add(effetto, NumeroEffetto + "E");
  return effetto;
}

int32_t CLSEP_OUTPUTSEPA::NumeroInsoluti() const {
  int32_t count = 0;
  for (const auto& effetto : effetti_) count += effetto->IsInsoluto ? 1 : 0;
  return count;
}

int32_t CLSEP_OUTPUTSEPA::NumeroRichiami() const {
  return effetti_.Count() - NumeroInsoluti();
}

}  // namespace zsepa
