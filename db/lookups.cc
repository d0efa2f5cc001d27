#include "db/lookups.h"

#include <memory>
#include <string>

#include "base/required.h"
#include "db/statements.h"
#include "format/formatting.h"
#include "zsepa/error.h"

namespace zsepa::db {

const framework::CurrentCompany& CompanyOf(
    const framework::FrameworkObject* framework) {
  return Required(framework).ContestoLavoro().DittaCorrente();
}

Connection& Lookups::connection() const { return Required(connection_); }

const framework::CurrentCompany& Lookups::company() const {
  return CompanyOf(framework_);
}

std::string Lookups::LeggiCodiceCUC(int32_t ProgrBanca) {
  // Any failure reads as the placeholder code; Stato/Errore stay as they are.
  try {
    const std::string sql =
        CodiceCucStatement(company().CodiceDitta(), ProgrBanca);
    std::unique_ptr<Recordset> row = connection().Execute(sql);
    std::string cuc;
    if (!row->Eof()) cuc = TestoNonNullo(row->Field("EF08_CODICECUC"));
    row->Close();
    return cuc;
  } catch (...) {
    return "??????";
  }
}

bool Lookups::IsIbanEstero(const std::string& IBAN) {
  // A failing step is skipped and the next one runs, so every failure ends
  // in False; Stato/Errore stay as they are.
  bool estero = false;
  std::unique_ptr<Recordset> row;
  try {
    row = connection().Execute(IbanEsteroStatement(TestoNonNullo(IBAN)));
  } catch (...) {
  }
  if (row == nullptr) return false;
  try {
    if (!row->Eof()) {
      estero =
          ValoreNonNullo(row->Field("IS_IBAN_ESTERO"), int32_t{0}).ToDouble() ==
          1;
    }
  } catch (...) {
  }
  try {
    row->Close();
  } catch (...) {
  }
  return estero;
}

int16_t Lookups::GetIndTipoStato(const std::string& fstrCodiceStato) {
  int16_t result = -1;
  last_error_.Guarded([&] {
    const std::string code = TestoNonNullo(fstrCodiceStato);
    const std::string key = "XX" + code + "XX";
    if (!state_types_) rt::Raise(rt::kObjectNotSet);
    auto cached = state_types_->find(key);
    if (cached == state_types_->end()) {
      const std::string sql =
          IndTipoStatoStatement(code, company().CodiceDitta());
      std::unique_ptr<Recordset> row = connection().Execute(sql);
      Variant value = row->Field(0);
      row->Close();
      // Cached as the database delivered it: a Null fails the conversion
      // below on every call until the cache is dropped.
      cached = state_types_->emplace(key, std::move(value)).first;
    }
    result = cached->second.ToInt16();
  });
  return result;
}

bool Lookups::IsIndTipoStato(const Variant& code) {
  return GetIndTipoStato(code.ToText()) == -1;
}

bool Lookups::IsCausaleInsoluto(const std::string& code) {
  const std::string sql = CausaleInsolutoStatement(code);
  std::unique_ptr<Recordset> row = connection().Execute(sql);
  // A reason code the table does not know counts as unpaid.
  bool insoluto = true;
  if (!row->Eof()) {
    insoluto =
        ValoreNonNullo(row->Field("CG6G_INDTIPOMOV"), int32_t{0}).ToDouble() ==
        1;
  }
  row->Close();
  return insoluto;
}

}  // namespace zsepa::db
