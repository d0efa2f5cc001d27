#ifndef ZSEPA_COM_TESTS_WIDE_TEXT_H_
#define ZSEPA_COM_TESTS_WIDE_TEXT_H_

#include <windows.h>

#include <string>

// The test programs stand outside the component and share none of its code:
// this is their own conversion of a wide text to UTF-8 ("" for nullptr).
inline std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return "";
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) {
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr,
                        nullptr);
  }
  return out;
}

#endif  // ZSEPA_COM_TESTS_WIDE_TEXT_H_
