#ifndef ZSEPA_BASE_UTF8_H_
#define ZSEPA_BASE_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace zsepa::utf8 {

// Strings are UTF-8. Wherever the system counts characters it counts code
// points and never splits a multi-byte sequence. Malformed bytes count as one
// character each.

// Byte length of the sequence that starts at `text[pos]` (1 for a malformed
// byte).
size_t SequenceLength(std::string_view text, size_t pos);
// Number of code points.
size_t Length(std::string_view text);
// The first `count` code points.
std::string Left(std::string_view text, size_t count);
// `text` cut or padded with spaces to exactly `count` code points.
std::string FitRight(std::string_view text, size_t count);
// True when `text` is well-formed UTF-8 (no overlongs, no surrogates).
bool IsValid(std::string_view text);
// Decodes the code point at `pos` and advances `pos`; returns U+FFFD for a
// malformed byte.
char32_t Next(std::string_view text, size_t& pos);

}  // namespace zsepa::utf8

#endif  // ZSEPA_BASE_UTF8_H_
