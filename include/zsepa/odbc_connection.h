#ifndef ZSEPA_ODBC_CONNECTION_H_
#define ZSEPA_ODBC_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "zsepa/connection.h"

namespace zsepa::odbc {

// The accounting database over ODBC (unixODBC): SQL Server in production,
// any ODBC data source in general.
//
// Errors are zsepa::Error with the native error number of the first
// diagnostic record (codes::kUnspecifiedFailure when it is 0, as for driver
// manager errors) and the description
// "SQLSTATE <state>: <text>" for each diagnostic record, joined by "; ".
//
// Character data is read as UTF-16 (SQL_C_WCHAR) and converted to UTF-8 here,
// so column values never depend on the driver's client character set.
// Statement text is sent as UTF-8 through the narrow API.
//
// No statement text is parsed: the system's statements are single
// statements built from fixed fragments, and every value that enters one is
// checked where it enters (db/sql_value.h), so a value can never add a second
// statement.
class OdbcConnection final : public db::Connection {
 public:
  // kSqlServer sends the statements unchanged; kSqlite rewrites the SQL
  // Server dialect points first (sqlite::RewriteDialect), for an SQLite file
  // reached through the SQLite ODBC driver.
  enum class Dialect { kSqlServer, kSqlite };

  // Connects with SQLDriverConnect and the given connection string, never
  // prompting. Raises zsepa::Error when the data source cannot be reached.
  static std::unique_ptr<OdbcConnection> Open(
      const std::string& connection_string,
      Dialect dialect = Dialect::kSqlServer);

  ~OdbcConnection() override;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Runs one statement with SQLExecDirect. The result is forward-only and
  // positioned on the first row; a statement without a result set gives a
  // recordset at EOF. Each row is read whole when the recordset moves onto
  // it, so fields can be read in any order. Open recordsets keep the
  // connection's handles alive, so they may outlive this object.
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override;

  // The environment and connection handles, defined in the .cc file.
  struct Handles;

 private:
  OdbcConnection(std::shared_ptr<Handles> handles, Dialect dialect);

  std::shared_ptr<Handles> handles_;
  Dialect dialect_;
};

}  // namespace zsepa::odbc

#endif  // ZSEPA_ODBC_CONNECTION_H_
