#ifndef ZSEPA_DB_LOOKUPS_H_
#define ZSEPA_DB_LOOKUPS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "base/last_error.h"
#include "zsepa/connection.h"
#include "zsepa/framework.h"
#include "zsepa/variant.h"

namespace zsepa::db {

// The lookups in the accounting database that the writers and the status
// reader make, each with its own failure rule. It reads the connection and
// the framework object through the builder's borrowed pointers, so that it
// always uses the ones set at the time of the call (a missing one is
// run-time error 91), and it keeps the state-type cache.
class Lookups {
 public:
  // `connection` and `framework` are the builder's own pointer members;
  // `last_error` is where GetIndTipoStato records its failures.
  Lookups(Connection* const& connection,
          framework::FrameworkObject* const& framework, LastError& last_error)
      : connection_(connection),
        framework_(framework),
        last_error_(last_error) {}

  // Starts a new, empty state-type cache (Initialize) / drops it (Terminate).
  void ResetCache() { state_types_.emplace(); }
  void DropCache() { state_types_.reset(); }

  // The company's CBI customer code of bank row `ProgrBanca`: "" without a
  // row, "??????" on any failure; never touches the last error.
  std::string LeggiCodiceCUC(int32_t ProgrBanca);
  // Whether `IBAN` is foreign by the database's own function; every failure
  // reads as False and never touches the last error.
  bool IsIbanEstero(const std::string& IBAN);
  // The type indicator of a state (cached per code); -1 with the failure
  // recorded in the last error, including 91 without a cache.
  int16_t GetIndTipoStato(const std::string& fstrCodiceStato);
  // True when GetIndTipoStato of the code's text gives -1.
  bool IsIndTipoStato(const Variant& code);
  // Whether a reject reason means an unpaid item (an unknown code does);
  // raises on failure, leaving the last error alone.
  bool IsCausaleInsoluto(const std::string& code);

 private:
  Connection& connection() const;
  const framework::CurrentCompany& company() const;

  Connection* const& connection_;
  framework::FrameworkObject* const& framework_;
  LastError& last_error_;
  std::optional<std::unordered_map<std::string, Variant>> state_types_;
};

// The current company of a framework object; 91 when there is none.
const framework::CurrentCompany& CompanyOf(
    const framework::FrameworkObject* framework);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_LOOKUPS_H_
