#include "writers/iban_form.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zsepa {
namespace {

TEST(IbanFormTest, IsIbanFormaValida) {
  const std::pair<std::string, bool> cases[] = {
      {"IT60X0542811101000000123456", true},
      {"it60", true},                 // lower case counts as letters
      {"FR76 garbage", true},         // nothing after the fourth character
      {"IT6", false},                 // three characters
      {"IT6X0542", false},            // fourth character a letter
      {" IT60X054", false},           // leading blank
      {"\xC3\x89T60", false},         // "ET" with an accented E
      {"\xC4\xB1T60", true},          // dotless i upper-cases to "I"
      {"IT\xD9\xA0\xD9\xA1", false},  // Arabic-Indic digits
      {"\xC3\xA8\xC3\xA8"
       "12",
       false}};  // four code points, six bytes
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(IsIbanFormaValida(value), expected) << value;
  }
}

TEST(IbanFormTest, LettersAndDigits) {
  EXPECT_FALSE(IsSoloLettere("") || IsSoloNumeri(""));
  EXPECT_TRUE(IsSoloLettere("AbZz") && IsSoloNumeri("0123456789"));
  EXPECT_FALSE(IsSoloLettere("A1") || IsSoloLettere("A["));  // "[" after "Z"
  EXPECT_FALSE(IsSoloNumeri("1.5") || IsSoloNumeri(" 1"));
}

}  // namespace
}  // namespace zsepa
