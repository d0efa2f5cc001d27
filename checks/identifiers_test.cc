#include "checks/identifiers.h"

#include <gtest/gtest.h>

#include <string_view>

#include "checks/calendar.h"

namespace zsepa::checks {
namespace {

struct Case {
  std::string_view value;
  Verdict verdict;
};

TEST(IdentifiersTest, Ibans) {
  const Case cases[] = {
      {"IT60X0542811101000000123456", Verdict::kValid},
      {"SM86U0322509800000000270100", Verdict::kValid},
      {"DE89370400440532013000", Verdict::kValid},
      {"FR1420041010050500013M02606", Verdict::kValid},
      {"GB29NWBK60161331926819", Verdict::kValid},
      {"CH9300762011623852957", Verdict::kValid},
      {"NL91ABNA0417164300", Verdict::kValid},
      {"NO9386011117947", Verdict::kValid},  // the shortest
      {"IT60X0542811101000000123457", Verdict::kCheckDigits},
      {"DE89370400440532013001", Verdict::kCheckDigits},
      {"GB92NWBK60161331926819", Verdict::kCheckDigits},
      {"IT60X054281110100000012345", Verdict::kLength},
      {"NL91ABNA04171643001", Verdict::kLength},
      {"US64SVBKUS6S3300958879", Verdict::kCountry},
      {"it60x0542811101000000123456", Verdict::kForm},
      {"IT60 X054 2811 1010 0000 0123 456", Verdict::kForm},
      {"ITX0X0542811101000000123456", Verdict::kForm},
      {"IT6", Verdict::kForm},
      // Italian BBAN: mod 97 right, CIN wrong (a mistyped account), a
      // letter in the ABI, a digit for the CIN.
      {"IT61X0306909606100000012345", Verdict::kNationalCheck},
      {"IT26X0A42811101000000123456", Verdict::kNationalForm},
      {"IT2910542811101000000123456", Verdict::kNationalForm},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckIban(c.value), c.verdict) << c.value;
  }
  EXPECT_EQ(ItalianCin("0542811101000000123456"), 'X');
}

TEST(IdentifiersTest, Bics) {
  const Case cases[] = {
      {"BCITITMMXXX", Verdict::kValid}, {"COBADEFF", Verdict::kValid},
      {"DEUTDEFF500", Verdict::kValid}, {"NWBKGB2L", Verdict::kValid},
      {"COBADEF0", Verdict::kValid},    {"BCITITM", Verdict::kLength},
      {"COBADEFFXX", Verdict::kLength}, {"BCITXXMM", Verdict::kCountry},
      {"BCIT1TMM", Verdict::kForm},     {"COBADE1F", Verdict::kForm},
      {"COBADEFO", Verdict::kForm},     {"cobadeff", Verdict::kForm},
      {"COBADEFF-XX", Verdict::kForm},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckBic(c.value), c.verdict) << c.value;
  }
}

TEST(IdentifiersTest, ItalianTaxIdentifiers) {
  const Case cases[] = {
      {"RSSMRA85T10A562S", Verdict::kValid},
      // Homocode: digits of place and birth date replaced by letters.
      {"RSSMRA85T10A56NH", Verdict::kValid},
      {"RSSMRA8RT1LA56NW", Verdict::kValid},
      {"RSSMRA85T10A562T", Verdict::kNationalCheck},
      {"RSSMRA85T10A56NS", Verdict::kNationalCheck},
      {"RSSMRA85Z10A562S", Verdict::kForm},  // no month Z
      {"RSSMRA85T35A562S", Verdict::kForm},  // day 35
      {"RSSMRA85T1AA562S", Verdict::kForm},  // A is no homocode digit
      {"12345678903", Verdict::kValid},
      {"IT12345678903", Verdict::kValid},
      {"00743110157", Verdict::kValid},
      {"12345678901", Verdict::kNationalCheck},
      {"01234567890", Verdict::kNationalCheck},
      {"1234567890", Verdict::kLength},
      {"1234567890A", Verdict::kForm},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckItalianTaxId(c.value), c.verdict) << c.value;
  }
}

TEST(IdentifiersTest, CreditorIdentifiersAndCuc) {
  const Case cases[] = {
      {"IT86ZZZ01234567890", Verdict::kValid},
      {"DE98ZZZ09999999999", Verdict::kValid},
      {"IT86ABC01234567890", Verdict::kValid},  // the business code is free
      {"IT87ZZZ01234567890", Verdict::kCheckDigits},
      {"IT86ZZZ0123456789", Verdict::kLength},
      {"IT86 ZZZ 01234567890", Verdict::kForm},
      {"QQ86ZZZ01234567890", Verdict::kCountry},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckCreditorIdentifier(c.value), c.verdict) << c.value;
  }
  EXPECT_TRUE(IsCuc("12345678"));
  EXPECT_TRUE(IsCuc("A1B2C3D4"));
  EXPECT_FALSE(IsCuc("1234567"));
  EXPECT_FALSE(IsCuc("1234567$"));
}

TEST(CalendarTest, EasterAndClosingDays) {
  const struct {
    int year, month, day;
  } easter[] = {{2000, 4, 23}, {2008, 3, 23}, {2019, 4, 21},
                {2024, 3, 31}, {2025, 4, 20}, {2038, 4, 25}};
  for (const auto& e : easter) {
    EXPECT_EQ(EasterSunday(e.year), Date::FromParts(e.year, e.month, e.day))
        << e.year;
  }
  const struct {
    int month, day;
    bool closed;
  } days[] = {{3, 28, false}, {3, 29, true},  {3, 30, true},   {3, 31, true},
              {4, 1, true},   {4, 2, false},  {5, 1, true},    {12, 24, false},
              {12, 25, true}, {12, 26, true}, {12, 27, false}, {1, 1, true}};
  for (const auto& d : days) {
    EXPECT_EQ(IsTargetClosingDay(Date::FromParts(2024, d.month, d.day, 10)),
              d.closed)
        << d.month << "-" << d.day;
  }
}

}  // namespace
}  // namespace zsepa::checks
