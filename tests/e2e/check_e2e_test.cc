// zsepa check, write --check and write --validate as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/testing/shared_files.h"
#include "base/testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const fs::path kExamples = fs::path(ZSEPA_SOURCE_DIR) / "examples";
const fs::path kGolden = fs::path(ZSEPA_SOURCE_DIR) / "tests/data/e2e";

std::string ReadFile(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

class CheckCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Zsepa({"init-db", "demo.db", "--demo"}).status, 0);
  }

  Outcome Zsepa(const std::vector<std::string>& args) {
    std::string command = "cd '" + dir_.string() + "' && '" ZSEPA_CLI "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " </dev/null >stdout 2>stderr";
    const int wstatus = std::system(command.c_str());
    Outcome run;
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    run.out = ReadFile(dir_ / "stdout");
    run.err = ReadFile(dir_ / "stderr");
    return run;
  }

  zsepa::testing::TempDir temp_;
  fs::path dir_ = temp_.path();
};

// The demo jobs carry no error-level finding.
TEST_F(CheckCliTest, DemoJobsHaveNoErrors) {
  for (const auto& entry : fs::directory_iterator(kExamples)) {
    const fs::path& job = entry.path();
    if (job.extension() != ".json" || job.stem() == "company") continue;
    const Outcome run =
        Zsepa({"check", job.string(), "--db", "demo.db", "--json"});
    const Json answer = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << job << run.err;
    std::vector<std::string> errors;
    for (const Json& f : answer["findings"]) {
      if (f["severity"] == "error") {
        errors.push_back(f["code"].get<std::string>() + " b" +
                         std::to_string(f["block"].get<int>()) + " t" +
                         std::to_string(f["transaction"].get<int>()) + " " +
                         f["field"].get<std::string>());
      }
    }
    EXPECT_EQ(errors, std::vector<std::string>{}) << job;
    EXPECT_EQ(run.status, 0) << job;
  }
}

// A broken job: check names each fault with its place; write --check writes
// nothing; write without flags still writes the file as before.
TEST_F(CheckCliTest, BrokenJobIsReportedAndNotWrittenWithCheck) {
  std::ofstream(dir_ / "job.json")
      << R"({"ditta":{"CodiceDitta":1,"CodiceAnagraficaDitta":1000,)"
         R"("RagioneSocialeDitta":"Rossi",)"
         R"("IdentificativoDitta":"12345678903"},"FormatoFile":1,)"
         R"("DataCreazioneSupporto":"2024-03-05T09:07:03","blocchi":[)"
         R"({"Add":{"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":2024},)"
         R"("ProgrBanca":1,"trasferimenti":[{"Importo":12.5,)"
         R"("RagioneSociale":"Alfa","IBAN":"IT60X0542811101000000123457",)"
         R"("CodiceIso":"IT","PartitaIVA":"00743110157",)"
         R"("RiferimentoNonStrutturato":"Fattura 1",)"
         R"("CapCittaProvNazione":"20100 Milano","Indirizzo":"Via Po 1"}]}]})";
  const Outcome check = Zsepa({"check", "job.json", "--db", "demo.db"});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("error   IBAN_CHECK_DIGITS  block 1, transaction 1"
                           "  IBAN \"IT60X0542811101000000123457\""),
            std::string::npos)
      << check.out;
  const Outcome guarded = Zsepa(
      {"write", "job.json", "--out", "out.xml", "--db", "demo.db", "--check"});
  EXPECT_EQ(guarded.status, 1);
  EXPECT_NE(guarded.err.find("IBAN_CHECK_DIGITS"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "out.xml"));
  EXPECT_EQ(Zsepa({"write", "job.json", "--out", "out.xml", "--db", "demo.db"})
                .status,
            0);
  EXPECT_TRUE(fs::exists(dir_ / "out.xml"));
}

// write --validate: a valid file is the same file a plain write gives; an
// invalid one (the cross-border file, whose documented BICOrBEI is followed
// by an Othr the schema refuses) leaves the
// target as it was and no file beside it.
TEST_F(CheckCliTest, ValidateBeforeTheSaveIsCommitted) {
  const std::string xsd = zsepa::testing::SharedPath("xsd");
  if (!fs::is_directory(xsd)) GTEST_SKIP() << "no schemas in " << xsd;
  const Outcome valid =
      Zsepa({"write", (kExamples / "sepa.json").string(), "--out", "sepa.xml",
             "--db", "demo.db", "--validate", xsd, "--check"});
  EXPECT_EQ(valid.status, 0) << valid.err;
  EXPECT_EQ(ReadFile(dir_ / "sepa.xml"), ReadFile(kGolden / "sepa.xml"));

  std::ofstream(dir_ / "target.xml") << "before";
  const Outcome invalid =
      Zsepa({"write", (kExamples / "cross-border.json").string(), "--out",
             "target.xml", "--db", "demo.db", "--validate", xsd});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_NE(invalid.err.find("Othr': This element is not expected"),
            std::string::npos)
      << invalid.err;
  EXPECT_EQ(ReadFile(dir_ / "target.xml"), "before");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"demo.db", "sepa.xml", "stderr",
                                             "stdout", "target.xml"}));
}

}  // namespace
