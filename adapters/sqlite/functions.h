#ifndef ZSEPA_ADAPTERS_SQLITE_FUNCTIONS_H_
#define ZSEPA_ADAPTERS_SQLITE_FUNCTIONS_H_

#include <functional>

#include "zsepa/date.h"

struct sqlite3;

namespace zsepa::sqlite {

// Registers the accounting database's scalar functions on a connection:
//   FNEP_ISIBANESTERO(iban): 1 when the IBAN has at least two characters and
//     does not start with "IT" (any case), else 0; NULL for NULL.
//   FNCO_INDTIPOSTATO(code, company): CG07_INDTIPOSTATO of the state whose
//     CG07_CODICE is `code` (-1 for Italy), 0 when there is no such state.
//   QRV_GETDATE(): today's date from `clock` as 'YYYY-MM-DD'.
// Returns the SQLite result code (SQLITE_OK on success).
int RegisterFunctions(sqlite3* db, std::function<Date()> clock);

}  // namespace zsepa::sqlite

#endif  // ZSEPA_ADAPTERS_SQLITE_FUNCTIONS_H_
