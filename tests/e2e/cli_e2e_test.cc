// Runs the zsepa program as a user would and checks what only the program
// does: exit status, messages, --json answers and the files it leaves behind.
// The writers' output in detail is the golden-file tests' business.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/testing/shared_files.h"
#include "base/testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// 0x8003ff90: the file kind's writer is not part of this build.
constexpr int64_t kWriterUnavailable = -2147221616;

const fs::path kExamples = fs::path(ZSEPA_SOURCE_DIR) / "examples";
const fs::path kGolden = fs::path(ZSEPA_SOURCE_DIR) / "tests/data/e2e";
const std::string kXsdDir = zsepa::testing::SharedPath("xsd");
const std::string kSepaJob = (kExamples / "sepa.json").string();

std::string ReadFile(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
  int status = -1;
  std::string out, err;
  std::string Describe() const {
    return "exit " + std::to_string(status) + "\n--- stdout\n" + out +
           "--- stderr\n" + err;
  }
};

// The environment a run gets on top of the test's, ZSEPA_DB removed.
using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs `program` (the built zsepa unless told) with `args` in the folder
// `cwd`; stdin is empty.
RunResult RunZsepa(const std::vector<std::string>& args, const fs::path& cwd,
                   const Environment& env = {},
                   const fs::path& program = ZSEPA_CLI) {
  const fs::path out = cwd.parent_path() / "stdout";
  const fs::path err = cwd.parent_path() / "stderr";
  std::string command = "cd '" + cwd.string() + "' && unset ZSEPA_DB &&";
  for (const auto& [name, value] : env) {
    command += " " + name + "='" + value + "'";
  }
  command += " '" + program.string() + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
  const int wstatus = std::system(command.c_str());
  RunResult run;
  if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    suite_temp_ = std::make_unique<zsepa::testing::TempDir>();
    suite_dir_ = suite_temp_->path();
    fs::create_directories(suite_dir_ / "db");
    const RunResult run =
        RunZsepa({"init-db", "demo.db", "--demo"}, suite_dir_ / "db");
    ASSERT_EQ(run.status, 0) << run.Describe();
  }
  static void TearDownTestSuite() { suite_temp_.reset(); }
  void SetUp() override {
    dir_ = suite_dir_ /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }
  RunResult Run(const std::vector<std::string>& args,
                const Environment& env = {}) {
    return RunZsepa(args, dir_, env);
  }
  // The names in the test's folder.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Db() const { return (suite_dir_ / "db/demo.db").string(); }

  static inline std::unique_ptr<zsepa::testing::TempDir> suite_temp_;
  static inline fs::path suite_dir_;
  fs::path dir_;
};

// Every job writes its golden file, or reports that its writer is not in
// this build; the --json answer has its documented shape.
TEST_F(CliTest, JobsWriteTheGoldenFilesByteForByte) {
  const char* update = std::getenv("ZSEPA_UPDATE_GOLDEN");
  for (const fs::path& dir : {kExamples, kGolden / "jobs"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const fs::path& job = entry.path();
      if (job.extension() != ".json" || job.stem() == "company") continue;
      const std::string name = job.stem().string() + ".xml";
      const RunResult run =
          Run({"write", job.string(), "--out", name, "--db", Db(), "--json"});
      const Json answer = Json::parse(run.out, nullptr, false);
      ASSERT_TRUE(answer.is_object()) << job << "\n" << run.Describe();
      std::vector<std::string> keys;
      for (const auto& item : answer.items()) keys.push_back(item.key());
      EXPECT_EQ(keys, (std::vector<std::string>{
                          "ok", "Stato", "Errore", "MsgId",
                          "NumeroTotaleTrasferimenti",
                          "ImportoTotaleTrasferimenti", "file"}));
      EXPECT_EQ(run.status, answer.value("ok", false) ? 0 : 1);
      if (!answer.value("ok", false)) {
        EXPECT_EQ(answer.value("Stato", int64_t{0}), kWriterUnavailable)
            << job << "\n"
            << run.Describe();
        continue;
      }
      EXPECT_EQ(answer["file"], name);
      if (update != nullptr && std::string(update) == "1") {
        fs::copy_file(dir_ / name, kGolden / name,
                      fs::copy_options::overwrite_existing);
      }
      EXPECT_EQ(ReadFile(dir_ / name), ReadFile(kGolden / name)) << name;
    }
  }
}

