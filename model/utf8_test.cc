#include "model/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace zsepa {
namespace {

// "è" is 2 bytes, "€" 3, "😀" 4; malformed bytes (a lone lead byte, an
// overlong form, a surrogate, a code point above U+10FFFF) count one
// character each.
TEST(Utf8Test, CountsAndCutsCodePoints) {
  const struct {
    std::string text;
    size_t length;
    std::string left2, fit4;
    bool valid;
  } cases[] = {
      // clang-format off
      {"", 0, "", "    ", true},
      {"Caffè", 5, "Ca", "Caff", true},
      {"èè€", 3, "èè", "èè€ ", true},
      {"😀x", 2, "😀x", "😀x  ", true},
      {"a\xC3", 2, "a\xC3", "a\xC3  ", false},
      {"\xC0\xAFz", 3, "\xC0\xAF", "\xC0\xAFz ", false},
      {"\xED\xA0\x80", 3, "\xED\xA0", "\xED\xA0\x80 ", false},
      {"\xF4\x90\x80\x80", 4, "\xF4\x90", "\xF4\x90\x80\x80", false},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8::Length(c.text), c.length) << c.text;
    EXPECT_EQ(utf8::Left(c.text, 2), c.left2) << c.text;
    EXPECT_EQ(utf8::FitRight(c.text, 4), c.fit4) << c.text;
    EXPECT_EQ(utf8::IsValid(c.text), c.valid) << c.text;
  }
  const std::string text = "è\xFF€";
  size_t pos = 0;
  EXPECT_EQ(utf8::Next(text, pos), U'è');
  EXPECT_EQ(utf8::Next(text, pos), U'\uFFFD');
  EXPECT_EQ(utf8::Next(text, pos), U'€');
}

}  // namespace
}  // namespace zsepa
