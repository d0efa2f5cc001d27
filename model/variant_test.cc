#include "model/variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "model/error.h"

namespace zsepa {
namespace {

template <typename F>
int32_t ErrorCode(F&& f) {
  try {
    f();
  } catch (const Error& error) {
    return error.Code();
  }
  return 0;
}

TEST(VariantTest, IsNumeric) {
  for (const char* text :
       {"12", " -1,5 ", "+3", "1.5e3", ".5", "5.", "\t7\t", "1e-400"}) {
    EXPECT_TRUE(Variant(text).IsNumeric()) << "'" << text << "'";
  }
  for (const char* text :
       {"", "  ", "-", "1e", "1.2.3", "1,2.3", "12a", "X3069", "- 1"}) {
    EXPECT_FALSE(Variant(text).IsNumeric()) << "'" << text << "'";
  }
  EXPECT_FALSE(Variant().IsNumeric());
  EXPECT_FALSE(Variant::Null().IsNumeric());
  EXPECT_FALSE(Variant(Date()).IsNumeric());
  EXPECT_TRUE(Variant(true).IsNumeric());
}

// An error 0 means that the conversion gives `expected`.
TEST(VariantTest, IntegerConversionsRoundHalvesToEvenAndRaise) {
  const struct {
    Variant value;
    int64_t expected;
    int32_t int16_error, int32_error;
  } cases[] = {
      // clang-format off
      {Variant(2.5), 2, 0, 0}, {Variant(3.5), 4, 0, 0},
      {Variant(-2.5), -2, 0, 0}, {Variant(-3.5), -4, 0, 0},
      {Variant(0.5), 0, 0, 0}, {Variant(2.5000001), 3, 0, 0},
      {Variant("2,5"), 2, 0, 0}, {Variant(" 1.5e1 "), 15, 0, 0},
      {Variant(true), -1, 0, 0}, {Variant(), 0, 0, 0},
      {Variant("1e-400"), 0, 0, 0}, {Variant(32767.4), 32767, 0, 0},
      {Variant(32767.5), 32768, rt::kOverflow, 0},
      {Variant(-32768.5), -32768, 0, 0},
      {Variant(-32769), -32769, rt::kOverflow, 0},
      {Variant(int64_t{2147483648}), 0, rt::kOverflow, rt::kOverflow},
      {Variant(-2147483648.5), -2147483648, rt::kOverflow, 0},
      {Variant(2147483647.5), 0, rt::kOverflow, rt::kOverflow},
      {Variant("1e400"), 0, rt::kOverflow, rt::kOverflow},
      {Variant(Date::FromParts(2024, 3, 5)), 45356, rt::kOverflow, 0},
      {Variant("abc"), 0, rt::kTypeMismatch, rt::kTypeMismatch},
      {Variant(""), 0, rt::kTypeMismatch, rt::kTypeMismatch},
      {Variant::Null(), 0, rt::kInvalidUseOfNull, rt::kInvalidUseOfNull},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string input = "'" + c.value.ToText() + "'";
    EXPECT_EQ(ErrorCode([&] { c.value.ToInt16(); }), c.int16_error) << input;
    EXPECT_EQ(ErrorCode([&] { c.value.ToInt32(); }), c.int32_error) << input;
    if (c.int16_error == 0) {
      EXPECT_EQ(c.value.ToInt16(), c.expected) << input;
    }
    if (c.int32_error == 0) {
      EXPECT_EQ(c.value.ToInt32(), c.expected) << input;
    }
  }
}

}  // namespace
}  // namespace zsepa
