#ifndef ZSEPA_BENCH_FILE_WRITE_H_
#define ZSEPA_BENCH_FILE_WRITE_H_

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa::bench {

inline constexpr int kTransactions = 100000;

inline long PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;  // kilobytes on Linux
}

// A file service that drops the finished document: isolates the cost of
// building the tree (lookups included) from the cost of saving it.
class DiscardingFileService final : public framework::XmlFileService {
 public:
  void Load(framework::XmlDocument&, const std::string&) override {}
  void Save(const framework::XmlDocument&, const std::string&) override {}
};

// Writes batch `numero` of 2024 in format `formato` through the public
// classes on a new embedded demo database, with the block and its
// transactions filled by `fill`. state.range(0): 1 saves the file with the
// default service, 0 only builds. Reports the time per transaction and the
// process's peak memory relative to the file size.
inline void WriteFile(benchmark::State& state, zxEnumFormatoFile formato,
                      int32_t numero,
                      const std::function<void(CLSEP_INFOPAG&)>& fill) {
  namespace fs = std::filesystem;
  const bool save = state.range(0) != 0;
  const fs::path dir =
      fs::temp_directory_path() / ("zsepa_bench_" + std::to_string(::getpid()));
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
  builder.FormatoFile = formato;
  builder.Initialize();
  auto block = builder.Add(1, numero, 2024);
  if (block == nullptr) {
    state.SkipWithError(builder.Errore().c_str());
    return;
  }
  block->ProgrBanca = 1;
  fill(*block);
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

}  // namespace zsepa::bench

#endif  // ZSEPA_BENCH_FILE_WRITE_H_
