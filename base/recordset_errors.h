#ifndef ZSEPA_BASE_RECORDSET_ERRORS_H_
#define ZSEPA_BASE_RECORDSET_ERRORS_H_

#include <string_view>

namespace zsepa::db {

// What the adapters' recordsets share: misuse raises the numbers and texts that
// host code knows from recordsets (3265, 3704, 3021) with the adapter as
// source.
[[noreturn]] void RaiseItemNotFound(std::string_view source,
                                    std::string_view name_or_ordinal);
[[noreturn]] void RaiseObjectClosed(std::string_view source);
[[noreturn]] void RaiseNoCurrentRecord(std::string_view source);

}  // namespace zsepa::db

#endif  // ZSEPA_BASE_RECORDSET_ERRORS_H_
