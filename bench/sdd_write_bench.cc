// Writing a 100,000-transaction direct-debit file through the public classes
// on the embedded demo database, lookups included, grouped by sequence type
// and due date. Reports the time per transaction and the process's peak
// memory relative to the file size.

#include <string>

#include "bench/file_write.h"

namespace zsepa {
namespace {

using bench::kTransactions;

// Varied direct debits: domestic and foreign accounts, four sequence types,
// twenty due dates, a separate account holder for one in ten, amended
// mandates for one in seven, a dozen states.
void FillTransactions(CLSEP_INFOPAG& block) {
  static const char* const kIbans[] = {
      "IT60X0542811101000000123456", "IT02A0503401633000000012345",
      "FR7630006000011234567890189", "DE89370400440532013000"};
  static const int32_t kStates[] = {86, 29, 94, 71, 69};
  for (int i = 0; i < kTransactions; ++i) {
    CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
    const std::string n = std::to_string(i + 1);
    t.Importo = 10 + (i % 9973) * 0.37;
    t.NumeroEffetto = "2024/" + n;
    t.Causale = "RENT";
    t.RagioneSociale = "Cliente " + n + " S.r.l.";
    t.IBAN = kIbans[i % 4];
    t.BicSwift = i % 4 >= 2 ? "AGRIFRPPXXX" : "";
    t.Indirizzo = "Via Manzoni " + n;
    t.Cap = "22100";
    t.Citta = "Como";
    t.Provincia = "CO";
    t.CodiceIso = i % 4 >= 2 ? "FR" : "IT";
    t.PartitaIVA = std::to_string(10000000000LL + i);  // 11 digits
    t.CodCG07 = kStates[i % 5];
    t.TipoSequenzaRidSDD = static_cast<zxEnumTipoSequenzaRidSDD>(i % 4);
    t.Scadenza = Date::FromParts(2024, 5, 1 + i % 20);
    t.RiferimentoMandato = "MND-" + n;
    t.DataMandato = Date::FromParts(2023, 1, 15);
    if (i % 7 == 0) t.PrecedenteRiferimentoMandato = "MND-OLD-" + n;
    if (i % 10 == 0) {
      t.TitIBAN_Esistente = 1;
      t.TitIBAN_RagioneSociale = "Titolare " + n;
      t.TitIBAN_CodiceIso = "IT";
      t.TitIBAN_CodCG07 = 86;
    }
    t.RiferimentoNonStrutturato = "Canone " + n + " maggio 2024";
  }
}

void BM_WriteDirectDebitFile(benchmark::State& state) {
  bench::WriteFile(state, zxEnumFormatoFile::RidSecureDirectDebit, 12,
                   [](CLSEP_INFOPAG& block) {
                     block.IsMultipla = true;
                     block.TipoIncassoRidSDD = zxEnumTipoIncassoRidSDD::SDDCore;
                     block.CreditorIdentifier = "IT86ZZZ01234567890";
                     block.CodiceCUC = "12345678";
                     FillTransactions(block);
                   });
}
// Each run is its own process for honest peak figures: run with
// --benchmark_filter=WriteDirectDebitFile/1 (saving) or /0 (building only).
BENCHMARK(BM_WriteDirectDebitFile)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace zsepa

BENCHMARK_MAIN();
