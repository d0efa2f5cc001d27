#ifndef ZSEPA_DB_STATEMENTS_H_
#define ZSEPA_DB_STATEMENTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "zsepa/enums.h"
#include "zsepa/variant.h"

namespace zsepa::db {

// Every SQL text of the system, as pure functions. Statements are SQL Server
// text built from fixed fragments; each value is checked where it enters
// (db/sql_value.h), so a builder raises zsepa::Error(codes::kUnsafeSqlValue)
// for a value that could change what the statement does. Company and
// master-data codes are the framework's variants written as their text
// without quotes.

// The three tables a batch can be read from.
enum class BatchKind {
  kOrdiniBonifico,  // credit-transfer order batch, EF10_ORDPBONIF
  kLocalizzata,     // localised payment batch, EF27_DISTPAGLOCALIZZ
  kIncasso,         // direct-debit batch, EF09_DISTINTE
};

// Format 3 reads direct-debit batches whatever the localisation; otherwise
// the localisation "FR" (exact, case-sensitive) reads localised batches and
// anything else credit-transfer orders.
BatchKind ChooseBatchKind(zxEnumFormatoFile formato,
                          std::string_view localizzazione);

// The batch header with its bank row: lines joined by CR LF, none after the
// last line. All three return the same column names.
std::string BatchStatement(BatchKind kind, const Variant& ditta, int16_t tipo,
                           int32_t numero, int16_t anno);
std::string BatchStatement(zxEnumFormatoFile formato,
                           std::string_view localizzazione,
                           const Variant& ditta, int16_t tipo, int32_t numero,
                           int16_t anno);

// One-line lookups.
std::string CodiceCucStatement(const Variant& ditta, int32_t progr_banca);
// `iban` is written between quotes as given (callers pass it trimmed).
std::string IbanEsteroStatement(std::string_view iban);
// `codice` is the trimmed state code, written without quotes; "0" stands in
// for an empty code.
std::string IndTipoStatoStatement(std::string_view codice,
                                  const Variant& ditta);
// `codice` is written between quotes exactly as given.
std::string CausaleInsolutoStatement(std::string_view codice);

// The company's master data, history versions valid today first, then the
// current master record: nineteen lines, each followed by CR LF.
std::string QueryOrdinanteStatement(const Variant& codice_anagrafica);
// The creditor's master data of the direct-debit file: five lines, each
// followed by CR LF, the code after the last fragment.
std::string QueryCreditoreStatement(const Variant& codice_anagrafica);
// The items of direct-debit batch `numero`/`anno` (kind 1): sixteen lines,
// each followed by CR LF.
std::string QueryEffettiDistintaStatement(const Variant& ditta, int32_t numero,
                                          int16_t anno);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_STATEMENTS_H_
