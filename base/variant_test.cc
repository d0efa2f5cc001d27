#include "zsepa/variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "base/testing/error_code.h"
#include "base/utf8.h"
#include "zsepa/date.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

using testing::ErrorCode;

TEST(VariantTest, IsNumeric) {
  const std::pair<const char*, bool> cases[] = {
      {" -1,5 ", true}, {".5", true},  {"5.", true},     {"\t7\t", true},
      {"1.5e3", true},  {"1e", false}, {"1.2.3", false}, {"- 1", false}};
  for (const auto& [text, numeric] : cases) {
    EXPECT_EQ(Variant(text).IsNumeric(), numeric) << "'" << text << "'";
  }
  EXPECT_FALSE(Variant(Date()).IsNumeric());
  EXPECT_TRUE(Variant(true).IsNumeric());
}

// An error 0 means that the conversion gives `expected`.
TEST(VariantTest, IntegerConversionsRoundHalvesToEvenAndRaise) {
  using rt::kOverflow, rt::kTypeMismatch, rt::kInvalidUseOfNull;
  // clang-format off
  const struct {
    Variant value;
    int64_t expected;
    int32_t int16_error, int32_error;
  } cases[] = {
      {2.5, 2, 0, 0}, {3.5, 4, 0, 0}, {2.5000001, 3, 0, 0}, {"2,5", 2, 0, 0},
      {" 1.5e1 ", 15, 0, 0}, {true, -1, 0, 0}, {Variant(), 0, 0, 0},
      {32767.5, 32768, kOverflow, 0}, {-32768.5, -32768, 0, 0},
      {-2147483648.5, -2147483648, kOverflow, 0},
      {2147483647.5, 0, kOverflow, kOverflow}, {"1e400", 0, kOverflow, kOverflow},
      {Date::FromParts(2024, 3, 5), 45356, kOverflow, 0},
      {"abc", 0, kTypeMismatch, kTypeMismatch}, {"", 0, kTypeMismatch, kTypeMismatch},
      {Variant::Null(), 0, kInvalidUseOfNull, kInvalidUseOfNull}};
  // clang-format on
  for (const auto& c : cases) {
    const std::string input = "'" + c.value.ToText() + "'";
    int64_t to16 = c.expected, to32 = c.expected;  // kept on an error
    EXPECT_EQ(ErrorCode([&] { to16 = c.value.ToInt16(); }), c.int16_error)
        << input;
    EXPECT_EQ(ErrorCode([&] { to32 = c.value.ToInt32(); }), c.int32_error)
        << input;
    EXPECT_EQ(std::tie(to16, to32), std::tie(c.expected, c.expected)) << input;
  }
}

// The date texts that hosts pass; anything else is no date.
TEST(DateTest, ParsesTheFormsHostsPass) {
  const std::pair<const char*, const char*> cases[] = {
      {"2024-03-05", "2024-03-05"},
      {"2024-03-05T09:07:03", "2024-03-05 09:07:03"},
      {"2024-03-05 09:07:03", "2024-03-05 09:07:03"},
      {"2024-03-05 09:07", "2024-03-05 09:07:00"},
      {"2024-03-05T09:07", "2024-03-05 09:07:00"},
      {"05/03/2024", "2024-03-05"},
      {"05/03/2024 09:07:03", "2024-03-05 09:07:03"},
      {"05/03/2024T09:07", "2024-03-05 09:07:00"},
      {"29/02/2023", nullptr},
      {"2024-03-05 24:00", nullptr},
      {"2024-03-05 09:60", nullptr},
      {"2024-03-05 09:07:", nullptr},
      {"2024-03-05 9:07", nullptr},
      {"2024-03-05X09:07", nullptr},
      {"05/03/24", nullptr},
      {"2024-3-5", nullptr},
      {"", nullptr},
  };
  for (const auto& [text, expected] : cases) {
    const std::optional<Date> date = Date::Parse(text);
    EXPECT_EQ(date ? date->ToText() : "(none)",
              expected != nullptr ? expected : "(none)")
        << text;
  }
}

// Serials to dates are covered by the date picture of format/.
TEST(DateTest, CompositionRollsOver) {
  // clang-format off
  const struct {
    int64_t y, mo, d, h, mi, s;
    std::string expected;
  } cases[] = {
      {2024, 13, 1, 0, 0, 0, "2025-01-01"}, {2024, 1, 32, 0, 0, 0, "2024-02-01"},
      {2024, 3, 0, 0, 0, 0, "2024-02-29"},  {2023, 3, 0, 0, 0, 0, "2023-02-28"},
      {2024, 1, 0, 0, 0, 0, "2023-12-31"},  {2024, 0, 1, 0, 0, 0, "2023-12-01"},
      {2024, -12, 1, 0, 0, 0, "2022-12-01"},
      {2024, 1, 1, 25, 0, 0, "2024-01-02 01:00:00"},
      {2024, 2, 1, 0, 0, -1, "2024-01-31 23:59:59"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(Date::FromParts(c.y, c.mo, c.d, c.h, c.mi, c.s).ToText(),
              c.expected);
  }
}

// Characters count as the host counts them, in UTF-16 units: "è" (2 bytes)
// and "€" (3) one, "😀" (4) two; a cut never keeps half of "😀" (nor pads
// for it). Malformed bytes (a lone lead byte, an overlong form, a surrogate,
// a code point above U+10FFFF) count one unit each.
TEST(Utf8Test, CountsAndCutsUtf16Units) {
  const std::tuple<std::string, size_t, std::string, std::string, bool>
      cases[] = {
          {"è€😀ab", 6, "è€", "è€😀", true},
          {"😀x", 3, "😀", "😀x ", true},
          {"x😀😀", 5, "x", "x😀", true},
          {"a\xC3", 2, "a\xC3", "a\xC3  ", false},
          {"\xC0\xAFz", 3, "\xC0\xAF", "\xC0\xAFz ", false},
          {"\xED\xA0\x80", 3, "\xED\xA0", "\xED\xA0\x80 ", false},
          {"\xF4\x90\x80\x80", 4, "\xF4\x90", "\xF4\x90\x80\x80", false}};
  for (const auto& [text, length, left2, fit4, valid] : cases) {
    EXPECT_EQ(std::make_tuple(utf8::Length(text), utf8::Left(text, 2),
                              utf8::FitRight(text, 4), utf8::IsValid(text)),
              std::tie(length, left2, fit4, valid))
        << text;
  }
  const std::string text = "è\xFF€";
  size_t pos = 0;
  EXPECT_EQ(utf8::Next(text, pos), U'è');
  EXPECT_EQ(utf8::Next(text, pos), U'\uFFFD');
  EXPECT_EQ(utf8::Next(text, pos), U'€');
}

}  // namespace
}  // namespace zsepa
