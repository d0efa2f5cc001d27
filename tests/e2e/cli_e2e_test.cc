// Runs the zsepa program as a user would and checks what it prints, the exit
// status and the files it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// 0x8003ff90: the file kind's writer is not part of this build.
constexpr int64_t kWriterUnavailable = -2147221616;

const fs::path kSource = ZSEPA_SOURCE_DIR;
const fs::path kExamples = kSource / "examples";
const fs::path kGolden = kSource / "tests" / "data" / "e2e";
const fs::path kXsdDir = fs::path(ZSEPA_SHARED_DIR) / "xsd";
const fs::path kSamples = fs::path(ZSEPA_SHARED_DIR) / "samples";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  std::string Describe() const {
    return "exit " + std::to_string(status) + "\n--- stdout\n" + out +
           "--- stderr\n" + err;
  }
};

// Runs zsepa with `args` in the folder `cwd`; stdin is empty.
RunResult RunZsepa(const std::vector<std::string>& args, const fs::path& cwd) {
  const fs::path out_file = cwd / ".zsepa-stdout";
  const fs::path err_file = cwd / ".zsepa-stderr";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    std::string program = ZSEPA_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  RunResult run;
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    run.status = WEXITSTATUS(wstatus);
  }
  run.out = ReadFile(out_file);
  run.err = ReadFile(err_file);
  fs::remove(out_file);
  fs::remove(err_file);
  return run;
}

// Files in `dir` other than the captured output of the last run.
std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/zsepa_e2e_XXXXXX";
    suite_dir_ = new fs::path(mkdtemp(pattern));
    const RunResult run =
        RunZsepa({"init-db", "demo.db", "--demo"}, *suite_dir_);
    ASSERT_EQ(run.status, 0) << run.Describe();
  }
  static void TearDownTestSuite() {
    fs::remove_all(*suite_dir_);
    delete suite_dir_;
  }
  void SetUp() override {
    dir_ = *suite_dir_ /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }
  std::string Db() const { return (*suite_dir_ / "demo.db").string(); }

  // Writes `job` with --json against the demo database; checks the shape of
  // the JSON answer and returns it.
  Json WriteJob(const fs::path& job, const fs::path& out) {
    const RunResult run = RunZsepa(
        {"write", job.string(), "--out", out.string(), "--db", Db(), "--json"},
        dir_);
    Json answer = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(answer.is_discarded()) << run.Describe();
    if (answer.is_discarded()) return Json::object();
    std::vector<std::string> keys;
    for (const auto& item : answer.items()) keys.push_back(item.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"ok", "Stato", "Errore", "MsgId",
                                        "NumeroTotaleTrasferimenti",
                                        "ImportoTotaleTrasferimenti", "file"}))
        << run.out;
    EXPECT_TRUE(answer["ok"].is_boolean() && answer["Stato"].is_number() &&
                answer["Errore"].is_string() && answer["MsgId"].is_string() &&
                answer["NumeroTotaleTrasferimenti"].is_number() &&
                answer["ImportoTotaleTrasferimenti"].is_number())
        << run.out;
    EXPECT_EQ(run.status, answer["ok"].get<bool>() ? 0 : 1) << run.Describe();
    if (!answer["ok"].get<bool>()) {
      EXPECT_TRUE(answer["file"].is_null()) << run.out;
      EXPECT_NE(run.err.find("Errore: "), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(out)) << out;
    }
    return answer;
  }

  static fs::path* suite_dir_;
  fs::path dir_;
};

fs::path* CliTest::suite_dir_ = nullptr;

