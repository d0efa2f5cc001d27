#ifndef ZSEPA_ADAPTERS_SQLITE_DIALECT_H_
#define ZSEPA_ADAPTERS_SQLITE_DIALECT_H_

#include <string>
#include <string_view>

namespace zsepa::sqlite {

// Turns the system's SQL Server statement text into SQLite text: removes the
// table hint WITH(NOLOCK) (any case, blanks allowed inside), removes the
// schema prefix dbo. (any case) before a function call, and turns the
// function ISNULL( into IFNULL(. Nothing changes inside string literals,
// quoted or bracketed identifiers and comments; every other byte is kept.
std::string RewriteDialect(std::string_view sql);

}  // namespace zsepa::sqlite

#endif  // ZSEPA_ADAPTERS_SQLITE_DIALECT_H_
