#ifndef ZSEPA_BASE_ASCII_H_
#define ZSEPA_BASE_ASCII_H_

#include <string_view>

namespace zsepa {

// The one rule by which names compare without regard to case (collection
// keys, column names, options): ASCII letters fold to upper case, every
// other byte stays as it is.
constexpr char FoldAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace zsepa

#endif  // ZSEPA_BASE_ASCII_H_
