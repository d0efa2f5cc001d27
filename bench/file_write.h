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
#include "zsepa/date.h"
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

// Batch `numero` of 2024 in format `formato`, loaded with Add through the
// public classes on a new embedded demo database in a folder of its own,
// with the block filled by `fill`. `files` replaces the default file service
// when given. Check ok() before use; the folder goes with the object.
class DemoBatch {
 public:
  DemoBatch(zxEnumFormatoFile formato, int32_t numero,
            const std::function<void(CLSEP_INFOPAG&)>& fill,
            std::unique_ptr<framework::XmlFileService> files = nullptr)
      : dir_(std::filesystem::temp_directory_path() /
             ("zsepa_bench_" + std::to_string(::getpid()))),
        connection_(Connect(dir_)),
        builder_(files ? CLSEP_FILESEPA(std::move(files)) : CLSEP_FILESEPA()) {
    builder_.ActiveInterface = &framework_;
    builder_.AdoConnection = connection_.get();
    builder_.FormatoFile = formato;
    builder_.DataCreazioneSupporto = Variant(Date::FromParts(2024, 3, 5, 9));
    builder_.Initialize();
    auto block = builder_.Add(1, numero, 2024);
    if (block == nullptr) return;
    block->ProgrBanca = 1;
    fill(*block);
    ok_ = true;
  }
  ~DemoBatch() {
    builder_.Terminate();
    std::filesystem::remove_all(dir_);
  }
  DemoBatch(const DemoBatch&) = delete;
  DemoBatch& operator=(const DemoBatch&) = delete;

  bool ok() const { return ok_; }
  CLSEP_FILESEPA& builder() { return builder_; }
  std::string File(const std::string& name) const {
    return (dir_ / name).string();
  }

 private:
  static std::unique_ptr<sqlite::SqliteConnection> Connect(
      const std::filesystem::path& dir) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    auto connection =
        sqlite::SqliteConnection::Create((dir / "demo.db").string());
    sqlite::FillDemoData(*connection);
    return connection;
  }

  std::filesystem::path dir_;
  std::unique_ptr<sqlite::SqliteConnection> connection_;
  framework::InMemoryFramework framework_{
      {Variant(int32_t{1}), "Officine Rossi e Figli S.r.l.",
       Variant(int32_t{1000}), "12345678903", ""}};
  CLSEP_FILESEPA builder_;
  bool ok_ = false;
};

// Writes a DemoBatch. state.range(0): 1 saves the file with the default
// service, 0 only builds. Reports the time per transaction and the process's
// peak memory relative to the file size.
inline void WriteFile(benchmark::State& state, zxEnumFormatoFile formato,
                      int32_t numero,
                      const std::function<void(CLSEP_INFOPAG&)>& fill) {
  const bool save = state.range(0) != 0;
  DemoBatch batch(formato, numero, fill,
                  save ? nullptr : std::make_unique<DiscardingFileService>());
  CLSEP_FILESEPA& builder = batch.builder();
  if (!batch.ok()) {
    state.SkipWithError(builder.Errore().c_str());
    return;
  }
  const long before = PeakResidentBytes();
  const std::string path = batch.File("out.xml");

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
    const double file_bytes =
        static_cast<double>(std::filesystem::file_size(path));
    state.counters["file_MB"] = file_bytes / 1e6;
    state.counters["peak_per_file"] = static_cast<double>(peak) / file_bytes;
    state.counters["save_peak_per_file"] =
        static_cast<double>(peak - before) / file_bytes;
  }
}

}  // namespace zsepa::bench

#endif  // ZSEPA_BENCH_FILE_WRITE_H_
