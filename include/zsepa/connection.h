#ifndef ZSEPA_CONNECTION_H_
#define ZSEPA_CONNECTION_H_

#include <memory>
#include <string>

#include "zsepa/recordset.h"

namespace zsepa::db {

// The forward-only result of one statement.
using Recordset = zsepa::Recordset;

// An open connection to the accounting database, borrowed from the host: the
// system never opens or closes it. Statements are SQL Server text. One
// connection serves one thread at a time.
class Connection {
 public:
  virtual ~Connection() = default;
  // Runs `sql` and returns its result positioned on the first row. Raises
  // zsepa::Error with the database's own code and message on failure.
  virtual std::unique_ptr<Recordset> Execute(const std::string& sql) = 0;

  // Brackets a series of reads (the lookups of one SaveXML) that the
  // connection may run in one read transaction. BeginReads returns whether
  // it began one; EndReads is then called exactly once, also when the reads
  // failed, and never throws. Neither may change what any statement gives.
  // By default nothing happens.
  virtual bool BeginReads() { return false; }
  virtual void EndReads() noexcept {}
};

// Calls BeginReads on `connection` (when not nullptr) and, when it began a
// transaction, EndReads on leaving the scope.
class ReadScope {
 public:
  explicit ReadScope(Connection* connection)
      : connection_(connection != nullptr && connection->BeginReads()
                        ? connection
                        : nullptr) {}
  ~ReadScope() {
    if (connection_ != nullptr) connection_->EndReads();
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  Connection* connection_;
};

}  // namespace zsepa::db

#endif  // ZSEPA_CONNECTION_H_
