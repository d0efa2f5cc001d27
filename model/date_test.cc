#include "model/date.h"

#include <gtest/gtest.h>

#include <string>

namespace zsepa {
namespace {

TEST(DateTest, CompositionRollsOver) {
  const struct {
    int64_t y, mo, d, h, mi, s;
    std::string expected;
  } cases[] = {
      // clang-format off
      {2024, 13, 1, 0, 0, 0, "2025-01-01"},  {2024, 1, 32, 0, 0, 0, "2024-02-01"},
      {2024, 3, 0, 0, 0, 0, "2024-02-29"},   {2023, 3, 0, 0, 0, 0, "2023-02-28"},
      {2024, 1, 0, 0, 0, 0, "2023-12-31"},   {2024, 0, 1, 0, 0, 0, "2023-12-01"},
      {2024, -1, 15, 0, 0, 0, "2023-11-15"}, {2024, -11, 1, 0, 0, 0, "2023-01-01"},
      {2024, -12, 1, 0, 0, 0, "2022-12-01"}, {2024, 25, 1, 0, 0, 0, "2026-01-01"},
      {2024, 1, 1, 25, 0, 0, "2024-01-02 01:00:00"},
      {2024, 2, 1, 0, 0, -1, "2024-01-31 23:59:59"},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Date::FromParts(c.y, c.mo, c.d, c.h, c.mi, c.s).ToText(),
              c.expected)
        << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":"
        << c.s;
  }
}

TEST(DateTest, SerialsCountDaysFromTheZeroDate) {
  const struct {
    double serial;
    std::string text;
  } cases[] = {
      // clang-format off
      {0, "1899-12-30"}, {2, "1900-01-01"}, {45356, "2024-03-05"},
      {45356.5, "2024-03-05 12:00:00"}, {-1, "1899-12-29"},
      {-1.25, "1899-12-29 06:00:00"}, {Date::kMinSerial, "0100-01-01"},
      {Date::kMaxSerial - 1, "9999-12-31"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const Date date = Date::FromSerial(c.serial);
    EXPECT_EQ(date.ToText(), c.text) << c.serial;
    EXPECT_DOUBLE_EQ(date.Serial(), c.serial) << c.serial;
  }
  EXPECT_EQ(Date().ToText(), "1899-12-30");
  EXPECT_EQ(Date::FromSerial(Date::kMaxSerial).Year(), 10000);
}

}  // namespace
}  // namespace zsepa
