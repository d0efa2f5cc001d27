#ifndef ZSEPA_TESTS_PROFILE_OUTCOME_H_
#define ZSEPA_TESTS_PROFILE_OUTCOME_H_

#include <gtest/gtest.h>

#include <string>

#include "base/testing/shared_files.h"
#include "tests/scenarios.h"
#include "writers/schema_validation.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/error.h"

// What the bank-2026 profile made of a golden scenario: its findings, one a
// line, in tests/data/bank-2026/<name>.txt, and the file it wrote, if any,
// in tests/data/bank-2026/<name>.xml, valid against the current schema.

namespace zsepa::testing {

inline std::string FindingsText(const CLSEP_FILESEPA& builder) {
  std::string text;
  for (const Finding& f : builder.ProfileFindings()) {
    text += (f.severity == Finding::Severity::kError ? "error " : "change ") +
            f.code + " " + std::to_string(f.block) + "/" +
            std::to_string(f.transaction) + " " + f.field + " [" + f.value +
            "] -> [" + f.written + "] " + f.message + "\n";
  }
  return text;
}

// `saved` is SaveXML's answer for `path`; `xsd` the schema of the current
// version of the scenario's file kind.
inline void ExpectProfileOutcome(const std::string& name, bool saved,
                                 const CLSEP_FILESEPA& builder,
                                 const std::string& path,
                                 const std::string& xsd) {
  const std::string golden =
      std::string(ZSEPA_SOURCE_DIR) + "/tests/data/bank-2026/" + name;
  const std::string findings = FindingsText(builder);
  if (!saved) {
    // A refusal: an error finding says why, and nothing was written.
    EXPECT_EQ(builder.Stato(), codes::kProfileRefused) << builder.Errore();
    EXPECT_NE(findings.find("error "), std::string::npos) << findings;
    EXPECT_FALSE(std::filesystem::exists(path));
    ExpectGoldenFile(golden + ".txt", findings);
    return;
  }
  EXPECT_EQ(builder.Stato(), 0) << builder.Errore();
  ExpectGoldenFile(golden + ".txt", findings);
  ExpectGoldenFile(golden + ".xml", ReadFile(path));
  ZSEPA_REQUIRE_SHARED_FILE(xsd);
  std::string issues;
  for (const SchemaIssue& issue : ValidateAgainstSchema(path, xsd)) {
    issues += std::to_string(issue.line) + ": " + issue.message;
  }
  EXPECT_EQ(issues, "");
}

}  // namespace zsepa::testing

#endif  // ZSEPA_TESTS_PROFILE_OUTCOME_H_
