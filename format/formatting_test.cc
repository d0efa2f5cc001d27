#include "format/formatting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace zsepa {
namespace {

const Date kMarch5 = Date::FromParts(2024, 3, 5);
const Date kMarch5Time = Date::FromParts(2024, 3, 5, 9, 7, 3);
const Date kJuly5Time = Date::FromParts(2024, 7, 5, 9, 7, 3);

TEST(FormattingTest, NullHandling) {
  EXPECT_EQ(ValoreNonNullo(Variant::Null(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo(Variant(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo("", 0), Variant(""));
  EXPECT_EQ(ValoreNonNullo(0, 5), Variant(0));
  const struct {
    Variant value;
    std::string expected;
  } cases[] = {
      // clang-format off
      {Variant::Null(), ""}, {Variant(), ""}, {Variant("  AB  "), "  AB"},
      {Variant("AB\t "), "AB\t"}, {Variant("   "), ""}, {Variant(-1.5), "-1.5"},
      {Variant(kMarch5), "2024-03-05"},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TestoNonNullo(c.value), c.expected)
        << "'" << c.value.ToText() << "'";
  }
}

TEST(FormattingTest, DateFormatters) {
  const struct {
    Variant value;
    std::string data_ora;  // FormattaData gives its first 10 characters
  } cases[] = {
      // clang-format off
      {Variant(kMarch5), "2024-03-05T00:00:00"},
      {Variant(kMarch5Time), "2024-03-05T09:07:03"},
      {Variant(kJuly5Time), "2024-07-05T09:07:03"},  // no summer offset
      {Variant(Date::FromParts(1, 1, 1, 23, 59, 59)), "0001-01-01T23:59:59"},
      {Variant("2024-03-05 09:07:03"), "2024-03-05T09:07:03"},
      {Variant("05/03/2024"), "2024-03-05T00:00:00"},
      {Variant("2023-02-29"), ""}, {Variant("2024-03-05 24:00:00"), ""},
      {Variant("abc"), ""}, {Variant(45356), ""}, {Variant::Null(), ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string input = "'" + c.value.ToText() + "'";
    EXPECT_EQ(FormattaData(c.value), c.data_ora.substr(0, 10)) << input;
    EXPECT_EQ(FormattaDataOra(c.value), c.data_ora) << input;
    EXPECT_EQ(FormattaDataOraFuso(c.value),
              c.data_ora.empty() ? "" : c.data_ora + ".000+01:00")
        << input;
  }
}

TEST(FormattingTest, FormattaImporto) {
  const struct {
    Variant value;
    std::string expected;
  } cases[] = {
      // clang-format off
      {Variant(1234.5), "1234.50"}, {Variant(0), "0.00"}, {Variant(-7), "-7.00"},
      {Variant(1234567890.1), "1234567890.10"}, {Variant(0.1 + 0.2), "0.30"},
      {Variant(120.499), "120.50"}, {Variant(-0.004), "0.00"},
      {Variant(1e15), "1000000000000000.00"},
      {Variant(int64_t{-9000000000}), "-9000000000.00"},
      {Variant("12,5"), "12.50"}, {Variant(" 75 "), "75.00"},
      {Variant::Null(), ""}, {Variant(), ""}, {Variant("x"), ""},
      {Variant("1e400"), ""}, {Variant(kMarch5), ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormattaImporto(c.value), c.expected)
        << "'" << c.value.ToText() << "'";
  }
}

// Hosts run with locales that write "," as decimal separator; nothing that
// the component writes or reads may change with the locale.
TEST(FormattingTest, CommaDecimalLocaleChangesNothing) {
  const char* chosen = nullptr;
  for (const char* name : {"it_IT.UTF-8", "it_IT.utf8", "de_DE.UTF-8",
                           "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr &&
        std::string(std::localeconv()->decimal_point) == ",") {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no comma-decimal locale installed (see locale -a)";
  }
  EXPECT_EQ(FormattaImporto(1234.5), "1234.50") << chosen;
  EXPECT_EQ(FormattaImporto("1234.5"), "1234.50") << chosen;
  EXPECT_EQ(TestoNonNullo(1.25), "1.25") << chosen;
  EXPECT_EQ(Variant("1,5").ToDouble(), 1.5) << chosen;
  EXPECT_EQ(Variant("2.5").ToInt16(), 2) << chosen;
  EXPECT_EQ(FormatNumberPicture(3069.4, 5), "03069") << chosen;
  std::setlocale(LC_ALL, "C");
}

TEST(FormattingTest, NormalizzaTestoReplacesEachCharacterOnce) {
  const struct {
    std::string text, expected;
  } cases[] = {
      // clang-format off
      {"Caffè & Co", "Caff? e Co"}, {"Müller & Söhne", "M?ller e S?hne"},
      {"€5", "?5"}, {"😀!", "?!"}, {"a\tb\r\nc", "a?b??c"},
      {" ~\x7F", " ~\x7F"}, {"A&&B", "AeeB"}, {"", ""},
      {"\xC3", "?"}, {"\xC3\xA8\xA8", "??"},  // malformed: one "?" per byte
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizzaTesto(c.text), c.expected) << c.text;
  }
}

TEST(FormattingTest, FormatNumberPicture) {
  const struct {
    Variant value;
    int digits;
    std::string expected;
  } cases[] = {
      // clang-format off
      {Variant(3069), 5, "03069"}, {Variant(-15), 7, "-0000015"},
      {Variant(12345678), 7, "12345678"}, {Variant(2.5), 3, "003"},
      {Variant(-2.5), 3, "-003"}, {Variant(0.4), 3, "000"},
      {Variant("42"), 5, "00042"}, {Variant("X3069"), 5, "X3069"},
      {Variant(""), 5, ""}, {Variant::Null(), 3, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumberPicture(c.value, c.digits), c.expected)
        << "'" << c.value.ToText() << "' " << c.digits;
  }
}

TEST(FormattingTest, FormatDatePicture) {
  const struct {
    Variant value;
    std::string expected;  // with "-"; without a separator the same digits
  } cases[] = {
      // clang-format off
      {Variant(0), "1899-12-30"}, {Variant(int16_t{2}), "1900-01-01"},
      {Variant(45356.75), "2024-03-05"}, {Variant(-1.25), "1899-12-29"},
      {Variant(kMarch5Time), "2024-03-05"}, {Variant("2024-03-05"), "2024-03-05"},
      {Variant("45356"), ""}, {Variant("abc"), ""}, {Variant(1e300), ""},
      {Variant(-1e9), ""}, {Variant::Null(), ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string input = "'" + c.value.ToText() + "'";
    std::string plain = c.expected;
    std::erase(plain, '-');
    EXPECT_EQ(FormatDatePicture(c.value, "-"), c.expected) << input;
    EXPECT_EQ(FormatDatePicture(c.value, ""), plain) << input;
  }
}

}  // namespace
}  // namespace zsepa
