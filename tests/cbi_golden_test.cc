// Whole CBI credit-transfer files written through the public classes on the
// embedded demo database, compared byte for byte with tests/data/cbi/.
//
// To regenerate the expected files after a deliberate change of the output,
// run this test once with ZSEPA_UPDATE_GOLDEN=1 and read every changed line.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "model/error.h"
#include "tests/cbi_scenarios.h"
#include "tests/cbi_test_support.h"

namespace zsepa::testing {
namespace {

std::string GoldenPath(const std::string& name) {
  return std::string(ZSEPA_SOURCE_DIR) + "/tests/data/cbi/" + name + ".xml";
}

bool UpdateGolden() {
  const char* flag = std::getenv("ZSEPA_UPDATE_GOLDEN");
  return flag != nullptr && std::string(flag) == "1";
}

// The first line where two texts differ, for a readable failure.
std::string FirstDifference(const std::string& expected,
                            const std::string& actual) {
  size_t line = 1, start = 0;
  for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
    if (expected[i] != actual[i]) {
      const auto end_of = [&](const std::string& text) {
        const size_t end = text.find('\n', start);
        return text.substr(start, end == std::string::npos ? end : end - start);
      };
      return "line " + std::to_string(line) +
             "\n  expected: " + end_of(expected) +
             "\n  actual:   " + end_of(actual);
    }
    if (expected[i] == '\n') ++line, start = i + 1;
  }
  return "lengths " + std::to_string(expected.size()) + " and " +
         std::to_string(actual.size());
}

class CbiGoldenTest : public ::testing::TestWithParam<CbiScenario> {};

TEST_P(CbiGoldenTest, WritesTheExpectedFile) {
  const CbiScenario& scenario = GetParam();
  DemoCompany company;
  const std::string path = company.dir().File("out.xml");
  std::unique_ptr<CLSEP_FILESEPA> builder;
  ASSERT_TRUE(WriteScenario(company, scenario, path, builder))
      << scenario.name << ": " << builder->Stato() << " " << builder->Errore();
  EXPECT_EQ(builder->Stato(), 0) << builder->Errore();
  const std::string actual = ReadFile(path);
  if (UpdateGolden()) {
    WriteFile(GoldenPath(scenario.name), actual);
    GTEST_SKIP() << "ZSEPA_UPDATE_GOLDEN=1: rewrote "
                 << GoldenPath(scenario.name);
  }
  const std::string expected = ReadFile(GoldenPath(scenario.name));
  ASSERT_FALSE(expected.empty())
      << "missing " << GoldenPath(scenario.name)
      << " (create it deliberately with ZSEPA_UPDATE_GOLDEN=1)";
  EXPECT_TRUE(actual == expected)
      << scenario.name << ": " << FirstDifference(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CbiGoldenTest,
                         ::testing::ValuesIn(CbiScenarios()),
                         [](const ::testing::TestParamInfo<CbiScenario>& info) {
                           return info.param.name;
                         });

// Two lookups per transaction in both file kinds: IsIbanEstero always, and
// the state type (cached per state code, so one statement per code).
TEST(CbiWriterTest, LooksUpEveryTransaction) {
  for (const CbiScenario& scenario : CbiScenarios()) {
    DemoCompany company;
    RecordingConnection recording(company.connection());
    std::unique_ptr<CLSEP_FILESEPA> builder;
    ASSERT_TRUE(WriteScenario(company, scenario, company.dir().File("out.xml"),
                              builder, &recording))
        << scenario.name << ": " << builder->Errore();
    EXPECT_EQ(recording.Count("FNEP_ISIBANESTERO"),
              builder->NumeroTotaleTrasferimenti())
        << scenario.name;
    EXPECT_EQ(recording.Count("EF08_CODICECUC"), 1) << scenario.name;
    EXPECT_EQ(recording.Count("VCG16_ANAGGEN_STORICO"), 1) << scenario.name;
    EXPECT_GE(recording.Count("FNCO_INDTIPOSTATO"), 1) << scenario.name;
  }
}

}  // namespace
}  // namespace zsepa::testing
