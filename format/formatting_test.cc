#include "format/formatting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>
#include <utility>

#include "base/testing/error_code.h"
#include "format/msg_id.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

using testing::ErrorCode;
using Case = std::pair<Variant, std::string>;

const Date kMarch5 = Date::FromParts(2024, 3, 5);

TEST(FormattingTest, NullHandling) {
  EXPECT_EQ(ValoreNonNullo(Variant::Null(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo(Variant(), 0), Variant(0));
  EXPECT_EQ(ValoreNonNullo("", 0), Variant(""));
  EXPECT_EQ(ValoreNonNullo(0, 5), Variant(0));
  const Case cases[] = {{Variant::Null(), ""}, {Variant(), ""},
                        {"  AB  ", "  AB"},    {"AB\t ", "AB\t"},
                        {-1.5, "-1.5"},        {kMarch5, "2024-03-05"}};
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(TestoNonNullo(value), text) << "'" << value.ToText() << "'";
  }
}

// FormattaData gives the first 10 characters, FormattaDataOraFuso adds a
// constant suffix (no summer offset in July).
TEST(FormattingTest, DateFormatters) {
  // clang-format off
  const Case cases[] = {
      {kMarch5, "2024-03-05T00:00:00"},
      {Date::FromParts(2024, 7, 5, 9, 7, 3), "2024-07-05T09:07:03"},
      {Date::FromParts(1, 1, 1, 23, 59, 59), "0001-01-01T23:59:59"},
      {"2024-03-05 09:07:03", "2024-03-05T09:07:03"},
      {"05/03/2024", "2024-03-05T00:00:00"}, {"2023-02-29", ""}, {45356, ""},
      {"2024-03-05 09:07", "2024-03-05T09:07:00"},
      {"05/03/2024 09:07:03", "2024-03-05T09:07:03"},
      {Variant::Null(), ""}};
  // clang-format on
  for (const auto& [value, data_ora] : cases) {
    const std::string input = "'" + value.ToText() + "'";
    EXPECT_EQ(FormattaData(value), data_ora.substr(0, 10)) << input;
    EXPECT_EQ(FormattaDataOra(value), data_ora) << input;
    EXPECT_EQ(FormattaDataOraFuso(value),
              data_ora.empty() ? "" : data_ora + ".000+01:00")
        << input;
  }
}

TEST(FormattingTest, FormattaImporto) {
  // Rounded as the platform rounds: to 15 significant digits, then half
  // away from zero, so the decimal value as written decides, not its binary
  // neighbour (2.675 is 2.67499999999999982236431605997495353221893310546875).
  const Case cases[] = {
      {1234.5, "1234.50"},
      {0, "0.00"},
      {1234567890.1, "1234567890.10"},
      {-7, "-7.00"},
      {0.1 + 0.2, "0.30"},
      {-0.004, "0.00"},
      {-0.001, "0.00"},
      {1e15, "1000000000000000.00"},
      {2.675, "2.68"},
      {0.125, "0.13"},
      {1.005, "1.01"},
      {-0.125, "-0.13"},
      {1.115, "1.12"},
      {3.8049999999999997, "3.81"},
      {0.005, "0.01"},
      {999999999999.995, "1000000000000.00"},
      {0.994999999999999, "0.99"},
      {1e-300, "0.00"},
      {1.7976931348623157e308,
       std::string("179769313486232") + std::string(294, '0') + ".00"},
      {"12,5", "12.50"},
      {Variant::Null(), ""},
      {Variant(), ""},
      {"x", ""},
      {"1e400", ""},
      {kMarch5, ""}};
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(FormattaImporto(value), text) << "'" << value.ToText() << "'";
  }
}

// One "?" per UTF-16 unit (two for an emoji); malformed UTF-8 one per byte.
TEST(FormattingTest, NormalizzaTestoReplacesEachCharacterOnce) {
  const std::pair<std::string, std::string> cases[] = {
      {"Caffè & Co", "Caff? e Co"},
      {"€5", "?5"},
      {"😀!", "?\?!"},
      {"a😀b", "a??b"},
      {"a\tb\r\nc", "a?b??c"},
      {" ~\x7F", " ~\x7F"},
      {"A&&B", "AeeB"},
      {"\xC3", "?"},
      {"\xC3\xA8\xA8", "??"}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(NormalizzaTesto(text), expected) << text;
  }
}

