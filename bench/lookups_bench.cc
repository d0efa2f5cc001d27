// Per-call cost of the database routines on the embedded demo database.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "db/ordinante.h"
#include "db/testing/fake_builder.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa {
namespace {

// The demo database in a temporary file, shared by every benchmark.
struct Demo {
  std::filesystem::path path;
  std::unique_ptr<sqlite::SqliteConnection> connection;
  framework::InMemoryFramework framework;
};
Demo* demo = nullptr;

// A builder over the demo database, initialised.
struct Builder {
  Builder() {
    builder.ActiveInterface = &demo->framework;
    builder.AdoConnection = demo->connection.get();
    builder.Initialize();
  }
  CLSEP_FILESEPA builder;
  db::testing::LookupsOn on{*demo->connection, demo->framework};
};

void BM_IsIbanEstero(benchmark::State& state) {
  Builder b;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        b.on.lookups.IsIbanEstero("FR7630006000011234567890189"));
  }
}
BENCHMARK(BM_IsIbanEstero);

void BM_GetIndTipoStatoCached(benchmark::State& state) {
  Builder b;
  b.builder.GetIndTipoStato("86");
  for (auto _ : state) {
    benchmark::DoNotOptimize(b.builder.GetIndTipoStato("86"));
  }
}
BENCHMARK(BM_GetIndTipoStatoCached);

// Initialize drops the cache, so every call asks the database.
void BM_GetIndTipoStatoUncached(benchmark::State& state) {
  Builder b;
  for (auto _ : state) {
    b.builder.Initialize();
    benchmark::DoNotOptimize(b.builder.GetIndTipoStato("86"));
  }
}
BENCHMARK(BM_GetIndTipoStatoUncached);

void BM_LeggiCodiceCUC(benchmark::State& state) {
  Builder b;
  for (auto _ : state) {
    benchmark::DoNotOptimize(b.on.lookups.LeggiCodiceCUC(2));
  }
}
BENCHMARK(BM_LeggiCodiceCUC);

void BM_IsCausaleInsoluto(benchmark::State& state) {
  Builder b;
  for (auto _ : state) {
    benchmark::DoNotOptimize(b.on.lookups.IsCausaleInsoluto("AM04"));
  }
}
BENCHMARK(BM_IsCausaleInsoluto);

void BM_Add(benchmark::State& state) {
  Builder b;
  for (auto _ : state) {
    b.builder.Initialize();  // keeps the block list at one block
    benchmark::DoNotOptimize(b.builder.Add(1, 15, 2024));
  }
}
BENCHMARK(BM_Add);

void BM_QueryOrdinante(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        db::QueryOrdinante(*demo->connection, Variant(int32_t{1000})));
  }
}
BENCHMARK(BM_QueryOrdinante);

}  // namespace
}  // namespace zsepa

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zsepa::Demo demo;
  demo.path = std::filesystem::temp_directory_path() /
              ("zsepa_lookups_bench_" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(demo.path);
  demo.connection = zsepa::sqlite::SqliteConnection::Create(demo.path.string());
  zsepa::sqlite::FillDemoData(*demo.connection);
  demo.framework.values().CodiceDitta = zsepa::Variant(int32_t{1});
  zsepa::demo = &demo;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  demo.connection.reset();
  std::filesystem::remove(demo.path);
  return 0;
}