// What the program refuses leaves the folder as it was: job faults are
// reported with their path before anything is written (not even the default
// database is created; the faults one by one are tools/job_test.cc's
// business), a missing batch with the builder's Stato and Errore, an
// unwritable path, an unreachable ODBC source, an existing database file.
TEST_F(CliTest, FailuresExitWithOneAndLeaveTheFolderAsItWas) {
  const std::string db = Db(), job = "job.json", sepa = kSepaJob;
  const std::string missing_batch =
      R"({"ditta":{"CodiceDitta":1},"blocchi":[{"Add":{"TipoDistinta":1,)"
      R"("NumeroDistinta":99,"AnnoDistinta":2024}}]})";
  const struct {
    std::string job;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {R"({"blocchi":[{"trasferimenti":[{},{"Importo":"4,00"}]}]})",
       {"write", job, "--out", "out.xml"},
       "blocchi[0].trasferimenti[1].Importo: expected a number"},
      {R"({"FormatoFile":1,"blocchi":[)",
       {"write", job, "--out", "out.xml"},
       "not valid JSON"},
      {missing_batch,
       {"write", job, "--out", "out.xml", "--db", db},
       "-2147221606 (0x8003ff9a)\n  Errore: Distinta non trovata"},
      {"{}",
       {"write", sepa, "--out", "job.json/out.xml", "--db", db},
       "Errore: "},
      {"{}",
       {"write", sepa, "--out", "o.xml", "--odbc", "DSN=zsepa_no_such_dsn"},
       "SQLSTATE"},
      {"{}",
       {"init-db", job, "--demo"},
       "zsepa init-db: job.json already exists"},
      {"{}", {"write"}, "required"},
  };
  for (const auto& c : cases) {
    WriteFile(dir_ / job, c.job);
    const RunResult run = Run(c.args);
    EXPECT_EQ(run.status, 1) << c.job << "\n" << run.Describe();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.Describe();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1) << c.job;
    EXPECT_EQ(ReadFile(dir_ / job), c.job);
  }
}

// A command line that names no command, an unknown one or an unknown option
// is answered with what is wrong and the usage of the command concerned;
// other faults of the command line with the parser's reason.
TEST_F(CliTest, CommandLineFaultsAreNamedAndExitWithOne) {
  const struct {
    std::vector<std::string> args;
    std::string message;
    std::string usage;  // "" when no usage is printed
  } cases[] = {
      {{"frobnicate"},
       "zsepa: unknown command 'frobnicate'\n",
       "Usage: zsepa [OPTIONS] SUBCOMMAND"},
      {{"write", "--frob", "x.json"},
       "zsepa write: unknown option '--frob'\n",
       "Usage: zsepa write [OPTIONS] JOB"},
      {{"write", "x.json", "--out", "y.xml", "--bogus"},
       "zsepa write: unknown option '--bogus'\n",
       "Usage: zsepa write [OPTIONS] JOB"},
      {{"write", "x.json", "--out=y.xml", "--bogus=1"},
       "zsepa write: unknown option '--bogus'\n",
       "Usage: zsepa write [OPTIONS] JOB"},
      {{"--frob", "demo"},
       "zsepa: unknown option '--frob'\n",
       "Usage: zsepa [OPTIONS] SUBCOMMAND"},
      {{"init-db", "a.db", "b.db"},
       "zsepa init-db: unexpected argument 'b.db'\n",
       "Usage: zsepa init-db [OPTIONS] PATH"},
      {{}, "zsepa: a command is needed\n", "Usage: zsepa [OPTIONS] SUBCOMMAND"},
      {{"write"}, "zsepa write: JOB is required\n", ""},
      {{"write", "x.json", "--out", "y.xml", "--db", "a", "--odbc", "b"},
       "zsepa write: --db excludes --odbc\n",
       ""},
  };
  for (const auto& c : cases) {
    const RunResult run = Run(c.args);
    const std::string line = c.args.empty() ? "(none)" : c.args.front();
    EXPECT_EQ(run.status, 1) << line << "\n" << run.Describe();
    EXPECT_EQ(run.out, "") << line;
    EXPECT_EQ(run.err.rfind(c.message, 0), 0) << line << "\n" << run.Describe();
    if (c.usage.empty()) {
      EXPECT_EQ(run.err.find("Usage:"), std::string::npos) << run.Describe();
    } else {
      EXPECT_NE(run.err.find(c.usage), std::string::npos) << run.Describe();
    }
    EXPECT_TRUE(Listing().empty()) << line;
  }
}

