// Reading a job of 100,000 transactions: in one pass straight into the plan
// (what `zsepa write` does), against building the whole JSON value first and
// walking it. Run each alone (--benchmark_filter) for a peak_MB of its own.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <string>

#include "tools/job.h"

namespace zsepa::bench {
namespace {

constexpr int kTransactions = 100000;

// A credit-transfer job with `count` transactions, one a line, each with
// its own amount, name and remittance text.
std::string JobText(int count) {
  std::string text =
      R"({"ditta": {"CodiceDitta": 1, "RagioneSocialeDitta": "Officine Rossi & Figli S.r.l.",)"
      R"( "CodiceAnagraficaDitta": 1000, "IdentificativoDitta": "01234567890",)"
      R"( "IdentificativoDittaAlternativo": ""}, "FormatoFile": 1,)"
      R"( "DataCreazioneSupporto": "2024-03-05T09:07:03", "blocchi": [{"Add":)"
      R"( {"TipoDistinta": 1, "NumeroDistinta": 15, "AnnoDistinta": 2024},)"
      R"( "ProgrBanca": 1, "trasferimenti": [)"
      "\n";
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i + 1);
    text += (i ? "," : "");
    text +=
        R"({"Importo": )" + std::to_string(10 + i % 100000) + "." +
        std::to_string(i % 100) +
        R"(, "Causale": "SUPP", "RagioneSociale": "Fonderia Lombarda S.p.A. )" +
        n +
        R"(", "IBAN": "IT61X0306909606100000012345", "BicSwift": "BCITITMMXXX",)"
        R"( "Indirizzo": "Via Leonardo da Vinci", "NumeroCivico": "45", "Cap": "25121",)"
        R"( "Citta": "Brescia", "Provincia": "BS", "CodiceIso": "IT",)"
        R"( "CapCittaProvNazione": "25121 Brescia BS IT",)"
        R"( "CodCG07": 86, "Scadenza": "2024-03-31", "RiferimentoNonStrutturato":)"
        R"( "Fattura )" +
        n + "/2024\"}\n";
  }
  return text + "]}]}\n";
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
}

double HeapMegabytes() {
  return static_cast<double>(mallinfo2().uordblks) / 1e6;
}

template <typename Read>
void ReadJobBench(benchmark::State& state, const Read& read) {
  const std::string text = JobText(kTransactions);
  const double before = HeapMegabytes();
  double plan = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const cli::Job job = read(text);
    seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    plan = HeapMegabytes() - before;
    benchmark::DoNotOptimize(job.transaction_count);
  }
  state.counters["us_per_tx"] =
      seconds * 1e6 / (static_cast<double>(kTransactions) * state.iterations());
  state.counters["job_MB"] = static_cast<double>(text.size()) / 1e6;
  state.counters["plan_MB"] = plan;
  state.counters["peak_MB"] = PeakMegabytes();
}

void BM_ReadJobInOnePass(benchmark::State& state) {
  ReadJobBench(state, [](const std::string& text) {
    return cli::ParseJobText(text, "job.json");
  });
}
BENCHMARK(BM_ReadJobInOnePass)->Unit(benchmark::kMillisecond);

void BM_ReadJobThroughWholeValue(benchmark::State& state) {
  ReadJobBench(state, [](const std::string& text) {
    return cli::ParseJob(cli::ParseJsonText(text, "job.json"));
  });
}
BENCHMARK(BM_ReadJobThroughWholeValue)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zsepa::bench

BENCHMARK_MAIN();
