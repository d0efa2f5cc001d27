#include "base/recordset_errors.h"

#include <string>

#include "zsepa/error.h"

namespace zsepa::db {

void RaiseItemNotFound(std::string_view source,
                       std::string_view name_or_ordinal) {
  throw Error(codes::kItemNotFound, std::string(source),
              "Item cannot be found in the collection corresponding to the "
              "requested name or ordinal: " +
                  std::string(name_or_ordinal));
}

void RaiseObjectClosed(std::string_view source) {
  throw Error(codes::kObjectClosed, std::string(source),
              "Operation is not allowed when the object is closed.");
}

void RaiseNoCurrentRecord(std::string_view source) {
  throw Error(codes::kNoCurrentRecord, std::string(source),
              "Either BOF or EOF is True, or the current record has been "
              "deleted. Requested operation requires a current record.");
}

}  // namespace zsepa::db
