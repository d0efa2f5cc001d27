#include "format/formatting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>
#include <utility>

namespace zsepa {
namespace {

const Date kMarch5 = Date::FromParts(2024, 3, 5);
const Date kMarch5Time = Date::FromParts(2024, 3, 5, 9, 7, 3);

using Cases = std::pair<Variant, std::string>[];

// clang-format off
TEST(FormattingTest, NullHandling) {
  EXPECT_EQ(ValoreNonNullo(Variant::Null(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo(Variant(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo("", 0), Variant(""));
  EXPECT_EQ(ValoreNonNullo(0, 5), Variant(0));
  for (const auto& [value, text] : Cases{
           {Variant::Null(), ""}, {Variant(), ""}, {Variant("  AB  "), "  AB"},
           {Variant("AB\t "), "AB\t"}, {Variant(-1.5), "-1.5"},
           {Variant(kMarch5), "2024-03-05"}}) {
    EXPECT_EQ(TestoNonNullo(value), text) << "'" << value.ToText() << "'";
  }
}

// FormattaData gives the first 10 characters, FormattaDataOraFuso adds a
// constant suffix (no summer offset in July).
TEST(FormattingTest, DateFormatters) {
  for (const auto& [value, data_ora] : Cases{
           {Variant(kMarch5), "2024-03-05T00:00:00"},
           {Variant(kMarch5Time), "2024-03-05T09:07:03"},
           {Variant(Date::FromParts(2024, 7, 5, 9, 7, 3)), "2024-07-05T09:07:03"},
           {Variant(Date::FromParts(1, 1, 1, 23, 59, 59)), "0001-01-01T23:59:59"},
           {Variant("2024-03-05 09:07:03"), "2024-03-05T09:07:03"},
           {Variant("05/03/2024"), "2024-03-05T00:00:00"}, {Variant("2023-02-29"), ""},
           {Variant("abc"), ""}, {Variant(45356), ""}, {Variant::Null(), ""}}) {
    const std::string input = "'" + value.ToText() + "'";
    EXPECT_EQ(FormattaData(value), data_ora.substr(0, 10)) << input;
    EXPECT_EQ(FormattaDataOra(value), data_ora) << input;
    EXPECT_EQ(FormattaDataOraFuso(value),
              data_ora.empty() ? "" : data_ora + ".000+01:00") << input;
  }
}

TEST(FormattingTest, FormattaImporto) {
  for (const auto& [value, text] : Cases{
           {Variant(1234.5), "1234.50"}, {Variant(0), "0.00"}, {Variant(-7), "-7.00"},
           {Variant(1234567890.1), "1234567890.10"}, {Variant(0.1 + 0.2), "0.30"},
           {Variant(-0.004), "0.00"}, {Variant(1e15), "1000000000000000.00"},
           {Variant("12,5"), "12.50"}, {Variant::Null(), ""}, {Variant(), ""},
           {Variant("x"), ""}, {Variant("1e400"), ""}, {Variant(kMarch5), ""}}) {
    EXPECT_EQ(FormattaImporto(value), text) << "'" << value.ToText() << "'";
  }
}

// Malformed UTF-8 gives one "?" per byte.
TEST(FormattingTest, NormalizzaTestoReplacesEachCharacterOnce) {
  using Texts = std::pair<std::string, std::string>[];
  for (const auto& [text, expected] : Texts{
           {"Caffè & Co", "Caff? e Co"}, {"€5", "?5"}, {"😀!", "?!"},
           {"a\tb\r\nc", "a?b??c"}, {" ~\x7F", " ~\x7F"}, {"A&&B", "AeeB"},
           {"\xC3", "?"}, {"\xC3\xA8\xA8", "??"}}) {
    EXPECT_EQ(NormalizzaTesto(text), expected) << text;
  }
}

TEST(FormattingTest, PictureFormats) {
  using Numbers = std::tuple<Variant, int, std::string>[];
  for (const auto& [value, digits, text] : Numbers{
           {Variant(3069), 5, "03069"}, {Variant(-15), 7, "-0000015"},
           {Variant(12345678), 7, "12345678"}, {Variant(2.5), 3, "003"},
           {Variant("42"), 5, "00042"}, {Variant("X3069"), 5, "X3069"},
           {Variant(""), 5, ""}, {Variant::Null(), 3, ""}}) {
    EXPECT_EQ(FormatNumberPicture(value, digits), text)
        << "'" << value.ToText() << "' " << digits;
  }
  // Serials are days from 1899-12-30; a negative one counts whole days back.
  for (const auto& [value, text] : Cases{
           {Variant(0), "1899-12-30"}, {Variant(45356.75), "2024-03-05"},
           {Variant(-1.25), "1899-12-29"}, {Variant(kMarch5Time), "2024-03-05"},
           {Variant("2024-03-05"), "2024-03-05"}, {Variant("45356"), ""},
           {Variant(1e300), ""}, {Variant::Null(), ""}}) {
    std::string plain = text;
    std::erase(plain, '-');
    EXPECT_EQ(FormatDatePicture(value, "-"), text) << value.ToText();
    EXPECT_EQ(FormatDatePicture(value, ""), plain) << value.ToText();
  }
}
// clang-format on

// Hosts run with locales that write "," as decimal separator; nothing that
// the component writes or reads may change with the locale.
TEST(FormattingTest, CommaDecimalLocaleChangesNothing) {
  const char* chosen = nullptr;
  for (const char* name : {"it_IT.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
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
  EXPECT_EQ(FormatNumberPicture(3069.4, 5), "03069") << chosen;
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace zsepa
