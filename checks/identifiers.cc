#include "checks/identifiers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace zsepa::checks {
namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsUpper(c) || IsDigit(c); }

// ISO 3166-1 alpha-2, and XK.
constexpr std::string_view kCountries =
    "AD AE AF AG AI AL AM AO AQ AR AS AT AU AW AX AZ BA BB BD BE BF BG BH BI "
    "BJ BL BM BN BO BQ BR BS BT BV BW BY BZ CA CC CD CF CG CH CI CK CL CM CN "
    "CO CR CU CV CW CX CY CZ DE DJ DK DM DO DZ EC EE EG EH ER ES ET FI FJ FK "
    "FM FO FR GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GS GT GU GW GY HK HM "
    "HN HR HT HU ID IE IL IM IN IO IQ IR IS IT JE JM JO JP KE KG KH KI KM KN "
    "KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD ME MF MG MH MK "
    "ML MM MN MO MP MQ MR MS MT MU MV MW MX MY MZ NA NC NE NF NG NI NL NO NP "
    "NR NU NZ OM PA PE PF PG PH PK PL PM PN PR PS PT PW PY QA RE RO RS RU RW "
    "SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR SS ST SV SX SY SZ TC TD TF "
    "TG TH TJ TK TL TM TN TO TR TT TV TW TZ UA UG UM US UY UZ VA VC VE VG VI "
    "VN VU WF WS XK YE YT ZA ZM ZW";

// Country and IBAN length, from the IBAN registry.
struct IbanCountry {
  char code[3];
  int length;
};
constexpr IbanCountry kIbanCountries[] = {
    {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20},
    {"BE", 16}, {"BG", 22}, {"BH", 22}, {"BI", 27}, {"BR", 29}, {"BY", 28},
    {"CH", 21}, {"CR", 22}, {"CY", 28}, {"CZ", 24}, {"DE", 22}, {"DJ", 27},
    {"DK", 18}, {"DO", 28}, {"EE", 20}, {"EG", 29}, {"ES", 24}, {"FI", 18},
    {"FK", 18}, {"FO", 18}, {"FR", 27}, {"GB", 22}, {"GE", 22}, {"GI", 23},
    {"GL", 18}, {"GR", 27}, {"GT", 28}, {"HN", 28}, {"HR", 21}, {"HU", 28},
    {"IE", 22}, {"IL", 23}, {"IQ", 23}, {"IS", 26}, {"IT", 27}, {"JO", 30},
    {"KW", 30}, {"KZ", 20}, {"LB", 28}, {"LC", 32}, {"LI", 21}, {"LT", 20},
    {"LU", 20}, {"LV", 21}, {"LY", 25}, {"MC", 27}, {"MD", 24}, {"ME", 22},
    {"MK", 19}, {"MN", 20}, {"MR", 27}, {"MT", 31}, {"MU", 30}, {"NI", 28},
    {"NL", 18}, {"NO", 15}, {"OM", 23}, {"PK", 24}, {"PL", 28}, {"PS", 29},
    {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22}, {"RU", 33}, {"SA", 24},
    {"SC", 31}, {"SD", 18}, {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27},
    {"SO", 23}, {"ST", 25}, {"SV", 28}, {"TL", 23}, {"TN", 24}, {"TR", 26},
    {"UA", 29}, {"VA", 22}, {"VG", 24}, {"XK", 20}, {"YE", 30},
};

// ISO 7064 mod 97-10 of letters and digits, letters counting 10 to 35.
// Digits gather in a 64-bit number, reduced only before it could overflow.
int Mod97(std::string_view text, int remainder = 0) {
  uint64_t number = static_cast<uint64_t>(remainder);
  for (const char c : text) {
    if (number >= 100000000000000ULL) number %= 97;
    if (IsDigit(c)) {
      number = number * 10 + static_cast<uint64_t>(c - '0');
    } else {
      number = number * 100 + static_cast<uint64_t>(c - 'A' + 10);
    }
  }
  return static_cast<int>(number % 97);
}