std::vector<fs::path> GoldenJobs() {
  std::vector<fs::path> jobs;
  for (const fs::path& dir : {kExamples, kGolden / "jobs"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const fs::path& path = entry.path();
      if (path.extension() == ".json" && path.stem() != "company") {
        jobs.push_back(path);
      }
    }
  }
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

TEST_F(CliTest, JobsWriteTheGoldenFilesByteForByte) {
  const bool update = std::getenv("ZSEPA_UPDATE_GOLDEN") != nullptr &&
                      std::string(std::getenv("ZSEPA_UPDATE_GOLDEN")) == "1";
  int compared = 0;
  for (const fs::path& job : GoldenJobs()) {
    SCOPED_TRACE(job.string());
    const std::string name = job.stem().string() + ".xml";
    const fs::path out = dir_ / name;
    const Json answer = WriteJob(job, out);
    if (!answer.value("ok", false)) {
      // Kinds whose writer is not in this build are reported, not faults.
      EXPECT_EQ(answer.value("Stato", int64_t{0}), kWriterUnavailable)
          << answer.dump();
      std::cout << "[   NOTE   ] " << name
                << ": writer not available in this build\n";
      continue;
    }
    EXPECT_EQ(answer["file"], out.string());
    const fs::path golden = kGolden / name;
    if (update) {
      fs::copy_file(out, golden, fs::copy_options::overwrite_existing);
      std::cout << "[ UPDATED  ] " << golden.string() << "\n";
      continue;
    }
    ASSERT_TRUE(fs::exists(golden))
        << "no golden file " << golden
        << "; check the written file and run with ZSEPA_UPDATE_GOLDEN=1";
    EXPECT_EQ(ReadFile(out), ReadFile(golden)) << "differs from " << golden;
    ++compared;
  }
  std::cout << "[   NOTE   ] " << compared << " files compared\n";
}

TEST_F(CliTest, WritePrintsTheTotalsAndTheFile) {
  const fs::path out = dir_ / "sepa.xml";
  const RunResult run = RunZsepa({"write", (kExamples / "sepa.json").string(),
                                  "--out", out.string(), "--db", Db()},
                                 dir_);
  if (run.status != 0 &&
      run.err.find(std::to_string(kWriterUnavailable)) != std::string::npos) {
    GTEST_SKIP() << "CBI credit-transfer writer not in this build";
  }
  ASSERT_EQ(run.status, 0) << run.Describe();
  EXPECT_EQ(run.out,
            "MsgId                      000001520241\n"
            "NumeroTotaleTrasferimenti  4\n"
            "ImportoTotaleTrasferimenti 4436.45\n"
            "File                       " +
                out.string() + "\n");
}

// Faults of a job are reported before anything is written: not even the
// default database is created.
TEST_F(CliTest, JobFaultsNameTheKeyAndWriteNothing) {
  const std::string good_block =
      R"({"Add":{"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":2024},
          "trasferimenti":[{"Importo":1},{"Importo":2},{"Importo":3},)";
  const struct {
    std::string job;
    std::string message;
  } cases[] = {
      {R"({"blocchi":[)" + good_block + R"({"Improto":4}]}]})",
       "blocchi[0].trasferimenti[3].Improto: a transaction "
       "(CLSEP_TRANSFCREDIT) has no property named \"Improto\""},
      {R"({"blocchi":[)" + good_block + R"({"Importo":"4,00"}]}]})",
       "blocchi[0].trasferimenti[3].Importo: expected a number, found the "
       "text \"4,00\""},
      {R"({"blocchi":[)" + good_block + R"({"CodCG07":3000000000}]}]})",
       "blocchi[0].trasferimenti[3].CodCG07: 3000000000 does not fit"},
      {R"({"blocchi":[{"Add":{"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":99999}}]})",
       "blocchi[0].Add.AnnoDistinta: 99999 does not fit"},
      {R"({"FormatoFile":1,"blocchi":[)", "not valid JSON"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.job);
    WriteFile(dir_ / "job.json", c.job);
    const RunResult run =
        RunZsepa({"write", "job.json", "--out", "out.xml"}, dir_);
    EXPECT_EQ(run.status, 1) << run.Describe();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.Describe();
    EXPECT_EQ(Listing(dir_), std::vector<std::string>{"job.json"});
  }
}

TEST_F(CliTest, MissingBatchFailsWithTheBuildersMessage) {
  WriteFile(dir_ / "job.json",
            R"({"ditta":{"CodiceDitta":1},"blocchi":[{"Add":
                {"TipoDistinta":1,"NumeroDistinta":99,"AnnoDistinta":2024}}]})");
  const RunResult run =
      RunZsepa({"write", "job.json", "--out", "out.xml", "--db", Db()}, dir_);
  EXPECT_EQ(run.status, 1) << run.Describe();
  EXPECT_NE(run.err.find("Stato:  -2147221606 (0x8003ff9a)"), std::string::npos)
      << run.Describe();
  EXPECT_NE(run.err.find("Errore: Distinta non trovata"), std::string::npos)
      << run.Describe();
  EXPECT_FALSE(fs::exists(dir_ / "out.xml"));
}

