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
};

}  // namespace zsepa::db

#endif  // ZSEPA_CONNECTION_H_
