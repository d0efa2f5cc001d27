// The CBI credit-transfer files against the official schemas (optional: the
// tests skip when the folder of shared schemas is absent). Where the exact
// output cannot pass a schema, docs/schema-deviations.md says why.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/cbi_scenarios.h"
#include "tests/cbi_test_support.h"
#include "writers/schema_validation.h"

namespace zsepa::testing {
namespace {

constexpr char kSepaXsd[] = "CBIPaymentRequest.00.04.00.xsd";
constexpr char kCrossBorderXsd[] =
    "CBICrossBorderPaymentRequestLogMsg.00.01.01.xsd";
constexpr char kCrossBorderOldXsd[] =
    "oca8_CBICrossBorderPaymentRequestLogMsg.00.01.01.xsd";

std::string Xsd(const std::string& name) {
  return std::string(ZSEPA_SHARED_DIR) + "/xsd/" + name;
}

std::string Describe(const std::vector<SchemaIssue>& issues) {
  std::ostringstream text;
  for (const auto& issue : issues) {
    text << "  line " << issue.line << ": " << issue.message << "\n";
  }
  return text.str();
}

// The file without its "BICOrBEI" lines.
std::string WithoutBicOrBei(const std::string& xml) {
  std::istringstream in(xml);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.find("<BICOrBEI") == std::string::npos) out += line + "\n";
  }
  return out;
}

class CbiSchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Xsd(kSepaXsd))) {
      GTEST_SKIP() << "official schemas not found under " << ZSEPA_SHARED_DIR
                   << "/xsd (set ZSEPA_SHARED_DIR): schema checks skipped";
    }
  }

  // Writes the named scenario and returns the path of its file.
  std::string Write(const std::string& name) {
    for (const CbiScenario& scenario : CbiScenarios()) {
      if (scenario.name != name) continue;
      const std::string path = company_.dir().File(name + ".xml");
      std::unique_ptr<CLSEP_FILESEPA> builder;
      EXPECT_TRUE(WriteScenario(company_, scenario, path, builder))
          << builder->Errore();
      return path;
    }
    ADD_FAILURE() << "no scenario " << name;
    return "";
  }

  DemoCompany company_;
};

TEST_F(CbiSchemaTest, CompleteSepaFilesAreValid) {
  for (const char* name : {"sepa_batch", "sepa_urgent_structured"}) {
    const std::string path = Write(name);
    EXPECT_EQ(RootNamespace(path), "urn:CBI:xsd:CBIPaymentRequest.00.04.00");
    const auto issues = ValidateAgainstSchema(path, Xsd(kSepaXsd));
    EXPECT_TRUE(issues.empty()) << name << ":\n" << Describe(issues);
  }
}

TEST_F(CbiSchemaTest, MissingDataGivesTheDocumentedDeviations) {
  const auto issues =
      ValidateAgainstSchema(Write("sepa_missing_data"), Xsd(kSepaXsd));
  const std::string text = Describe(issues);
  // An account that is not IBAN-shaped, an empty account and an agent
  // without BIC are refused by the schema.
  EXPECT_NE(text.find("}Othr': This element is not expected"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("}FinInstnId': Missing child"), std::string::npos)
      << text;
}

TEST_F(CbiSchemaTest, CrossBorderIsValidWithoutBicOrBei) {
  const std::string path = Write("cross_border_sdva");
  EXPECT_EQ(RootNamespace(path),
            "urn:CBI:xsd:CBICrossBorderPaymentRequestLogMsg.00.01.01");
  // The exact output carries "BICOrBEI" next to "Othr", which the schema
  // does not allow.
  const auto exact = ValidateAgainstSchema(path, Xsd(kCrossBorderXsd));
  EXPECT_NE(Describe(exact).find("BICOrBEI"), std::string::npos)
      << Describe(exact);

  for (const char* name :
       {"cross_border_sdva", "cross_border_no_service_level"}) {
    const std::string copy =
        company_.dir().File(std::string(name) + "_copy.xml");
    WriteFile(copy, WithoutBicOrBei(ReadFile(Write(name))));
    const auto issues = ValidateAgainstSchema(copy, Xsd(kCrossBorderXsd));
    EXPECT_TRUE(issues.empty()) << name << ":\n" << Describe(issues);
  }
}

// The older revision of the cross-border schema, for the record: what it
// says about the copy without "BICOrBEI" is printed, not asserted.
TEST_F(CbiSchemaTest, ReportsTheOlderCrossBorderRevision) {
  const std::string copy = company_.dir().File("copy.xml");
  WriteFile(copy, WithoutBicOrBei(ReadFile(Write("cross_border_sdva"))));
  const auto issues = ValidateAgainstSchema(copy, Xsd(kCrossBorderOldXsd));
  std::cout << kCrossBorderOldXsd << ": " << issues.size() << " issue(s)\n"
            << Describe(issues);
}

}  // namespace
}  // namespace zsepa::testing
