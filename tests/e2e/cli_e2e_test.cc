// Runs the zsepa program as a user would and checks what only the program
// does: exit status, messages, --json answers and the files it leaves behind.
// The writers' output in detail is the golden-file tests' business.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/testing/shared_files.h"
#include "base/testing/temp_dir.h"

// Whether this build runs under AddressSanitizer, whose shadow memory needs
// more address space than a memory limit leaves.
#if defined(__SANITIZE_ADDRESS__)
#define ZSEPA_E2E_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZSEPA_E2E_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

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

// What a run's shell does besides: where stdout goes instead of being
// captured, and commands before the program (limits).
struct Shell {
  std::string stdout_to;
  std::string before;
};

// Runs `program` (the built zsepa unless told) with `args` in the folder
// `cwd`; stdin is empty. A run that hangs is ended after two minutes (exit
// status 124), so that a program waiting forever fails the test.
RunResult RunZsepa(const std::vector<std::string>& args, const fs::path& cwd,
                   const Environment& env = {},
                   const fs::path& program = ZSEPA_CLI,
                   const Shell& shell = {}) {
  const fs::path out = cwd.parent_path() / "stdout";
  const fs::path err = cwd.parent_path() / "stderr";
  std::string command =
      "cd '" + cwd.string() + "' && unset ZSEPA_DB && " + shell.before;
  for (const auto& [name, value] : env) {
    command += " " + name + "='" + value + "'";
  }
  command += " timeout -k 5 120 '" + program.string() + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const std::string stdout_to =
      shell.stdout_to.empty() ? out.string() : shell.stdout_to;
  fs::remove(out);
  command += " </dev/null >'" + stdout_to + "' 2>'" + err.string() + "'";
  const int wstatus = std::system(command.c_str());
  RunResult run;
  if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

// The files of a folder with their bytes.
std::map<std::string, std::string> Contents(const fs::path& dir) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::directory_iterator(dir)) {
    contents[entry.path().filename().string()] =
        entry.is_regular_file() ? ReadFile(entry.path()) : "(not a file)";
  }
  return contents;
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
                          "ImportoTotaleTrasferimenti", "file", "warnings"}));
      EXPECT_EQ(answer["warnings"], Json::array()) << job;
      EXPECT_EQ(run.status, answer.value("ok", false) ? 0 : 1);
      ASSERT_TRUE(answer.value("ok", false)) << job << "\n" << run.Describe();
      EXPECT_EQ(answer["file"], name);
      if (update != nullptr && std::string(update) == "1") {
        fs::copy_file(dir_ / name, kGolden / name,
                      fs::copy_options::overwrite_existing);
      }
      EXPECT_EQ(ReadFile(dir_ / name), ReadFile(kGolden / name)) << name;
    }
  }
}

// A command line that names no command, an unknown one or an unknown option
// is answered with what is wrong and the usage of the command concerned;
// other faults of the command line with the parser's reason.
TEST_F(CliTest, CommandLineFaultsAreNamedAndExitWithOne) {
  const std::string top = "Usage: zsepa [OPTIONS] SUBCOMMAND",
                    write = "Usage: zsepa write [OPTIONS] JOB";
  const struct {
    std::vector<std::string> args;
    std::string message;
    std::string usage;  // "" when no usage is printed
  } cases[] = {
      {{"frobnicate"}, "zsepa: unknown command 'frobnicate'\n", top},
      {{"write", "--frob", "x.json"},
       "zsepa write: unknown option '--frob'\n",
       write},
      {{"write", "x.json", "--out", "y.xml", "--bogus"},
       "zsepa write: unknown option '--bogus'\n",
       write},
      {{"write", "x.json", "--out=y.xml", "--bogus=1"},
       "zsepa write: unknown option '--bogus'\n",
       write},
      {{"--frob", "demo"}, "zsepa: unknown option '--frob'\n", top},
      {{"init-db", "a.db", "b.db"},
       "zsepa init-db: unexpected argument 'b.db'\n",
       "Usage: zsepa init-db [OPTIONS] PATH"},
      {{}, "zsepa: a command is needed\n", top},
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
// what this build does.
TEST_F(CliTest, HelpNamesNoBuildFoldersAndWhatItDoes) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"--help"}, "reads direct-debit\nstatus reports"},
      {{"write", "--help"}, "3 direct debit"},
      {{"read-status", "--help"}, "unpaid and recalled items"},
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
  // Every demo file is valid against its official schema, but for the
  // cross-border file's creditor identification ("BICOrBEI" beside "Othr",
  // written as documented).
  ZSEPA_REQUIRE_SHARED_FILE(kXsdDir);
  for (const char* name : {"sepa.xml", "sepa-urgent.xml", "cross-border.xml",
                           "iso-fr.xml", "direct-debit.xml"}) {
    const RunResult validation =
        Run({"validate", (dir_ / "out" / name).string(), "--xsd-dir", kXsdDir,
             "--json"});
    const Json answer = Json::parse(validation.out, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << name << "\n" << validation.Describe();
    for (const Json& error : answer["errors"]) {
      EXPECT_EQ(std::string(name), "cross-border.xml") << error.dump();
      EXPECT_NE(error.value("message", "").find("Othr': This element is not"),
                std::string::npos)
          << name << ": " << error.dump();
    }
  }
}

