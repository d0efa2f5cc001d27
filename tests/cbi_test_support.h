#ifndef ZSEPA_TESTS_CBI_TEST_SUPPORT_H_
#define ZSEPA_TESTS_CBI_TEST_SUPPORT_H_

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "adapters/sqlite/sqlite_connection.h"
#include "framework/framework.h"
#include "model/clsep_filesepa.h"
#include "model/date.h"

namespace zsepa::testing {

namespace fs = std::filesystem;

// A temporary folder removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ =
        fs::temp_directory_path() / ("zsepa_cbi_" + std::to_string(::getpid()) +
                                     "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  std::string File(const std::string& name) const {
    return (path_ / name).string();
  }
  // Names of the entries of the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The demo company on a new embedded database in a temporary folder, with
// the database clock fixed at 1 March 2024, and a builder that borrows both,
// initialised and with a fixed creation date-time.
class DemoCompany {
 public:
  static constexpr char kDatabaseName[] = "demo.db";

  DemoCompany() {
    sqlite::SqliteConnection::Options options;
    options.clock = [] { return Date::FromParts(2024, 3, 1); };
    connection_ = sqlite::SqliteConnection::Create(dir_.File(kDatabaseName),
                                                   std::move(options));
    sqlite::FillDemoData(*connection_);
    framework_.values() = {Variant(int32_t{1}), "Officine Rossi & Figli S.r.l.",
                           Variant(int32_t{1000}), "01234567890", ""};
  }

  // A new initialised builder on the demo company. `connection` replaces the
  // embedded database when given.
  std::unique_ptr<CLSEP_FILESEPA> NewBuilder(
      db::Connection* connection = nullptr) {
    auto builder = std::make_unique<CLSEP_FILESEPA>();
    builder->ActiveInterface = &framework_;
    builder->AdoConnection =
        connection != nullptr ? connection : connection_.get();
    builder->Initialize();
    builder->DataCreazioneSupporto = Date::FromParts(2024, 3, 10, 9, 30, 5);
    return builder;
  }

  const TempDir& dir() const { return dir_; }
  sqlite::SqliteConnection& connection() { return *connection_; }
  framework::CompanyValues& company() { return framework_.values(); }

 private:
  TempDir dir_;
  std::unique_ptr<sqlite::SqliteConnection> connection_;
  framework::InMemoryFramework framework_;
};

// A connection that records every SQL text and hands it on.
class RecordingConnection final : public db::Connection {
 public:
  explicit RecordingConnection(db::Connection& target) : target_(target) {}
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override {
    executed_.push_back(sql);
    return target_.Execute(sql);
  }
  const std::vector<std::string>& executed() const { return executed_; }
  int Count(const std::string& fragment) const {
    int count = 0;
    for (const auto& sql : executed_) {
      if (sql.find(fragment) != std::string::npos) ++count;
    }
    return count;
  }

 private:
  db::Connection& target_;
  std::vector<std::string> executed_;
};

}  // namespace zsepa::testing

#endif  // ZSEPA_TESTS_CBI_TEST_SUPPORT_H_