// Help shows no folder of the machine the program was built on, and says
// what this build cannot do.
TEST_F(CliTest, HelpNamesNoBuildFoldersAndWhatIsMissing) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"--help"}, "not available in it yet (Stato 0x8003ff90)"},
      {{"write", "--help"}, "0x8003ff90 (not available in this build)"},
      {{"read-status", "--help"}, "not yet available in this build"},
      {{"demo", "--help"}, "else the installed examples"},
      {{"init-db", "--help"}, ""},
      {{"validate", "--help"}, ""},
  };
  const std::string folders[] = {ZSEPA_SOURCE_DIR,
                                 fs::path(ZSEPA_CLI).parent_path().string()};
  for (const auto& c : cases) {
    const RunResult run = Run(c.args);
    EXPECT_EQ(run.status, 0) << c.args.front() << "\n" << run.Describe();
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    for (const std::string& folder : folders) {
      EXPECT_EQ(run.out.find(folder), std::string::npos) << run.out;
    }
  }
}

// Without --db or --odbc the database is the one ZSEPA_DB names, else
// zsepa.db in the working directory; it must exist, and none is created.
TEST_F(CliTest, DatabaseWithoutDbOrOdbcMustExist) {
  const std::string totals =
      "MsgId                      000001520241\n"
      "NumeroTotaleTrasferimenti  4\n"
      "ImportoTotaleTrasferimenti 4436.45\n"
      "File                       out.xml\n";
  const fs::path empty = suite_dir_ / "db/empty.db";
  if (!fs::exists(empty)) {
    ASSERT_EQ(RunZsepa({"init-db", "empty.db"}, suite_dir_ / "db").status, 0);
  }
  const std::vector<std::string> write = {"write", kSepaJob, "--out",
                                          "out.xml"};
  const struct {
    std::string name;
    Environment env;
    fs::path local_db;  // copied to zsepa.db in the working directory
    std::vector<std::string> more_args;
    std::vector<std::string> message;  // parts of stderr; none for success
  } cases[] = {
      {"nothing", {}, {}, {}, {"--db FILE", "--odbc CONNSTR", "zsepa init-db"}},
      {"ZSEPA_DB", {{"ZSEPA_DB", Db()}}, {}, {}, {}},
      {"ZSEPA_DB before zsepa.db", {{"ZSEPA_DB", Db()}}, empty, {}, {}},
      {"zsepa.db", {}, Db(), {}, {}},
      {"empty ZSEPA_DB", {{"ZSEPA_DB", ""}}, Db(), {}, {}},
      {"missing ZSEPA_DB",
       {{"ZSEPA_DB", "gone.db"}},
       Db(),
       {},
       {"The database file gone.db named by ZSEPA_DB does not exist"}},
      {"--db before ZSEPA_DB",
       {{"ZSEPA_DB", "gone.db"}},
       {},
       {"--db", Db()},
       {}},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    if (!c.local_db.empty()) fs::copy_file(c.local_db, dir_ / "zsepa.db");
    std::vector<std::string> args = write;
    args.insert(args.end(), c.more_args.begin(), c.more_args.end());
    const RunResult run = Run(args, c.env);
    std::vector<std::string> expected_files;
    if (!c.local_db.empty()) expected_files.push_back("zsepa.db");
    if (c.message.empty()) {
      EXPECT_EQ(run.status, 0) << c.name << "\n" << run.Describe();
      EXPECT_EQ(run.out, totals) << c.name;
      expected_files.insert(expected_files.begin(), "out.xml");
    } else {
      EXPECT_EQ(run.status, 1) << c.name << "\n" << run.Describe();
      for (const std::string& part : c.message) {
        EXPECT_NE(run.err.find(part), std::string::npos) << c.name << "\n"
                                                         << run.Describe();
      }
    }
    EXPECT_EQ(Listing(), expected_files) << c.name;
  }
}