// read-status prints the whole outcome. The report checks add findings;
// only --strict lets an error among them fail the command, and without either
// flag the answer has no findings.
TEST_F(CliTest, ReadStatusChecksChangeTheExitOnlyWhenStrict) {
  std::string report = ReadFile(kExamples / "status-report.xml");
  report.replace(report.find("<GrpSts>PART"), 12, "<GrpSts>RJCT");
  WriteFile(dir_ / "rjct.xml", report);
  const struct {
    const char* report;
    const char* flag;
    int status;
    int findings;  // -1: no "findings" in the answer
  } cases[] = {
      {"status-report.xml", "--json", 0, -1},
      {"status-report.xml", "--check", 0, 3},
      {"status-report.xml", "--strict", 0, 3},
      {"rjct.xml", "--json", 0, -1},
      {"rjct.xml", "--check", 0, 4},
      {"rjct.xml", "--strict", 1, 4},
  };
  for (const auto& c : cases) {
    const fs::path path = std::string(c.report) == "rjct.xml"
                              ? dir_ / c.report
                              : kExamples / c.report;
    const RunResult run = Run({"read-status", path.string(), "--company",
                               (kExamples / "company.json").string(), "--db",
                               Db(), "--json", c.flag});
    const Json answer = Json::parse(run.out, nullptr, false);
    EXPECT_EQ(run.status, c.status) << c.report << " " << c.flag << "\n"
                                    << run.Describe();
    EXPECT_EQ(answer.contains("findings") ? int(answer["findings"].size()) : -1,
              c.findings)
        << c.report << " " << c.flag << "\n"
        << run.Describe();
    EXPECT_TRUE(answer["ok"]) << run.Describe();
    for (const char* key :
         {"result", "Stato", "Errore", "NumeroDistinta", "MessageQualifier",
          "AbiBanca", "Effetti", "NumeroInsoluti", "NumeroRichiami"}) {
      EXPECT_TRUE(answer.contains(key)) << key << "\n" << run.Describe();
    }
    if (std::string(c.report) == "rjct.xml") continue;
    EXPECT_EQ(answer["NumeroInsoluti"], 1) << c.flag;
    EXPECT_EQ(answer["NumeroRichiami"], 1) << c.flag;
  }
}

