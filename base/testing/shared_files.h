#ifndef ZSEPA_BASE_TESTING_SHARED_FILES_H_
#define ZSEPA_BASE_TESTING_SHARED_FILES_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zsepa::testing {

// The folder with the official schemas (xsd/) and public sample files
// (samples/) beside the repository.
inline std::string SharedPath(const std::string& relative) {
  return std::string(ZSEPA_SHARED_DIR) + "/" + relative;
}

inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

}  // namespace zsepa::testing

// Ends the current test when `path` (a shared file) is missing: a failure
// under CI (CI=true), where the files must be present, a skip elsewhere.
#define ZSEPA_REQUIRE_SHARED_FILE(path)                                      \
  do {                                                                       \
    if (!std::filesystem::exists(path)) {                                    \
      if (::zsepa::testing::UnderCi()) FAIL() << "missing " << (path);       \
      GTEST_SKIP() << "missing " << (path) << " (shared files not present)"; \
    }                                                                        \
  } while (false)

#endif  // ZSEPA_BASE_TESTING_SHARED_FILES_H_
