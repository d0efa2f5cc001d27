// The accounting database's scalar functions. This one source serves both the
// library (linked against SQLite) and the loadable extension module, built
// with ZSEPA_SQLITE_EXTENSION, where every SQLite call goes through the
// routine table that the loading connection hands over.
#include "adapters/sqlite/functions.h"

#ifdef ZSEPA_SQLITE_EXTENSION
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1
#else
#include <sqlite3.h>
#endif

#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace zsepa::sqlite {
namespace {

using Clock = std::function<Date()>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
  }
};

char AsciiUpper(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// FNEP_ISIBANESTERO(iban)
void IsIbanEstero(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* text = sqlite3_value_text(argv[0]);
  const int bytes = sqlite3_value_bytes(argv[0]);
  int characters = 0;  // code points: UTF-8 continuation bytes do not count
  for (int i = 0; i < bytes && characters < 2; ++i) {
    if ((text[i] & 0xC0) != 0x80) ++characters;
  }
  const bool italian = characters >= 2 && AsciiUpper(text[0]) == 'I' &&
                       AsciiUpper(text[1]) == 'T';
  sqlite3_result_int(context, characters >= 2 && !italian ? 1 : 0);
}

// FNCO_INDTIPOSTATO(code, company): states are shared by all companies, so
// the company argument does not narrow the search.
void IndTipoStato(sqlite3_context* context, int, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(context);
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "SELECT CG07_INDTIPOSTATO FROM CG07_TABSTATIEST "
                              "WHERE CG07_CODICE=?1",
                              -1, &raw, nullptr);
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(raw);
  if (rc == SQLITE_OK) rc = sqlite3_bind_value(raw, 1, argv[0]);
  if (rc == SQLITE_OK) rc = sqlite3_step(raw);
  if (rc == SQLITE_ROW) {
    sqlite3_result_value(context, sqlite3_column_value(raw, 0));
  } else if (rc == SQLITE_DONE) {
    sqlite3_result_int(context, 0);
  } else {
    sqlite3_result_error(context, sqlite3_errmsg(db), -1);
    sqlite3_result_error_code(context, rc);
  }
}

// QRV_GETDATE(): the clock is the function's user data.
void GetDate(sqlite3_context* context, int, sqlite3_value**) {
  try {
    const auto& clock = *static_cast<const Clock*>(sqlite3_user_data(context));
    const std::string text = clock().DatePart().ToText();
    sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  } catch (...) {
    sqlite3_result_error(context, "QRV_GETDATE: the clock failed", -1);
  }
}

void DeleteClock(void* clock) { delete static_cast<Clock*>(clock); }

}  // namespace

int RegisterFunctions(sqlite3* db, std::function<Date()> clock) {
  if (!clock) clock = &Date::Today;
  int rc = sqlite3_create_function_v2(
      db, "FNEP_ISIBANESTERO", 1,
      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
      IsIbanEstero, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "FNCO_INDTIPOSTATO", 2, SQLITE_UTF8,
                                    nullptr, IndTipoStato, nullptr, nullptr,
                                    nullptr);
  }
  if (rc == SQLITE_OK) {
    // SQLite takes the clock over: it calls DeleteClock even when the
    // registration fails.
    rc = sqlite3_create_function_v2(db, "QRV_GETDATE", 0, SQLITE_UTF8,
                                    new Clock(std::move(clock)), GetDate,
                                    nullptr, nullptr, DeleteClock);
  }
  return rc;
}

}  // namespace zsepa::sqlite

#ifdef ZSEPA_SQLITE_EXTENSION
namespace {

// The module's clock: ZSEPA_TODAY=YYYY-MM-DD when set (tests), else today.
zsepa::Date ModuleToday() {
  const char* fixed = std::getenv("ZSEPA_TODAY");
  if (fixed == nullptr || *fixed == '\0') return zsepa::Date::Today();
  const auto date = zsepa::Date::Parse(fixed);
  if (!date || std::string_view(fixed).size() != 10 || fixed[4] != '-') {
    throw std::runtime_error("ZSEPA_TODAY must read YYYY-MM-DD");
  }
  return *date;
}

}  // namespace

// The one symbol the module exports.
extern "C" __attribute__((visibility("default"))) int
sqlite3_zsepafunctions_init(sqlite3* db, char** error_message,
                            const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  const int rc = zsepa::sqlite::RegisterFunctions(db, ModuleToday);
  if (rc != SQLITE_OK && error_message != nullptr) {
    *error_message = sqlite3_mprintf("zsepafunctions: %s", sqlite3_errstr(rc));
  }
  return rc;
}
#endif
