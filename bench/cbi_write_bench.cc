// Writing a 100,000-transaction SEPA credit-transfer file through the public
// classes on the embedded demo database, lookups included. Reports the time
// per transaction and the process's peak memory relative to the file size.

#include <string>

#include "bench/file_write.h"

namespace zsepa {
namespace {

using bench::kTransactions;

// A batch of varied transactions: domestic and foreign accounts, a dozen
// states, free-text remittance.
void FillTransactions(CLSEP_INFOPAG& block) {
  static const char* const kIbans[] = {
      "IT60X0542811101000000123456", "IT02A0503401633000000012345",
      "FR7630006000011234567890189", "DE89370400440532013000"};
  static const int32_t kStates[] = {86, 29, 94, 71, 69};
  for (int i = 0; i < kTransactions; ++i) {
    CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
    const std::string n = std::to_string(i + 1);
    t.Importo = 100 + (i % 9973) * 0.37;
    t.Causale = i % 3 == 0 ? "SUPP" : "";
    t.RagioneSociale = "Fornitore " + n + " S.p.A.";
    t.IBAN = kIbans[i % 4];
    t.BicSwift = i % 4 >= 2 ? "AGRIFRPPXXX" : "";
    t.Indirizzo = "Via Roma " + n;
    t.CodiceIso = i % 4 >= 2 ? "FR" : "IT";
    t.CapCittaProvNazione = "20100 Milano MI";
    t.PartitaIVA = std::to_string(10000000000LL + i);  // 11 digits
    t.CodCG07 = kStates[i % 5];
    t.RiferimentoNonStrutturato = "Fattura " + n + " del 2024-02-15";
  }
}

void BM_WriteSepaFile(benchmark::State& state) {
  bench::WriteFile(state, zxEnumFormatoFile::BonificoSEPA, 15,
                   [](CLSEP_INFOPAG& block) { FillTransactions(block); });
}
// Each run is its own process for honest peak figures: run with
// --benchmark_filter=WriteSepaFile/1 (saving) or /0 (building only).
BENCHMARK(BM_WriteSepaFile)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace zsepa

BENCHMARK_MAIN();
