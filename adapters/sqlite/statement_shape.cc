#include "adapters/sqlite/statement_shape.h"

#include <algorithm>
#include <array>

#include "base/ascii.h"

namespace zsepa::sqlite {
namespace {

// The characters of a word, by byte: letters, digits, _ $ and every byte of
// a multi-byte character.
constexpr auto kWordChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               (c >= '0' && c <= '9') || c == '_' || c == '$' || c >= 0x80;
  }
  return table;
}();

bool IsWordChar(char c) { return kWordChars[static_cast<unsigned char>(c)]; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the quoted run starting at `pos` (the opening character),
// where `close` ends it and a doubled `close` does not; npos when unclosed.
size_t QuotedEnd(std::string_view sql, size_t pos, char close) {
  for (size_t at = pos + 1; at < sql.size(); ++at) {
    if (sql[at] != close) continue;
    if (close != ']' && at + 1 < sql.size() && sql[at + 1] == close) {
      ++at;
      continue;
    }
    return at + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<StatementShape> ShapeOf(std::string_view sql) {
  if (sql.find('\0') != std::string_view::npos) return std::nullopt;
  StatementShape shape;
  shape.text.reserve(sql.size());
  bool first_word = true;
  bool numbers = true;  // false from ORDER or GROUP on
  size_t pos = 0;
  while (pos < sql.size()) {
    const char c = sql[pos];
    size_t end = pos + 1;
    if (c == '\'') {
      end = QuotedEnd(sql, pos, '\'');
      if (end == std::string_view::npos) return std::nullopt;
      Literal literal{true, {}, 0};
      // The text between the quotes, each doubled quote taken once.
      for (size_t at = pos + 1; at + 1 < end;) {
        const size_t quote = std::min(sql.find('\'', at), end - 1);
        literal.text.append(sql.substr(at, quote - at));
        if (quote + 1 >= end) break;
        literal.text += '\'';
        at = quote + 2;
      }
      shape.literals.push_back(std::move(literal));
      shape.text += '?';
      pos = end;
      continue;
    }
    if (c == '"' || c == '[' || c == '`') {
      end = QuotedEnd(sql, pos, c == '[' ? ']' : c);
      if (end == std::string_view::npos) return std::nullopt;
    } else if (c == '-' && sql.substr(pos, 2) == "--") {
      end = sql.find('\n', pos);
      end = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '/' && sql.substr(pos, 2) == "/*") {
      end = sql.find("*/", pos + 2);
      if (end == std::string_view::npos) return std::nullopt;
      end += 2;
    } else if (c == '?' || ((c == ':' || c == '@' || c == '$') &&
                            pos + 1 < sql.size() && IsWordChar(sql[pos + 1]))) {
      return std::nullopt;  // the text has parameters of its own
    } else if (IsDigit(c) ||
               (c == '.' && pos + 1 < sql.size() && IsDigit(sql[pos + 1]))) {
      while (end < sql.size() && IsDigit(sql[end])) ++end;
      const bool plain =
          IsDigit(c) && end - pos <= 18 && numbers &&
          (end == sql.size() || (!IsWordChar(sql[end]) && sql[end] != '.'));
      if (plain) {
        Literal literal{false, {}, 0};
        for (size_t at = pos; at < end; ++at) {
          literal.integer = literal.integer * 10 + (sql[at] - '0');
        }
        shape.literals.push_back(std::move(literal));
        shape.text += '?';
        pos = end;
        continue;
      }
      // A number of another form, kept whole: 1.5, .5, 1e-3, 0x1F, 12abc.
      while (end < sql.size() &&
             (IsWordChar(sql[end]) || sql[end] == '.' ||
              ((sql[end] == '+' || sql[end] == '-') &&
               (sql[end - 1] == 'e' || sql[end - 1] == 'E')))) {
        ++end;
      }
    } else if (IsWordChar(c)) {
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      const std::string_view word = sql.substr(pos, end - pos);
      if (first_word && !EqualsIgnoreCase(word, "SELECT")) return std::nullopt;
      first_word = false;
      if (EqualsIgnoreCase(word, "ORDER") || EqualsIgnoreCase(word, "GROUP")) {
        numbers = false;
      }
      // A literal glued to a word (a blob x'00') stays as it is.
      if (end < sql.size() && sql[end] == '\'') {
        end = QuotedEnd(sql, end, '\'');
        if (end == std::string_view::npos) return std::nullopt;
      }
    } else if (first_word && c != ' ' && c != '\t' && c != '\r' && c != '\n' &&
               c != '\f' && c != '\v') {
      return std::nullopt;
    }
    shape.text.append(sql.substr(pos, end - pos));
    pos = end;
  }
  if (first_word) return std::nullopt;
  return shape;
}

}  // namespace zsepa::sqlite
