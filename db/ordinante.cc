#include "db/ordinante.h"

#include <memory>
#include <string>

#include "db/statements.h"
#include "format/formatting.h"

namespace zsepa::db {
namespace {

// One address set of the master record: legal or for correspondence.
struct AddressColumns {
  const char* name;
  const char* street;
  const char* postcode;
  const char* town;
  const char* province;
  const char* state;
};

constexpr AddressColumns kCorrespondence = {"CG16_RAGSOCOR", "CG16_INDIRCOR",
                                            "CG16_CAPCOR",   "CG16_CITTACOR",
                                            "CG16_PROVCOR",  "DESCRNAZCORR"};
constexpr AddressColumns kLegal = {"CG16_RAGSOANAG", "CG16_INDIRIZZO",
                                   "CG16_CAP",       "CG16_CITTA",
                                   "CG16_PROV",      "DESCRNAZANAG"};

std::string Text(const Recordset& row, const char* column) {
  return TestoNonNullo(row.Field(column));
}

}  // namespace

DatiOrdinante QueryOrdinante(Connection& connection,
                             const Variant& codice_anagrafica) {
  DatiOrdinante dati;
  // The statement orders valid history versions first, so the first row is
  // the version valid today.
  std::unique_ptr<Recordset> result =
      connection.Execute(QueryOrdinanteStatement(codice_anagrafica));
  if (result->Eof()) {
    result->Close();
    return dati;
  }
  const bool correspondence = !Text(*result, "CG16_RAGSOCOR").empty() &&
                              !Text(*result, "CG16_INDIRCOR").empty();
  const AddressColumns& set = correspondence ? kCorrespondence : kLegal;
  dati.name = Text(*result, set.name);
  dati.address_line1 = Text(*result, set.street);
  dati.postcode = Text(*result, set.postcode);
  dati.town = Text(*result, set.town);
  dati.province = Text(*result, set.province);
  for (const std::string* piece :
       {&dati.postcode, &dati.town, &dati.province}) {
    if (!piece->empty()) dati.address_line2 += *piece + " ";
  }
  dati.address_line2 += Text(*result, set.state);
  dati.found = true;
  result->Close();
  return dati;
}

}  // namespace zsepa::db