// A table of two capital letters: index of the first times 26 plus the
// second.
template <typename T>
using LetterPairs = std::array<T, 26 * 26>;

constexpr int PairIndex(char first, char second) {
  return (first - 'A') * 26 + (second - 'A');
}

constexpr LetterPairs<bool> kCountryTable = [] {
  LetterPairs<bool> table{};
  for (size_t at = 0; at + 1 < kCountries.size(); at += 3) {
    table[PairIndex(kCountries[at], kCountries[at + 1])] = true;
  }
  return table;
}();

constexpr LetterPairs<uint8_t> kIbanLengthTable = [] {
  LetterPairs<uint8_t> table{};
  for (const IbanCountry& entry : kIbanCountries) {
    table[PairIndex(entry.code[0], entry.code[1])] =
        static_cast<uint8_t>(entry.length);
  }
  return table;
}();

// The values of the characters in odd places (counted from 1) of the
// Italian check characters; a digit counts as the letter in its place
// ('0' as 'A').
constexpr std::array<int, 26> kOddValues = {1,  0,  5,  7,  9,  13, 15, 17, 19,
                                            21, 2,  4,  18, 20, 11, 3,  6,  8,
                                            12, 14, 16, 10, 22, 25, 24, 23};

// The check letter of the CIN and of the codice fiscale: odd places by
// kOddValues, even places by their own value, modulo 26.
char ItalianCheckLetter(std::string_view text) {
  int sum = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const int value = IsDigit(text[i]) ? text[i] - '0' : text[i] - 'A';
    sum += i % 2 == 0 ? kOddValues[value] : value;
  }
  return static_cast<char>('A' + sum % 26);
}

// The homocode letters that stand for the digits 0 to 9.
constexpr std::string_view kHomocode = "LMNPQRSTUV";
constexpr std::string_view kMonths = "ABCDEHLMPRST";

