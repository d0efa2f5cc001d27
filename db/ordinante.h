#ifndef ZSEPA_DB_ORDINANTE_H_
#define ZSEPA_DB_ORDINANTE_H_

#include <string>

#include "zsepa/connection.h"
#include "zsepa/variant.h"

namespace zsepa::db {

// The ordering party of a credit-transfer file: the company's name and two
// address lines. Every text is trimmed of trailing blanks; Null reads as "".
struct DatiOrdinante {
  bool found = false;  // the query returned a row
  std::string name;
  std::string address_line1;
  // Postcode, town, province and state description, each present part
  // followed by one space except the state description.
  std::string address_line2;
  // The pieces of the second line, for a structured address.
  std::string postcode;
  std::string town;
  std::string province;
};

// Reads the company's master data valid today: the history version with the
// earliest end of validity not before today, else the current master record.
// Uses the correspondence name and address when both are non-blank, else the
// legal ones, never a mix. Raises zsepa::Error on a database error or an
// unsafe `codice_anagrafica` (which must be a plain integer); the recordset is
// closed on every path. No row gives found = false.
DatiOrdinante QueryOrdinante(Connection& connection,
                             const Variant& codice_anagrafica);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_ORDINANTE_H_
