#include "base/utf8.h"

namespace zsepa::utf8 {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one well-formed sequence; returns its length or 0 when malformed.
size_t Decode(std::string_view text, size_t pos, char32_t& out) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length;
  char32_t cp;
  char32_t min;
  if (lead < 0x80) {
    out = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(c)) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return length;
}

}  // namespace

size_t SequenceLength(std::string_view text, size_t pos) {
  char32_t cp;
  const size_t length = Decode(text, pos, cp);
  return length == 0 ? 1 : length;
}

char32_t Next(std::string_view text, size_t& pos) {
  char32_t cp;
  const size_t length = Decode(text, pos, cp);
  if (length == 0) {
    ++pos;
    return 0xFFFD;
  }
  pos += length;
  return cp;
}

size_t Units(std::string_view text, size_t pos) {
  // Only a well-formed four-byte sequence encodes a character beyond the
  // Basic Multilingual Plane.
  return SequenceLength(text, pos) == 4 ? 2 : 1;
}

size_t Length(std::string_view text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {  // the common case
      ++count;
      ++pos;
      continue;
    }
    const size_t length = SequenceLength(text, pos);
    count += length == 4 ? 2 : 1;
    pos += length;
  }
  return count;
}

std::string Left(std::string_view text, size_t count) {
  size_t pos = 0;
  // A character of two units that does not fit whole is left out.
  for (size_t n = 0; pos < text.size() && n + Units(text, pos) <= count;) {
    n += Units(text, pos);
    pos += SequenceLength(text, pos);
  }
  return std::string(text.substr(0, pos));
}

std::string FitRight(std::string_view text, size_t count) {
  const size_t length = Length(text);
  // A cut that leaves half a character out is not padded: the host's text
  // would hold that half, of which the file keeps nothing.
  if (length >= count) return Left(text, count);
  std::string result(text);
  result.append(count - length, ' ');
  return result;
}

bool IsValid(std::string_view text) {
  char32_t cp;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = Decode(text, pos, cp);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

}  // namespace zsepa::utf8