TEST_F(CliTest, UnwritablePathLeavesNoFile) {
  WriteFile(dir_ / "blocker", "a file where a folder should be");
  const Json answer =
      WriteJob(kExamples / "sepa.json", dir_ / "blocker" / "sepa.xml");
  EXPECT_FALSE(answer.value("ok", true));
  EXPECT_NE(answer.value("Stato", int64_t{0}), 0);
  EXPECT_EQ(Listing(dir_), std::vector<std::string>{"blocker"});
}

TEST_F(CliTest, UnreachableOdbcSourceIsReported) {
  const RunResult run =
      RunZsepa({"write", (kExamples / "sepa.json").string(), "--out", "out.xml",
                "--odbc", "DSN=zsepa_no_such_data_source"},
               dir_);
  EXPECT_EQ(run.status, 1) << run.Describe();
  EXPECT_NE(run.err.find("SQLSTATE"), std::string::npos) << run.Describe();
  EXPECT_EQ(Listing(dir_), std::vector<std::string>{});
}

TEST_F(CliTest, DefaultDatabaseIsCreatedOnFirstUseAndSaidSo) {
  const RunResult first = RunZsepa({"write", (kExamples / "sepa.json").string(),
                                    "--out", "out.xml", "--json"},
                                   dir_);
  EXPECT_NE(first.err.find("created the embedded database zsepa.db"),
            std::string::npos)
      << first.Describe();
  EXPECT_TRUE(fs::exists(dir_ / "zsepa.db"));
  const RunResult second =
      RunZsepa({"write", (kExamples / "sepa.json").string(), "--out", "out.xml",
                "--json"},
               dir_);
  EXPECT_EQ(second.err.find("created"), std::string::npos) << second.Describe();
  EXPECT_EQ(first.out, second.out);
}

TEST_F(CliTest, InitDbRefusesAnExistingFile) {
  const RunResult created = RunZsepa({"init-db", "x.db"}, dir_);
  EXPECT_EQ(created.status, 0) << created.Describe();
  const std::string before = ReadFile(dir_ / "x.db");
  EXPECT_FALSE(before.empty());
  const RunResult again = RunZsepa({"init-db", "x.db", "--demo"}, dir_);
  EXPECT_EQ(again.status, 1) << again.Describe();
  EXPECT_NE(again.err.find("already exists"), std::string::npos)
      << again.Describe();
  EXPECT_EQ(ReadFile(dir_ / "x.db"), before);
}

TEST_F(CliTest, ReadStatusReportsTheOutcome) {
  const RunResult run = RunZsepa(
      {"read-status", (kExamples / "status-report.xml").string(), "--company",
       (kExamples / "company.json").string(), "--db", Db(), "--json"},
      dir_);
  const Json answer = Json::parse(run.out, nullptr, false);
  ASSERT_FALSE(answer.is_discarded()) << run.Describe();
  for (const char* key :
       {"ok", "result", "Stato", "Errore", "TipoDistinta", "NumeroDistinta",
        "AnnoDistinta", "MessageQualifier", "RejectReason", "AbiBanca",
        "Effetti", "NumeroInsoluti", "NumeroRichiami"}) {
    EXPECT_TRUE(answer.contains(key)) << key << "\n" << run.out;
  }
  if (answer["Stato"] == kWriterUnavailable) {
    EXPECT_EQ(run.status, 1);
    GTEST_SKIP() << "status reader not in this build";
  }
  ASSERT_EQ(run.status, 0) << run.Describe();
  EXPECT_EQ(answer["NumeroDistinta"], 12);
  EXPECT_EQ(answer["AnnoDistinta"], 2024);
  EXPECT_EQ(answer["MessageQualifier"], 8);
  EXPECT_EQ(answer["AbiBanca"], "03069");
  ASSERT_EQ(answer["Effetti"].size(), 2u) << run.out;
  EXPECT_EQ(answer["Effetti"][0]["NumeroEffetto"], "2024/0001");
  EXPECT_EQ(answer["Effetti"][0]["DataScadenza"], "2024-05-15");
  EXPECT_EQ(answer["NumeroInsoluti"], 1);  // AM04
  EXPECT_EQ(answer["NumeroRichiami"], 1);  // MD06
}

