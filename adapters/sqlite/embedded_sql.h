#ifndef ZSEPA_ADAPTERS_SQLITE_EMBEDDED_SQL_H_
#define ZSEPA_ADAPTERS_SQLITE_EMBEDDED_SQL_H_

#include <string_view>

namespace zsepa::sqlite {

// The embedded database's schema, version 1 (schema_v1.sql): plain SQLite
// statements that create every table and set PRAGMA user_version.
std::string_view SchemaV1Sql();
// The demo company (demo_data.sql): plain SQLite INSERT statements.
std::string_view DemoDataSql();

}  // namespace zsepa::sqlite

#endif  // ZSEPA_ADAPTERS_SQLITE_EMBEDDED_SQL_H_