// The digit a tax-code place holds, the homocode letters read back; -1 for
// anything else.
int TaxCodeDigit(char c) {
  if (IsDigit(c)) return c - '0';
  const size_t at = kHomocode.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

bool IsCountryCode(std::string_view code) {
  return code.size() == 2 && IsUpper(code[0]) && IsUpper(code[1]) &&
         kCountryTable[PairIndex(code[0], code[1])];
}

int IbanLength(std::string_view country) {
  if (country.size() != 2 || !IsUpper(country[0]) || !IsUpper(country[1])) {
    return 0;
  }
  return kIbanLengthTable[PairIndex(country[0], country[1])];
}

char ItalianCin(std::string_view abi_cab_account) {
  if (abi_cab_account.size() != 22 ||
      !std::all_of(abi_cab_account.begin(), abi_cab_account.end(),
                   [](char c) { return IsAlnum(c); })) {
    return '\0';
  }
  return ItalianCheckLetter(abi_cab_account);
}

Verdict CheckIban(std::string_view iban) {
  if (iban.size() < 5 || !IsUpper(iban[0]) || !IsUpper(iban[1]) ||
      !IsDigit(iban[2]) || !IsDigit(iban[3]) ||
      !std::all_of(iban.begin(), iban.end(),
                   [](char c) { return IsAlnum(c); })) {
    return Verdict::kForm;
  }
  const std::string_view country = iban.substr(0, 2);
  const int length = IbanLength(country);
  if (length == 0) return Verdict::kCountry;
  if (static_cast<int>(iban.size()) != length) return Verdict::kLength;
  if (Mod97(iban.substr(0, 4), Mod97(iban.substr(4))) != 1) {
    return Verdict::kCheckDigits;
  }
  if (country == "IT" || country == "SM") {
    const std::string_view bank_codes = iban.substr(5, 10);
    if (!IsUpper(iban[4]) || !std::all_of(bank_codes.begin(), bank_codes.end(),
                                          [](char c) { return IsDigit(c); })) {
      return Verdict::kNationalForm;
    }
    if (ItalianCin(iban.substr(5)) != iban[4]) return Verdict::kNationalCheck;
  }
  return Verdict::kValid;
}

Verdict CheckBic(std::string_view bic) {
  if (bic.size() != 8 && bic.size() != 11) return Verdict::kLength;
  const auto letters = bic.substr(0, 6);
  if (!std::all_of(letters.begin(), letters.end(),
                   [](char c) { return IsUpper(c); }) ||
      !(IsUpper(bic[6]) || (bic[6] >= '2' && bic[6] <= '9')) ||
      !(IsAlnum(bic[7]) && bic[7] != 'O') ||
      !std::all_of(bic.begin() + 8, bic.end(),
                   [](char c) { return IsAlnum(c); })) {
    return Verdict::kForm;
  }
  return IsCountryCode(bic.substr(4, 2)) ? Verdict::kValid : Verdict::kCountry;
}

Verdict CheckTaxCode(std::string_view code) {
  if (code.size() != 16) return Verdict::kLength;
  // Letters of name and surname, digits (or homocode letters) of year, day
  // and place, the month's letter, the place's letter and the check letter.
  static constexpr std::string_view kShape = "LLLLLLDDMDDLDDDL";
  for (size_t i = 0; i < kShape.size(); ++i) {
    const char c = code[i];
    const bool ok = kShape[i] == 'L'   ? IsUpper(c)
                    : kShape[i] == 'M' ? kMonths.find(c) != kMonths.npos
                                       : TaxCodeDigit(c) >= 0;
    if (!ok) return Verdict::kForm;
  }
  // The day, with 40 added for women.
  const int day = TaxCodeDigit(code[9]) * 10 + TaxCodeDigit(code[10]);
  if (day < 1 || (day > 31 && day < 41) || day > 71) return Verdict::kForm;
  return ItalianCheckLetter(code.substr(0, 15)) == code[15]
             ? Verdict::kValid
             : Verdict::kNationalCheck;
}

Verdict CheckVatNumber(std::string_view number) {
  if (number.size() == 13 && number.substr(0, 2) == "IT") {
    number.remove_prefix(2);
  }
  if (number.size() != 11) return Verdict::kLength;
  if (!std::all_of(number.begin(), number.end(),
                   [](char c) { return IsDigit(c); })) {
    return Verdict::kForm;
  }
  int sum = 0;
  for (size_t i = 0; i < 10; ++i) {
    int digit = number[i] - '0';
    if (i % 2 == 1) {
      digit *= 2;
      if (digit > 9) digit -= 9;
    }
    sum += digit;
  }
  return (10 - sum % 10) % 10 == number[10] - '0' ? Verdict::kValid
                                                  : Verdict::kNationalCheck;
}

Verdict CheckItalianTaxId(std::string_view value) {
  return value.size() == 16 ? CheckTaxCode(value) : CheckVatNumber(value);
}

Verdict CheckCreditorIdentifier(std::string_view identifier) {
  if (identifier.size() < 8 || identifier.size() > 35 ||
      !IsUpper(identifier[0]) || !IsUpper(identifier[1]) ||
      !IsDigit(identifier[2]) || !IsDigit(identifier[3]) ||
      !std::all_of(identifier.begin(), identifier.end(),
                   [](char c) { return IsAlnum(c); })) {
    return Verdict::kForm;
  }
  const std::string_view country = identifier.substr(0, 2);
  if (!IsCountryCode(country)) return Verdict::kCountry;
  const std::string_view national = identifier.substr(7);
  if (country == "IT" && national.size() != 11 && national.size() != 16) {
    return Verdict::kLength;
  }
  const int check = 98 - Mod97("00", Mod97(country, Mod97(national)));
  const int given = (identifier[2] - '0') * 10 + (identifier[3] - '0');
  return check == given ? Verdict::kValid : Verdict::kCheckDigits;
}

bool IsCuc(std::string_view code) {
  return code.size() == 8 && std::all_of(code.begin(), code.end(),
                                         [](char c) { return IsAlnum(c); });
}

}  // namespace zsepa::checks
