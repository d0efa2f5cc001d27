#ifndef ZSEPA_BASE_UTF8_H_
#define ZSEPA_BASE_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace zsepa::utf8 {

// Strings are UTF-8. Wherever the system counts characters it counts what
// the host counts: UTF-16 units, so a character beyond the Basic
// Multilingual Plane (an emoji) counts two. A cut never splits a multi-byte
// sequence: where it would fall between the two units of one character, the
// character is left out (the host would keep half of it, which no UTF-8 file
// can carry). Malformed bytes count as one character each.

// Byte length of the sequence that starts at `text[pos]` (1 for a malformed
// byte).
size_t SequenceLength(std::string_view text, size_t pos);
// The UTF-16 units (1 or 2) of the character at `text[pos]`.
size_t Units(std::string_view text, size_t pos);
// Number of UTF-16 units.
size_t Length(std::string_view text);
// The first `count` units.
std::string Left(std::string_view text, size_t count);
// `text` cut to `count` units (one fewer where the cut would split a
// character), or padded with spaces to `count` units when it is shorter.
std::string FitRight(std::string_view text, size_t count);
// True when `text` is well-formed UTF-8 (no overlongs, no surrogates).
bool IsValid(std::string_view text);
// Decodes the code point at `pos` and advances `pos`; returns U+FFFD for a
// malformed byte.
char32_t Next(std::string_view text, size_t& pos);

}  // namespace zsepa::utf8

#endif  // ZSEPA_BASE_UTF8_H_
