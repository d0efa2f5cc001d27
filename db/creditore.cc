#include "db/creditore.h"

#include <memory>

#include "db/statements.h"
#include "format/formatting.h"

namespace zsepa::db {

DatiCreditore QueryCreditore(Connection& connection,
                             const Variant& codice_anagrafica) {
  DatiCreditore dati;
  std::unique_ptr<Recordset> result =
      connection.Execute(QueryCreditoreStatement(codice_anagrafica));
  if (!result->Eof()) {
    dati.name = TestoNonNullo(result->Field("CG16_RAGSOANAG"));
    dati.street = TestoNonNullo(result->Field("CG16_INDIRIZZO"));
    dati.postcode = TestoNonNullo(result->Field("CG16_CAP"));
    dati.town = TestoNonNullo(result->Field("CG16_CITTA"));
    dati.province = TestoNonNullo(result->Field("CG16_PROV"));
    dati.country = "IT";
  }
  result->Close();
  return dati;
}

}  // namespace zsepa::db
