#ifndef ZSEPA_ADAPTERS_SQLITE_STATEMENT_SHAPE_H_
#define ZSEPA_ADAPTERS_SQLITE_STATEMENT_SHAPE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zsepa::sqlite {

// A literal taken out of a statement: a text (quotes removed, doubled quotes
// made single) or an integer.
struct Literal {
  bool is_text = false;
  std::string text;
  int64_t integer = 0;
};

// A SELECT statement with its literals replaced by "?" parameters, in order.
// Statements that differ only in those literals have the same shape, so one
// prepared statement serves them all.
struct StatementShape {
  std::string text;
  std::vector<Literal> literals;
};

// The shape of SQLite `sql`, or nothing when the statement is better run as
// it is: it does not start with SELECT, it holds parameters or a NUL byte, a
// literal or comment is not closed. Lifted are texts in single quotes and
// plain decimal integers of at most 18 digits; left as they are: literals
// glued to a word (x'00', N'a'), numbers with a point, an exponent or a
// letter, numbers after ORDER or GROUP (a position there names a column),
// and everything inside double-quoted, bracketed or back-quoted names and
// comments. A bound value behaves as the literal did (no affinity, the same
// type), so the shape with its literals bound gives the rows the text gives.
std::optional<StatementShape> ShapeOf(std::string_view sql);

}  // namespace zsepa::sqlite

#endif  // ZSEPA_ADAPTERS_SQLITE_STATEMENT_SHAPE_H_
