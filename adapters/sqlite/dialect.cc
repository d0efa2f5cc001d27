#include "adapters/sqlite/dialect.h"

#include <array>
#include <cstddef>

namespace zsepa::sqlite {
namespace {

// The characters of a word, by byte: letters, digits, _ $ @ # and every
// byte of a multi-byte character.
constexpr auto kIdentifierChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '@' ||
               c == '#' || c >= 0x80;
  }
  return table;
}();

bool IsIdentifierChar(char c) {
  return kIdentifierChars[static_cast<unsigned char>(c)];
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' ||
         c == '\v';
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

size_t SkipBlanks(std::string_view sql, size_t pos) {
  while (pos < sql.size() && IsBlank(sql[pos])) ++pos;
  return pos;
}

// True when the whole word `word` (upper case) stands at `pos`, in any case.
bool WordAt(std::string_view sql, size_t pos, std::string_view word) {
  if (pos + word.size() > sql.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Upper(sql[pos + i]) != word[i]) return false;
  }
  const size_t end = pos + word.size();
  return end == sql.size() || !IsIdentifierChar(sql[end]);
}

size_t WordEnd(std::string_view sql, size_t pos) {
  while (pos < sql.size() && IsIdentifierChar(sql[pos])) ++pos;
  return pos;
}

// End of the quoted item that starts at `pos` ('text', "name", [name]); a
// doubled closing character stands for itself. Unterminated: end of text.
size_t QuotedEnd(std::string_view sql, size_t pos) {
  const char close = sql[pos] == '[' ? ']' : sql[pos];
  for (size_t i = pos + 1; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return sql.size();
}

// End of the comment that starts at `pos`, or `pos` when none starts there.
size_t CommentEnd(std::string_view sql, size_t pos) {
  if (sql.substr(pos, 2) == "--") {
    const size_t eol = sql.find('\n', pos);
    return eol == std::string_view::npos ? sql.size() : eol + 1;
  }
  if (sql.substr(pos, 2) == "/*") {
    const size_t close = sql.find("*/", pos + 2);
    return close == std::string_view::npos ? sql.size() : close + 2;
  }
  return pos;
}

// Length of the table hint WITH(NOLOCK) at `pos`, 0 when there is none.
size_t NoLockHintLength(std::string_view sql, size_t pos) {
  if (!WordAt(sql, pos, "WITH")) return 0;
  size_t i = SkipBlanks(sql, pos + 4);
  if (i >= sql.size() || sql[i] != '(') return 0;
  i = SkipBlanks(sql, i + 1);
  if (!WordAt(sql, i, "NOLOCK")) return 0;
  i = SkipBlanks(sql, i + 6);
  if (i >= sql.size() || sql[i] != ')') return 0;
  return i + 1 - pos;
}

// True when a function call follows the word that starts at `pos`.
bool CallFollows(std::string_view sql, size_t pos) {
  const size_t i = SkipBlanks(sql, WordEnd(sql, pos));
  return i < sql.size() && sql[i] == '(';
}

// True at the schema prefix dbo. of a function call ("dbo.FN(").
bool DboPrefixAt(std::string_view sql, size_t pos) {
  if (pos + 4 >= sql.size() || Upper(sql[pos]) != 'D' ||
      Upper(sql[pos + 1]) != 'B' || Upper(sql[pos + 2]) != 'O' ||
      sql[pos + 3] != '.') {
    return false;
  }
  return IsIdentifierChar(sql[pos + 4]) && CallFollows(sql, pos + 4);
}

}  // namespace

std::string RewriteDialect(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '[') {
      const size_t end = QuotedEnd(sql, i);
      out.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (const size_t end = CommentEnd(sql, i); end != i) {
      out.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (!IsIdentifierChar(c)) {
      out += c;
      ++i;
      continue;
    }
    // A word: words are copied whole, so nothing matches inside one.
    if (const size_t hint = NoLockHintLength(sql, i); hint != 0) {
      i += hint;
      continue;
    }
    if (DboPrefixAt(sql, i)) {
      i += 4;
      continue;
    }
    const size_t end = WordEnd(sql, i);
    if (WordAt(sql, i, "ISNULL") && CallFollows(sql, i)) {
      out += sql[i];
      out += sql[i + 1] == 's' ? 'f' : 'F';
      out.append(sql.substr(i + 2, end - i - 2));
    } else {
      out.append(sql.substr(i, end - i));
    }
    i = end;
  }
  return out;
}

}  // namespace zsepa::sqlite