// --out naming the database or the job, however spelt, is refused before
// anything runs: the folder keeps every byte.
TEST_F(CliTest, OutputThatIsAnInputIsRefused) {
  fs::copy_file(Db(), dir_ / "demo.db");
  fs::copy_file(Db(), dir_ / "zsepa.db");
  fs::create_hard_link(dir_ / "demo.db", dir_ / "link.db");
  fs::copy_file(kSepaJob, dir_ / "job.json");
  fs::create_directory(dir_ / "sub");
  const std::string demo = (dir_ / "demo.db").string();
  const struct {
    std::string name;
    std::vector<std::string> args;  // after "write job.json"
    Environment env;
    std::string message;
  } cases[] = {
      {"--out is --db",
       {"--out", "demo.db", "--db", "demo.db"},
       {},
       "--out demo.db is the database file demo.db given with --db; writing "
       "the bank file there would destroy it"},
      {"--out spelt otherwise",
       {"--out", "sub/../demo.db", "--db", demo},
       {},
       "is the database file " + demo + " given with --db"},
      {"--out a hard link of --db",
       {"--out", "link.db", "--db", "demo.db"},
       {},
       "is the database file demo.db"},
      {"--out is ZSEPA_DB",
       {"--out", "./demo.db"},
       {{"ZSEPA_DB", demo}},
       "named by ZSEPA_DB"},
      {"--out is zsepa.db",
       {"--out", "zsepa.db"},
       {},
       "in the working directory"},
      {"--out is the SQLite file of --odbc",
       {"--out", "demo.db", "--odbc", "Driver=SQLite3;Database=" + demo},
       {},
       "named by --odbc"},
      {"--out is the job",
       {"--out", "job.json", "--db", "demo.db"},
       {},
       "--out job.json is the job file job.json"},
      {"--out is the job spelt otherwise",
       {"--out", (dir_ / "sub/../job.json").string(), "--db", "demo.db"},
       {},
       "is the job file job.json"},
  };
  const auto before = Contents(dir_);
  for (const auto& c : cases) {
    std::vector<std::string> args = {"write", "job.json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = Run(args, c.env);
    EXPECT_EQ(run.status, 1) << c.name << "\n" << run.Describe();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << "\n"
                                                          << run.Describe();
    EXPECT_TRUE(Contents(dir_) == before) << c.name;
  }
}

// A command whose answer cannot be written to stdout fails, whatever it did.
TEST_F(CliTest, LostStandardOutputFailsTheCommand) {
  const std::vector<std::string> cases[] = {
      {"write", kSepaJob, "--out", "a.xml", "--db", Db(), "--json"},
      {"write", kSepaJob, "--out", "b.xml", "--db", Db()},
      {"init-db", "new.db"},
      {"demo", "--dir", "out", "--examples", kExamples.string()},
      {"--version"},
      {"write", "--help"},
  };
  for (const auto& args : cases) {
    const RunResult run =
        RunZsepa(args, dir_, {}, ZSEPA_CLI, {"/dev/full", ""});
    EXPECT_EQ(run.status, 1) << args.front() << "\n" << run.Describe();
    EXPECT_NE(run.err.find("zsepa: cannot write to standard output"),
              std::string::npos)
        << args.front() << "\n"
        << run.Describe();
  }
}

// What the program refuses is refused with what is wrong and where, in a
// message of bounded length, and leaves the folder as it was (not even the
// default database is created): job faults, reported with their path before
// anything is written (the faults one by one are tools/job_test.cc's
// business), a missing batch with the builder's Stato and Errore, an
// unwritable path, an unreachable ODBC source, an existing database file.
// So is input made to break the program, or made carelessly: nesting that
// would exhaust the stack, a key given twice, numbers beyond a double, a NUL
// inside a key, a key of megabytes, files that are no regular files (a read
// would block or never end), a job without the company, a database without
// the schema, a schema folder that is not there.
TEST_F(CliTest, FailuresExitWithOneAndLeaveTheFolderAsItWas) {
  const auto text = [](const std::string& content) {
    return std::function<void(const fs::path&)>(
        [=](const fs::path& dir) { WriteFile(dir / "job.json", content); });
  };
  const auto job = [&](const std::string& transaction) {
    return text(R"({"ditta":{"CodiceDitta":1},"blocchi":[{"Add":)"
                R"({"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":2024},)"
                R"("trasferimenti":[)" +
                transaction + "]}]}");
  };
  const auto fifo = [](const std::string& name) {
    return std::function<void(const fs::path&)>([=](const fs::path& dir) {
      ASSERT_EQ(::mkfifo((dir / name).c_str(), 0600), 0);
    });
  };
  const std::function<void(const fs::path&)> nothing = [](const fs::path&) {};
  const std::string sepa_xml = (kGolden / "sepa.xml").string();
  const std::string db = Db();
  const std::vector<std::string> write = {"write",   "job.json", "--out",
                                          "out.xml", "--db",     db};
  const struct {
    std::string name;
    std::function<void(const fs::path&)> prepare;
    std::vector<std::string> args;
    std::vector<std::string> message;
  } cases[] = {
      {"a number as text",
       text(R"({"blocchi":[{"trasferimenti":[{},{"Importo":"4,00"}]}]})"),
       {"write", "job.json", "--out", "out.xml"},
       {"blocchi[0].trasferimenti[1].Importo: expected a number"}},
      {"invalid JSON",
       text(R"({"FormatoFile":1,"blocchi":[)"),
       {"write", "job.json", "--out", "out.xml"},
       {"not valid JSON"}},
      {"missing batch",
       text(R"({"ditta":{"CodiceDitta":1},"blocchi":[{"Add":{"TipoDistinta":1,)"
            R"("NumeroDistinta":99,"AnnoDistinta":2024}}]})"),
       write,
       {"-2147221606 (0x8003ff9a)\n  Errore: Distinta non trovata"}},
      {"--out in a file",
       text("{}"),
       {"write", kSepaJob, "--out", "job.json/out.xml", "--db", db},
       {"Errore: "}},
      {"unreachable ODBC source",
       nothing,
       {"write", kSepaJob, "--out", "o.xml", "--odbc", "DSN=zsepa_no_such_dsn"},
       {"SQLSTATE"}},
      {"existing database file",
       text("{}"),
       {"init-db", "job.json", "--demo"},
       {"zsepa init-db: job.json already exists"}},
      {"nested 60000 levels",
       job(R"({"Importo":)" + std::string(60000, '[') +
           std::string(60000, ']') + "}"),
       write,
       {"Stato:  13 ", "job.json: blocchi[0].trasferimenti[0].Importo[0][0]",
        "too deeply nested"}},
      {"key twice",
       job(R"({"Importo": 1250.5, "Importo": 999999999})"),
       write,
       {"Stato:  457 ",
        "blocchi[0].trasferimenti[0].Importo: the key \"Importo\" appears "
        "twice"}},
      {"1e400",
       job(R"({"Importo":1e400})"),
       write,
       {"Stato:  6 ", "Importo: the number 1e400 does not fit"}},
      {"400 digits",
       job(R"({"Importo":)" + std::string(400, '9') + "}"),
       write,
       {"Stato:  6 ", "Importo: the number 9999"}},
      {"NUL in a key",
       job(R"({"Imp\u0000orto":1})"),
       write,
       {"Stato:  438 ", "has no property named \"Imp\\u0000orto\""}},
      {"key of 10 MB",
       job("{\"" + std::string(10'000'000, 'k') + "\":1}"),
       write,
       {"Stato:  438 ", "has no property named \"kkkk"}},
      {"no ditta",
       [](const fs::path& dir) { WriteFile(dir / "job.json", "{}"); },
       write,
       {"Stato:  449 ", "missing `ditta`"}},
      {"job a folder",
       [](const fs::path& dir) { fs::create_directory(dir / "job.json"); },
       write,
       {"job.json: is a folder, not a file"}},
      {"job a named pipe",
       fifo("job.json"),
       write,
       {"job.json: is a named pipe, not a regular file"}},
      {"job a device",
       nothing,
       {"write", "/dev/zero", "--out", "out.xml", "--db", db},
       {"/dev/zero: is a device, not a regular file"}},
      {"company file a named pipe",
       fifo("company.json"),
       {"read-status", sepa_xml, "--company", "company.json", "--db", db},
       {"company.json: is a named pipe"}},
      {"empty database",
       [](const fs::path& dir) { WriteFile(dir / "empty.db", ""); },
       {"write", kSepaJob, "--out", "out.xml", "--db", "empty.db"},
       {"The database file empty.db given with --db is not a zsepa database",
        "(run `zsepa init-db` to create one)"}},
      {"database a named pipe",
       fifo("fifo.db"),
       {"write", kSepaJob, "--out", "out.xml", "--db", "fifo.db"},
       {"fifo.db given with --db is a named pipe"}},
      {"validate a named pipe",
       fifo("fifo.xml"),
       {"validate", "fifo.xml", "--xsd-dir", "."},
       {"zsepa validate: fifo.xml is a named pipe, not a regular file"}},
      {"validate without the schema folder",
       nothing,
       {"validate", sepa_xml, "--xsd-dir", "/nonexistent/xsd"},
       {"the schema folder /nonexistent/xsd does not exist"}},
      {"a named pipe for a schema",
       [](const fs::path& dir) {
         fs::create_directory(dir / "xsd");
         ASSERT_EQ(::mkfifo((dir / "xsd/A.xsd").c_str(), 0600), 0);
       },
       {"validate", sepa_xml, "--xsd-dir", "xsd"},
       {"no schema in xsd has the targetNamespace"}},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    c.prepare(dir_);
    const auto before = Contents(dir_);
    const RunResult run = Run(c.args);
    EXPECT_EQ(run.status, 1) << c.name << "\n"
                             << run.Describe().substr(0, 2000);
    for (const std::string& part : c.message) {
      EXPECT_NE(run.err.find(part), std::string::npos)
          << c.name << ": no \"" << part << "\" in\n"
          << run.Describe().substr(0, 2000);
    }
    EXPECT_LT(run.err.size(), 1000u) << c.name;
    EXPECT_TRUE(Contents(dir_) == before) << c.name;
  }
}

// Memory exhaustion is Stato 7, "Out of memory", never an abort: a job of
// millions of empty transactions needs far more memory than its text.
TEST_F(CliTest, OutOfMemoryIsStatoSeven) {
#ifdef ZSEPA_E2E_ADDRESS_SANITIZER
  GTEST_SKIP() << "a memory limit leaves no room for the sanitizer's shadow";
#else
  // Eight million empty transactions: more than the limit lets the plan hold.
  std::string text =
      R"({"ditta":{"CodiceDitta":1},"blocchi":[{"trasferimenti":[)";
  for (int i = 0; i < 8'000'000; ++i) text += "{},";
  WriteFile(dir_ / "job.json", text + "{}]}]}");
  const RunResult run =
      RunZsepa({"write", "job.json", "--out", "out.xml", "--db", Db()}, dir_,
               {}, ZSEPA_CLI, {"", "ulimit -v 200000 &&"});
  EXPECT_EQ(run.status, 1) << run.Describe();
  EXPECT_NE(run.err.find("Stato:  7 (0x00000007)\n  Errore: Out of memory"),
            std::string::npos)
      << run.Describe();
  EXPECT_FALSE(fs::exists(dir_ / "out.xml"));
#endif
}

// A save that succeeds while the builder records a failure (its lookups
// absorb their own) is reported as written, with a warning naming Stato and
// Errore on stderr and in the --json answer; a clean save has none.
TEST_F(CliTest, SuccessWithAFailureInsideWarns) {
  Json company_as_text = Json::parse(
      std::ifstream(kGolden / "jobs/manual-block.json", std::ios::binary));
  // The state-type lookup cannot take a company code that is not a number;
  // the bank-row lookup reads it as no row.
  company_as_text["ditta"]["CodiceDitta"] = "abc";
  WriteFile(dir_ / "job.json", company_as_text.dump());
  const struct {
    std::string name;
    std::string job;
    std::string warning;  // "" for none
  } cases[] = {
      {"clean job", kSepaJob, ""},
      {"company code that is no number", "job.json",
       "out.xml was written, but the builder recorded a failure while saving "
       "it: Stato -2147221614 (0x8003ff92), Errore: "},
  };
  for (const auto& c : cases) {
    for (const bool json : {false, true}) {
      std::vector<std::string> args = {"write",   c.job,  "--out",
                                       "out.xml", "--db", Db()};
      if (json) args.push_back("--json");
      const RunResult run = Run(args);
      const std::string name = c.name + (json ? " --json" : "");
      EXPECT_EQ(run.status, 0) << name << "\n" << run.Describe();
      if (c.warning.empty()) {
        EXPECT_EQ(run.err, "") << name;
      } else {
        EXPECT_EQ(run.err.rfind("zsepa write: warning: " + c.warning, 0), 0)
            << name << "\n"
            << run.Describe();
      }
      if (!json) continue;
      const Json answer = Json::parse(run.out, nullptr, false);
      ASSERT_TRUE(answer.is_object()) << name << "\n" << run.Describe();
      EXPECT_EQ(answer["ok"], true) << name;
      const Json& warnings = answer["warnings"];
      ASSERT_TRUE(warnings.is_array()) << name << "\n" << run.Describe();
      EXPECT_EQ(warnings.size(), c.warning.empty() ? 0u : 1u) << name;
      if (!warnings.empty()) {
        EXPECT_EQ(warnings[0].get<std::string>().rfind(c.warning, 0), 0)
            << name << "\n"
            << run.Describe();
      }
    }
  }
}

// The namespace of a file's root element ("" when it has none).
std::string RootNamespace(const std::string& xml) {
  size_t at = xml.find('<');
  while (at != std::string::npos &&
         (xml[at + 1] == '?' || xml[at + 1] == '!')) {
    at = xml.find('<', at + 1);
  }
  const size_t end = xml.find('>', at);
  const size_t ns = xml.find("xmlns=\"", at);
  if (at == std::string::npos || ns == std::string::npos || ns > end) return "";
  const size_t from = ns + 7;
  return xml.substr(from, xml.find('"', from) - from);
}

// Under the bank-2026 profile every demo job writes the current version of
// its format, valid against its official schema, and the --json answer lists
// what the profile changed, each change as a warning.
TEST_F(CliTest, Bank2026ProfileWritesTheCurrentVersions) {
  const struct {
    std::string job;
    std::string ns;
  } cases[] = {
      {"sepa", "urn:CBI:xsd:CBIPaymentRequest.00.04.01"},
      {"sepa-urgent", "urn:CBI:xsd:CBIPaymentRequest.00.04.01"},
      {"cross-border",
       "urn:CBI:xsd:CBICrossBorderPaymentRequestLogMsg.00.01.01"},
      {"direct-debit", "urn:CBI:xsd:CBISDDReqLogMsg.00.01.01"},
      {"iso-fr", "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09"},
  };
  const bool schemas = fs::exists(kXsdDir);
  size_t written = 0;  // changes that name what the file carries instead
  for (const auto& c : cases) {
    const std::string out = c.job + ".xml";
    const RunResult run =
        Run({"write", (kExamples / (c.job + ".json")).string(), "--out", out,
             "--db", Db(), "--json", "--profile", "bank-2026"});
    EXPECT_EQ(run.status, 0) << c.job << "\n" << run.Describe();
    const Json answer = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << c.job << "\n" << run.Describe();
    EXPECT_EQ(answer["profile"], "bank-2026") << c.job;
    ASSERT_TRUE(answer["adjustments"].is_array()) << run.Describe();
    for (const Json& change : answer["adjustments"]) {
      EXPECT_EQ(change["severity"], "warning") << c.job << ": " << change;
      if (change.contains("written")) {
        EXPECT_NE(change["written"], "") << c.job << ": " << change;
        ++written;
      }
    }
    EXPECT_EQ(RootNamespace(ReadFile(dir_ / out)), c.ns) << c.job;
    if (!schemas) continue;
    const RunResult validation =
        Run({"validate", out, "--xsd-dir", kXsdDir, "--json"});
    EXPECT_EQ(validation.status, 0) << c.job << "\n" << validation.Describe();
  }
  EXPECT_GT(written, 0u);
  ZSEPA_REQUIRE_SHARED_FILE(kXsdDir);
}

// The command line's --profile wins over the job's "profile" key; without
// either, or with "exact", the file and the answer are as they always were.
// Unknown names are refused before anything is written, and a file the
// profile cannot write is not written, with the refusals listed.
TEST_F(CliTest, ProfileComesFromTheCommandLineElseTheJob) {
  Json job = Json::parse(std::ifstream(kSepaJob, std::ios::binary));
  job["profile"] = "bank-2026";
  WriteFile(dir_ / "bank.json", job.dump());
  job["profile"] = "bank2026";
  WriteFile(dir_ / "misspelt.json", job.dump());
  Json outside = Json::parse(
      std::ifstream(kExamples / "cross-border.json", std::ios::binary));
  Json& swiss = outside["blocchi"][0]["trasferimenti"][0];
  swiss["Citta"] = "";
  swiss["CapCittaProvNazione"] = "";
  outside["profile"] = "bank-2026";
  WriteFile(dir_ / "outside.json", outside.dump());
  const std::string golden = ReadFile(kGolden / "sepa.xml");
  const std::string current = "urn:CBI:xsd:CBIPaymentRequest.00.04.01";
  const struct {
    std::string job;
    std::vector<std::string> options;
    int status;
    std::string ns;      // of the file written; "" when none is
    std::string stderr;  // what stderr holds
  } cases[] = {
      {"bank.json", {}, 0, current, "zsepa write: profile bank-2026: "},
      {"bank.json", {"--profile", "exact"}, 0, "", ""},
      {kSepaJob, {"--profile", "exact", "--json"}, 0, "", ""},
      {kSepaJob, {"--profile", "bank-2026"}, 0, current, " changes against "},
      {"misspelt.json",
       {},
       1,
       "",
       "profile: no profile is named \"bank2026\" (did you mean "
       "\"bank-2026\"?)"},
      {kSepaJob,
       {"--profile", "bank2026"},
       1,
       "",
       "zsepa write: --profile: no profile is named \"bank2026\""},
      {"outside.json", {}, 1, "", "ADDRESS_TOWN_MISSING"},
      {"outside.json", {}, 1, "", "-2147221611 (0x8003ff95)"},
  };
  for (const auto& c : cases) {
    fs::remove(dir_ / "out.xml");
    std::vector<std::string> args = {"write",   c.job,  "--out",
                                     "out.xml", "--db", Db()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const std::string name =
        c.job + " " + (c.options.empty() ? "" : c.options[1]);
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, c.status) << name << "\n" << run.Describe();
    EXPECT_NE(run.err.find(c.stderr), std::string::npos) << name << "\n"
                                                         << run.Describe();
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(dir_ / "out.xml")) << name;
    } else if (c.ns.empty()) {
      EXPECT_EQ(run.err, "") << name;
      EXPECT_EQ(run.out.find("profile"), std::string::npos) << run.out;
      EXPECT_EQ(ReadFile(dir_ / "out.xml"), golden) << name;
    } else {
      EXPECT_EQ(RootNamespace(ReadFile(dir_ / "out.xml")), c.ns) << name;
    }
  }
}

// The demo under the profile writes every file and sums up, per file, what
// the profile changed.
TEST_F(CliTest, DemoUnderTheProfileSumsUpItsChanges) {
  const RunResult run = Run({"demo", "--dir", "out", "--examples",
                             kExamples.string(), "--profile", "bank-2026"});
  ASSERT_EQ(run.status, 0) << run.Describe();
  EXPECT_NE(run.out.find("5 written to out, 0 failed."), std::string::npos)
      << run.Describe();
  const size_t summary = run.out.find("Changes against the exact files");
  ASSERT_NE(summary, std::string::npos) << run.Describe();
  for (const char* name : {"sepa.xml", "sepa-urgent.xml", "cross-border.xml",
                           "iso-fr.xml", "direct-debit.xml"}) {
    EXPECT_NE(run.out.find("  " + std::string(name), summary),
              std::string::npos)
        << name << "\n"
        << run.Describe();
  }
  EXPECT_EQ(RootNamespace(ReadFile(dir_ / "out/sepa.xml")),
            "urn:CBI:xsd:CBIPaymentRequest.00.04.01");
}

}  // namespace
