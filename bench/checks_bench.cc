// The pre-flight checks on 100,000 transactions against writing the same
// file: a SEPA credit-transfer file and a direct-debit file, each through the
// public classes on the embedded demo database. The checks must cost at most
// a tenth of the writing: compare us_per_tx of BM_Check… with BM_Write….

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "bench/file_write.h"
#include "zsepa/checks.h"

namespace zsepa {
namespace {

using bench::kTransactions;

// An Italian VAT number with its check digit from ten digits.
std::string VatNumber(int64_t ten_digits) {
  std::string number = std::to_string(1000000000LL + ten_digits % 1000000000);
  int sum = 0;
  for (size_t i = 0; i < 10; ++i) {
    int digit = number[i] - '0';
    if (i % 2 == 1) digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
    sum += digit;
  }
  return number + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Varied transactions of both file kinds, as a real batch has them: valid
// domestic and foreign accounts and VAT numbers, a dozen states, dates,
// mandates and free-text remittance; one transaction in a thousand has an
// account with wrong check digits, so that findings are made too.
void FillTransactions(CLSEP_INFOPAG& block) {
  static const char* const kIbans[] = {
      "IT60X0542811101000000123456", "GB29NWBK60161331926819",
      "FR7630006000011234567890189", "DE89370400440532013000"};
  static const char* const kBics[] = {"", "NWBKGB2LXXX", "AGRIFRPPXXX",
                                      "COBADEFFXXX"};
  static const int kBusinessDays[] = {2, 3, 6, 7, 8, 9, 10, 13, 14, 15};
  static const int32_t kStates[] = {86, 29, 94, 71, 69};
  for (int i = 0; i < kTransactions; ++i) {
    CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
    const std::string n = std::to_string(i + 1);
    t.Importo = 10 + (i % 9973) * 0.37;
    t.NumeroEffetto = "2024/" + n;
    t.Causale = i % 3 == 0 ? "SUPP" : "RENT";
    t.RagioneSociale = "Cliente " + n + " S.r.l.";
    t.IBAN = i % 1000 == 999 ? "IT60X0542811101000000123457" : kIbans[i % 4];
    t.BicSwift = kBics[i % 4];
    t.Indirizzo = "Via Manzoni " + n;
    t.Cap = "22100";
    t.Citta = "Como";
    t.Provincia = "CO";
    t.CodiceIso = i % 4 >= 2 ? "FR" : "IT";
    t.CapCittaProvNazione = "22100 Como CO";
    t.PartitaIVA = VatNumber(i);
    t.CodCG07 = kStates[i % 5];
    t.TipoSequenzaRidSDD = static_cast<zxEnumTipoSequenzaRidSDD>(i % 4);
    t.Scadenza = Date::FromParts(2024, 5, kBusinessDays[i % 10]);
    t.RiferimentoMandato = "MND-" + n;
    t.DataMandato = Date::FromParts(2023, 1, 15);
    if (i % 10 == 0) {
      t.TitIBAN_Esistente = 1;
      t.TitIBAN_RagioneSociale = "Titolare " + n;
      t.TitIBAN_CodiceIso = "IT";
      t.TitIBAN_CodCG07 = 86;
    }
    t.RiferimentoNonStrutturato = "Canone " + n + " maggio 2024";
  }
}

void FillDirectDebitBlock(CLSEP_INFOPAG& block) {
  block.IsMultipla = true;
  block.TipoIncassoRidSDD = zxEnumTipoIncassoRidSDD::SDDCore;
  block.CreditorIdentifier = "IT86ZZZ01234567890";
  block.CodiceCUC = "12345678";
  FillTransactions(block);
}

// Runs the checks on batch `numero` of 2024 in format `formato`, filled by
// `fill`; reports the time per transaction and the findings.
void CheckFile(benchmark::State& state, zxEnumFormatoFile formato,
               int32_t numero,
               const std::function<void(CLSEP_INFOPAG&)>& fill) {
  bench::DemoBatch batch(formato, numero, fill);
  CLSEP_FILESEPA& builder = batch.builder();
  if (!batch.ok()) {
    state.SkipWithError(builder.Errore().c_str());
    return;
  }
  double seconds = 0;
  size_t findings = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Finding> found = CheckBeforeSave(builder);
    seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    findings = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["us_per_tx"] =
      seconds * 1e6 / (static_cast<double>(kTransactions) * state.iterations());
  state.counters["findings"] = static_cast<double>(findings);
}

void BM_CheckSepaFile(benchmark::State& state) {
  CheckFile(state, zxEnumFormatoFile::BonificoSEPA, 15, FillTransactions);
}
void BM_WriteSepaFile(benchmark::State& state) {
  bench::WriteFile(state, zxEnumFormatoFile::BonificoSEPA, 15,
                   FillTransactions);
}
void BM_CheckDirectDebitFile(benchmark::State& state) {
  CheckFile(state, zxEnumFormatoFile::RidSecureDirectDebit, 12,
            FillDirectDebitBlock);
}
void BM_WriteDirectDebitFile(benchmark::State& state) {
  bench::WriteFile(state, zxEnumFormatoFile::RidSecureDirectDebit, 12,
                   FillDirectDebitBlock);
}

BENCHMARK(BM_CheckSepaFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteSepaFile)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_CheckDirectDebitFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WriteDirectDebitFile)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace zsepa

BENCHMARK_MAIN();