// Installed, the program finds the demo jobs in share/zsepa/examples and the
// scalar-function module (needed by SQLite over ODBC) in lib/, wherever the
// tree is.
TEST_F(CliTest, InstalledProgramFindsItsFilesBesideIt) {
  const fs::path prefix = dir_ / "prefix";
  const fs::path module = ZSEPA_SQLITE_FUNCTIONS_MODULE;
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib");
  fs::create_directories(prefix / "share/zsepa");
  fs::copy_file(ZSEPA_CLI, prefix / "bin/zsepa");
  fs::create_directories(dir_ / "work");
  const fs::path work = dir_ / "work";

  // Until the examples are installed there are none to find.
  const RunResult none = RunZsepa({"demo"}, work, {}, prefix / "bin/zsepa");
  EXPECT_EQ(none.status, 1) << none.Describe();
  EXPECT_NE(none.err.find("--examples DIR"), std::string::npos)
      << none.Describe();
  fs::copy(kExamples, prefix / "share/zsepa/examples");
  const RunResult demo =
      RunZsepa({"demo", "--dir", "out"}, work, {}, prefix / "bin/zsepa");
  ASSERT_EQ(demo.status, 0) << demo.Describe();
  EXPECT_EQ(ReadFile(work / "out/sepa.xml"), ReadFile(kGolden / "sepa.xml"));

  // Without the module the SQLite driver lacks the accounting functions.
  const std::vector<std::string> odbc = {
      "write",    kSepaJob, "--out",
      "sepa.xml", "--odbc", "Driver=SQLite3;Database=" + Db()};
  const RunResult without = RunZsepa(odbc, work, {}, prefix / "bin/zsepa");
  EXPECT_EQ(without.status, 1) << without.Describe();
  fs::copy_file(module, prefix / "lib" / module.filename());
  const RunResult with = RunZsepa(odbc, work, {}, prefix / "bin/zsepa");
  EXPECT_EQ(with.status, 0) << with.Describe();
  EXPECT_EQ(ReadFile(work / "sepa.xml"), ReadFile(kGolden / "sepa.xml"));
  // As built, the module sits next to the program.
  EXPECT_EQ(RunZsepa(odbc, work).status, 0);
}

TEST_F(CliTest, ValidateReportsTheLineOfTheFault) {
  const fs::path valid = zsepa::testing::SharedPath("samples/SCTRequest.xml");
  ZSEPA_REQUIRE_SHARED_FILE(kXsdDir);
  ZSEPA_REQUIRE_SHARED_FILE(valid);
  EXPECT_EQ(Run({"validate", valid.string(), "--xsd-dir", kXsdDir}).status, 0);
  std::string text = ReadFile(valid);
  const size_t at = text.find("<NbOfTxs>");
  text.insert(at + 9, "many");
  WriteFile(dir_ / "broken.xml", text);
  const int line = 1 + std::count(text.begin(), text.begin() + at, '\n');
  const RunResult bad = Run({"validate", "broken.xml", "--xsd-dir", kXsdDir});
  EXPECT_EQ(bad.status, 1) << bad.Describe();
  EXPECT_NE(bad.err.find("broken.xml:" + std::to_string(line) + ":"),
            std::string::npos)
      << bad.Describe();
}

TEST_F(CliTest, DemoWritesTheExampleFiles) {
  const RunResult run =
      Run({"demo", "--dir", "out", "--examples", kExamples.string()});
  ASSERT_EQ(run.status, 0) << run.Describe();
  EXPECT_EQ(ReadFile(dir_ / "out/sepa.xml"), ReadFile(kGolden / "sepa.xml"));
  EXPECT_TRUE(fs::exists(dir_ / "out/zsepa-demo.db"));
}

TEST_F(CliTest, ReadStatusPrintsTheWholeOutcome) {
  const RunResult run = Run(
      {"read-status", (kExamples / "status-report.xml").string(), "--company",
       (kExamples / "company.json").string(), "--db", Db(), "--json"});
  const Json outcome = Json::parse(run.out);
  for (const char* key :
       {"result", "Stato", "Errore", "NumeroDistinta", "MessageQualifier",
        "AbiBanca", "Effetti", "NumeroInsoluti", "NumeroRichiami"}) {
    EXPECT_TRUE(outcome.contains(key)) << key << "\n" << run.Describe();
  }
  if (outcome["Stato"] == kWriterUnavailable) GTEST_SKIP() << "no reader yet";
  EXPECT_EQ(run.status, 0) << run.Describe();
  EXPECT_EQ(outcome["NumeroInsoluti"], 1);
  EXPECT_EQ(outcome["NumeroRichiami"], 1);
}

}  // namespace
