#ifndef ZSEPA_RECORDSET_H_
#define ZSEPA_RECORDSET_H_

#include <cstdint>
#include <string_view>

#include "zsepa/variant.h"

namespace zsepa {

// A result read row by row. Fields are read from the current row by column
// name (case-insensitive) or 0-based position; SQL NULL reads as Null,
// DATE/DATETIME columns as Date values. Misuse raises zsepa::Error with the
// numbers host code knows from recordsets: 3265 for a column that does not
// exist, 3021 for a read at end of file, 3704 after Close (a closed
// recordset reports Eof).
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

}  // namespace zsepa

#endif  // ZSEPA_RECORDSET_H_