TEST_F(CliTest, ValidateFindsTheSchemaByNamespace) {
  if (!fs::exists(kXsdDir) || !fs::exists(kSamples / "SCTRequest.xml")) {
    GTEST_SKIP() << "no schemas at " << kXsdDir << ": validate not tested";
  }
  const fs::path valid = kSamples / "SCTRequest.xml";
  const RunResult ok = RunZsepa(
      {"validate", valid.string(), "--xsd-dir", kXsdDir.string()}, dir_);
  EXPECT_EQ(ok.status, 0) << ok.Describe();
  EXPECT_NE(ok.out.find("CBIPaymentRequest.00.04.00.xsd"), std::string::npos)
      << ok.Describe();

  std::string text = ReadFile(valid);
  const size_t at = text.find("<NbOfTxs>");
  ASSERT_NE(at, std::string::npos);
  text.insert(at + 9, "many");
  WriteFile(dir_ / "broken.xml", text);
  const int line =
      1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
  const RunResult bad =
      RunZsepa({"validate", "broken.xml", "--xsd-dir", kXsdDir.string()}, dir_);
  EXPECT_EQ(bad.status, 1) << bad.Describe();
  EXPECT_NE(bad.err.find("broken.xml:" + std::to_string(line) + ":"),
            std::string::npos)
      << bad.Describe();
  const RunResult json = RunZsepa(
      {"validate", "broken.xml", "--xsd-dir", kXsdDir.string(), "--json"},
      dir_);
  const Json answer = Json::parse(json.out, nullptr, false);
  ASSERT_FALSE(answer.is_discarded()) << json.Describe();
  EXPECT_EQ(answer["ok"], false);
  ASSERT_FALSE(answer["errors"].empty());
  EXPECT_EQ(answer["errors"][0]["line"], line);
}

TEST_F(CliTest, DemoWritesEveryAvailableKind) {
  const RunResult run = RunZsepa({"demo", "--dir", "out"}, dir_);
  ASSERT_EQ(run.status, 0) << run.Describe();
  for (const auto& entry : fs::directory_iterator(kExamples)) {
    const fs::path& job = entry.path();
    if (job.extension() != ".json" || job.stem() == "company") continue;
    const std::string name = job.stem().string() + ".xml";
    const size_t row = run.out.find("\n" + name);
    ASSERT_NE(row, std::string::npos) << name << "\n" << run.out;
    const std::string line =
        run.out.substr(row + 1, run.out.find('\n', row + 1) - row - 1);
    const bool unavailable =
        line.find("not available in this build") != std::string::npos;
    EXPECT_EQ(fs::exists(dir_ / "out" / name), !unavailable) << line;
  }
  EXPECT_TRUE(fs::exists(dir_ / "out" / "zsepa-demo.db"));
}

TEST_F(CliTest, EveryCommandHasHelpWithAnExample) {
  for (const char* command :
       {"init-db", "write", "read-status", "validate", "demo"}) {
    const RunResult run = RunZsepa({command, "--help"}, dir_);
    EXPECT_EQ(run.status, 0) << command << "\n" << run.Describe();
    EXPECT_NE(run.out.find("\n  zsepa " + std::string(command) + " "),
              std::string::npos)
        << command << "\n"
        << run.out;
  }
  const RunResult version = RunZsepa({"--version"}, dir_);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("zsepa ", 0), 0u) << version.out;
  const RunResult usage = RunZsepa({"write"}, dir_);
  EXPECT_EQ(usage.status, 1) << usage.Describe();
}

}  // namespace
