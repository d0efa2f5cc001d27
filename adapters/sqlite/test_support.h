#ifndef ZSEPA_ADAPTERS_SQLITE_TEST_SUPPORT_H_
#define ZSEPA_ADAPTERS_SQLITE_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace zsepa::sqlite {

// A fresh temporary folder per test, removed with everything in it.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("zsepa_sqlite_" + std::to_string(::getpid()) + "_" +
            info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const {
    return (dir_ / name).string();
  }

  std::filesystem::path dir_;
};

}  // namespace zsepa::sqlite

#endif  // ZSEPA_ADAPTERS_SQLITE_TEST_SUPPORT_H_
