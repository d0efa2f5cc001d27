// Writing a 100,000-transaction direct-debit file through the public classes
// on the embedded demo database, lookups included, grouped by sequence type
// and due date. Reports the time per transaction and the process's peak
// memory relative to the file size.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa {
namespace {

namespace fs = std::filesystem;

constexpr int kTransactions = 100000;

long PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;  // kilobytes on Linux
}

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

// A file service that drops the finished document: isolates the cost of
// building the tree (lookups included) from the cost of saving it.
class DiscardingFileService final : public framework::XmlFileService {
 public:
  void Load(framework::XmlDocument&, const std::string&) override {}
  void Save(const framework::XmlDocument&, const std::string&) override {}
};

// state.range(0): 1 saves the file with the default service, 0 only builds.
void BM_WriteDirectDebitFile(benchmark::State& state) {
  const bool save = state.range(0) != 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("zsepa_sdd_bench_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  auto connection =
      sqlite::SqliteConnection::Create((dir / "demo.db").string());
  sqlite::FillDemoData(*connection);
  framework::InMemoryFramework framework(
      {Variant(int32_t{1}), "Officine Rossi & Figli S.r.l.",
       Variant(int32_t{1000}), "01234567890", ""});
  CLSEP_FILESEPA builder =
      save ? CLSEP_FILESEPA()
           : CLSEP_FILESEPA(std::make_unique<DiscardingFileService>());
  builder.ActiveInterface = &framework;
  builder.AdoConnection = connection.get();
  builder.FormatoFile = zxEnumFormatoFile::RidSecureDirectDebit;
  builder.Initialize();
  auto block = builder.Add(1, 12, 2024);
  if (block == nullptr) {
    state.SkipWithError(builder.Errore().c_str());
    return;
  }
  block->ProgrBanca = 1;
  block->IsMultipla = true;
  block->TipoIncassoRidSDD = zxEnumTipoIncassoRidSDD::SDDCore;
  block->CreditorIdentifier = "IT86ZZZ01234567890";
  block->CodiceCUC = "12345678";
  FillTransactions(*block);
  const long before = PeakResidentBytes();
  const std::string path = (dir / "out.xml").string();

  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!builder.SaveXML(path)) {
      state.SkipWithError(builder.Errore().c_str());
      break;
    }
    seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
  }
  const long peak = PeakResidentBytes();
  state.counters["us_per_tx"] =
      seconds * 1e6 / (static_cast<double>(kTransactions) * state.iterations());
  state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
  state.counters["model_MB"] = static_cast<double>(before) / 1e6;
  if (save) {
    const double file_bytes = static_cast<double>(fs::file_size(path));
    state.counters["file_MB"] = file_bytes / 1e6;
    state.counters["peak_per_file"] = static_cast<double>(peak) / file_bytes;
    state.counters["save_peak_per_file"] =
        static_cast<double>(peak - before) / file_bytes;
  }
  builder.Terminate();
  fs::remove_all(dir);
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
