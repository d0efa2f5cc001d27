#ifndef ZSEPA_BASE_TESTING_TEMP_DIR_H_
#define ZSEPA_BASE_TESTING_TEMP_DIR_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zsepa::testing {

// A new, private temporary folder, removed with everything in it when the
// object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zsepa_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const {
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

// A test with a fresh temporary folder of its own.
class TempDirTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
};

}  // namespace zsepa::testing

#endif  // ZSEPA_BASE_TESTING_TEMP_DIR_H_