TEST(FormattingTest, PictureFormats) {
  const std::tuple<Variant, int, std::string> numbers[] = {
      {-15, 7, "-0000015"},
      {12345678, 7, "12345678"},
      {2.5, 3, "003"},
      {-2.5, 3, "-003"},
      {2.4999999999999996, 3, "003"},
      {-0.4, 3, "000"},
      {1e20, 3, "100000000000000000000"},
      {"42", 5, "00042"},
      {"X3069", 5, "X3069"},
      {"", 5, ""},
      {Variant::Null(), 3, ""}};
  for (const auto& [value, digits, text] : numbers) {
    EXPECT_EQ(FormatNumberPicture(value, digits), text)
        << "'" << value.ToText() << "' " << digits;
  }
  // Serials are days from 1899-12-30; a negative one counts whole days back.
  // clang-format off
  const Case dates[] = {
      {0, "1899-12-30"}, {45356.75, "2024-03-05"}, {-1.25, "1899-12-29"},
      {kMarch5, "2024-03-05"}, {"2024-03-05", "2024-03-05"}, {"45356", ""},
      {1e300, ""}, {Variant::Null(), ""}};
  // clang-format on
  for (const auto& [value, text] : dates) {
    std::string plain = text;
    std::erase(plain, '-');
    EXPECT_EQ(FormatDatePicture(value, "-"), text) << value.ToText();
    EXPECT_EQ(FormatDatePicture(value, ""), plain) << value.ToText();
  }
}

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

TEST(MsgIdTest, ComposeAndDecodeBack) {
  const std::tuple<int32_t, int16_t, int16_t, std::string, bool> cases[] = {
      {15, 2024, 12, "0000015202412", true},
      {15, 2024, 100, "00000152024100", false},  // decodes kind 10
      {12345678, 2024, 1, "1234567820241", false},
      {15, 99, 1, "000001500991", true},
      {-15, 2024, 1, "-000001520241", false}};
  for (const auto& [numero, anno, tipo, text, round_trip] : cases) {
    EXPECT_EQ(ComposeMsgId(numero, anno, tipo), text);
    int32_t n = 0;
    int16_t a = 0, t = -1;
    DecodificaMsgId(text, n, a, t);
    EXPECT_EQ(std::tie(n, a, t) == std::tie(numero, anno, tipo), round_trip)
        << text;
  }
}

// The kind enters as 7: where it stays 7 the text did not set it. Positions
// count characters; "rid..." is the plain form ("rid2024" is no number).
TEST(MsgIdTest, DecodeBothLayoutsAndRaiseOnOverflow) {
  // clang-format off
  const std::tuple<std::string, int32_t, int16_t, int16_t> cases[] = {
      {"0000015202410099", 15, 2024, 10}, {"1234567820241", 1234567, 8202, 41},
      {"00000152024", 15, 2024, 7}, {"", 0, 0, 7}, {"0000015abcd1", 15, 0, 1},
      {"RID20240000015", 15, 2024, 1}, {"RID2024", 0, 2024, 7},
      {"RIDabcd15", 15, 0, 7}, {"RID2024  15", 15, 2024, 1},
      {"rid20240000015", 0, 0, 1}, {"èèèèèèè202401", 0, 2024, 1}};
  // clang-format on
  for (const auto& [text, numero, anno, tipo] : cases) {
    int32_t n = -1;
    int16_t a = -1, t = 7;
    DecodificaMsgId(text, n, a, t);
    EXPECT_EQ(std::tie(n, a, t), std::tie(numero, anno, tipo)) << text;
  }
  for (const std::string text :
       {"RID202412345678901", "RID1e10000015", "1e99999202401"}) {
    int32_t n = 0;
    int16_t a = 0, t = 0;
    EXPECT_EQ(ErrorCode([&] { DecodificaMsgId(text, n, a, t); }), rt::kOverflow)
        << text;
  }
}

}  // namespace
}  // namespace zsepa
