#ifndef ZSEPA_DB_CONNECTION_H_
#define ZSEPA_DB_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/variant.h"

namespace zsepa::db {

// A forward-only result of one statement. Fields are read from the current
// row by column name (case-insensitive) or 0-based position; SQL NULL reads
// as Null, DATE/DATETIME columns as Date values. Reading a column that does
// not exist, or reading at end of file, raises zsepa::Error.
class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool Eof() const = 0;
  virtual Variant Field(std::string_view name) const = 0;
  virtual Variant Field(int32_t index) const = 0;
  virtual void MoveNext() = 0;
  // Releases the result; idempotent. Destruction closes too.
  virtual void Close() = 0;
};

// An open connection to the accounting database, borrowed from the host: the
// system never opens or closes it. Statements are SQL Server text.
class Connection {
 public:
  virtual ~Connection() = default;
  // Runs `sql` and returns its result positioned on the first row. Raises
  // zsepa::Error with the database's own code and message on failure.
  virtual std::unique_ptr<Recordset> Execute(const std::string& sql) = 0;
};

}  // namespace zsepa::db

#endif  // ZSEPA_DB_CONNECTION_H_
