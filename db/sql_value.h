#ifndef ZSEPA_DB_SQL_VALUE_H_
#define ZSEPA_DB_SQL_VALUE_H_

#include <string>
#include <string_view>

#include "zsepa/variant.h"

namespace zsepa::db {

// Every value that enters an SQL text passes through one of these checks at
// the point where it is written. The statements write values as plain text,
// never escaped, so a value that could change what a statement does is
// refused before anything reaches the database: the check raises
// zsepa::Error(codes::kUnsafeSqlValue) with an Italian message that names the
// value, and the statement fails where a bad value would have broken its
// text anyway.

// `text`, unchanged, for writing between single quotes. Refused when it
// contains a single quote (or a NUL character, which would cut the text).
std::string QuotedSqlValue(std::string_view text);

// The text of `value` (as Variant::ToText gives it), unchanged, for writing
// without quotes. Refused unless it is a plain integer with spaces around it
// allowed: spaces, an optional minus, decimal digits, spaces; nothing else
// (no other blank, no sign "+", no decimal point, no space inside).
std::string IntegerSqlValue(const Variant& value);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_SQL_VALUE_H_
