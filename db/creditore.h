#ifndef ZSEPA_DB_CREDITORE_H_
#define ZSEPA_DB_CREDITORE_H_

#include <string>

#include "zsepa/connection.h"
#include "zsepa/variant.h"

namespace zsepa::db {

// The creditor of a direct-debit file: the company's legal name and address.
// Every text is trimmed of trailing blanks; Null reads as "". Without a
// master-data row every value, the country included, stays empty.
struct DatiCreditore {
  std::string name;
  std::string street;
  std::string postcode;
  std::string town;
  std::string province;
  std::string country;  // "IT" when the row was found
};

// Reads the company's master record `codice_anagrafica` (which must be a
// plain integer). Raises zsepa::Error on a database error or an unsafe code;
// the recordset is closed on every path.
DatiCreditore QueryCreditore(Connection& connection,
                             const Variant& codice_anagrafica);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_CREDITORE_H_
