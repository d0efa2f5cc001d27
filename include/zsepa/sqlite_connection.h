#ifndef ZSEPA_SQLITE_CONNECTION_H_
#define ZSEPA_SQLITE_CONNECTION_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "zsepa/connection.h"
#include "zsepa/date.h"

struct sqlite3;

namespace zsepa::sqlite {

// A connection to an embedded database file. It runs the system's SQL Server
// statements after RewriteDialect and provides the accounting database's
// scalar functions FNEP_ISIBANESTERO, FNCO_INDTIPOSTATO and QRV_GETDATE.
//
// Errors are zsepa::Error with source "SQLite", the SQLite result code and
// the text of sqlite3_errmsg. Recordsets of Execute read INTEGER columns as
// Int32 (Int64 when the value does not fit), REAL as Double, TEXT as String,
// NULL as Null, and columns declared DATE or DATETIME as Date values. Reading
// a field at end of file or of a column that does not exist raises; after
// Close a recordset reports Eof and raises on every read. A recordset may
// outlive its connection.
class SqliteConnection final : public db::Connection {
 public:
  struct Options {
    // Today's date for QRV_GETDATE(); Date::Today when empty.
    std::function<Date()> clock;
  };

  ~SqliteConnection() override;
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Opens an existing embedded database file for reading and writing; raises
  // when the file is missing, is not a database, or has a newer schema.
  static std::unique_ptr<SqliteConnection> Open(const std::string& path,
                                                Options options = {});
  // Creates a new database file with the shipped schema (one transaction).
  // Raises when the file exists; on any failure no file is left behind.
  static std::unique_ptr<SqliteConnection> Create(const std::string& path,
                                                  Options options = {});

  // Runs exactly one statement of SQL Server text and returns its result
  // positioned on the first row. Text after the first statement other than
  // blanks and comments is refused before anything runs.
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override;
  // Runs several plain SQLite statements (no rewrite), stopping at the first
  // failure, which raises.
  void ExecuteScript(const std::string& sql);

  // Starts a read transaction for the reads that follow, unless one is open
  // already (then returns false and changes nothing); EndReads ends it,
  // whatever the reads did.
  bool BeginReads() override;
  void EndReads() noexcept override;

 private:
  friend struct SqliteTestAccess;  // tests reach CreateFromSchema

  struct HandleCloser {
    void operator()(sqlite3* handle) const noexcept;
  };
  using Handle = std::unique_ptr<sqlite3, HandleCloser>;

  struct StatementCache;
  explicit SqliteConnection(Handle handle);
  static std::unique_ptr<SqliteConnection> Connect(const std::string& path,
                                                   int flags, Options options);
  // Create with the given schema script.
  static std::unique_ptr<SqliteConnection> CreateFromSchema(
      const std::string& path, Options options, std::string_view schema);

  Handle handle_;
  // Prepared SELECT statements by shape (literals made parameters), so that
  // a lookup repeated with other values is not prepared again.
  std::unique_ptr<StatementCache> cache_;
};

// Fills a new database with the demo company (company 1, master-data code
// 1000, one batch of each kind) in one transaction; raises on failure and
// then leaves the database as it was.
void FillDemoData(SqliteConnection& connection);

}  // namespace zsepa::sqlite

#endif  // ZSEPA_SQLITE_CONNECTION_H_
