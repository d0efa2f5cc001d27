#include "writers/iban_form.h"

#include "base/utf8.h"

namespace zsepa {
namespace {

// Simple upper-case mapping as far as it can land in "A".."Z": the ASCII
// small letters, the dotless i (U+0131 -> "I") and the long s (U+017F -> "S").
char32_t UpperCase(char32_t cp) {
  if (cp >= U'a' && cp <= U'z') return cp - (U'a' - U'A');
  if (cp == 0x0131) return U'I';
  if (cp == 0x017F) return U'S';
  return cp;
}

}  // namespace

bool IsSoloLettere(std::string_view text) {
  if (text.empty()) return false;
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = UpperCase(utf8::Next(text, pos));
    if (cp < U'A' || cp > U'Z') return false;
  }
  return true;
}

bool IsSoloNumeri(std::string_view text) {
  if (text.empty()) return false;
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = utf8::Next(text, pos);
    if (cp < U'0' || cp > U'9') return false;
  }
  return true;
}

bool IsIbanFormaValida(std::string_view value) {
  if (utf8::Length(value) < 4) return false;
  const std::string first_four = utf8::Left(value, 4);
  const std::string letters = utf8::Left(first_four, 2);
  const std::string_view digits =
      std::string_view(first_four).substr(letters.size());
  return IsSoloLettere(letters) && IsSoloNumeri(digits);
}

}  // namespace zsepa
