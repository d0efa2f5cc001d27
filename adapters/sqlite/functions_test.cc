#include "adapters/sqlite/functions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "adapters/sqlite/embedded_sql.h"
#include "adapters/sqlite/sqlite_connection.h"
#include "adapters/sqlite/test_support.h"
#include "model/error.h"

namespace zsepa::sqlite {
namespace {

struct FunctionCase {
  std::string expression;
  std::string expected;  // text of the result, "NULL" for NULL
};

const FunctionCase kCases[] = {
    {"FNEP_ISIBANESTERO('IT60X0542811101000000123456')", "0"},
    {"FNEP_ISIBANESTERO('it60x05428')", "0"},
    {"FNEP_ISIBANESTERO('iT')", "0"},
    {"FNEP_ISIBANESTERO('FR7630006000011234567890189')", "1"},
    {"FNEP_ISIBANESTERO('DE')", "1"},
    {"FNEP_ISIBANESTERO(' IT60')", "1"},
    {"FNEP_ISIBANESTERO('I')", "0"},
    {"FNEP_ISIBANESTERO('')", "0"},
    {"FNEP_ISIBANESTERO('\xC3\x89')", "0"},  // one character, two bytes
    {"FNEP_ISIBANESTERO('\xC3\x89T')", "1"},
    {"FNEP_ISIBANESTERO(12345)", "1"},
    {"FNEP_ISIBANESTERO(NULL)", "NULL"},
    {"FNCO_INDTIPOSTATO(86, 1)", "-1"},
    {"FNCO_INDTIPOSTATO('86', 1)", "-1"},
    {"FNCO_INDTIPOSTATO(29, 1)", "1"},
    {"FNCO_INDTIPOSTATO(71, 1)", "2"},
    {"FNCO_INDTIPOSTATO(69, 2)", "3"},
    {"FNCO_INDTIPOSTATO(0, 1)", "0"},
    {"FNCO_INDTIPOSTATO(999, 1)", "0"},
    {"FNCO_INDTIPOSTATO(NULL, 1)", "0"},
    {"QRV_GETDATE()", "2024-06-01"},
    {"QRV_GETDATE() <= '2024-06-01'", "1"},
};

class FunctionsTest : public TempDirTest {};

TEST_F(FunctionsTest, LibraryConnection) {
  auto connection = SqliteConnection::Create(
      PathOf("f.db"), {[] { return Date::FromParts(2024, 6, 1, 13, 45, 0); }});
  FillDemoData(*connection);
  for (const auto& c : kCases) {
    auto rs = connection->Execute("SELECT " + c.expression);
    const Variant value = rs->Field(0);
    EXPECT_EQ(value.IsNull() ? "NULL" : value.ToText(), c.expected)
        << c.expression;
  }
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// The loadable module on a connection that this library did not open.
TEST_F(FunctionsTest, LoadableModule) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  ASSERT_EQ(
      sqlite3_exec(
          raw,
          (std::string(SchemaV1Sql()) + std::string(DemoDataSql())).c_str(),
          nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_enable_load_extension(raw, 1);
  char* error = nullptr;
  // No entry point named: SQLite derives it from the module's file name.
  ASSERT_EQ(sqlite3_load_extension(raw, ZSEPA_SQLITE_FUNCTIONS_MODULE, nullptr,
                                   &error),
            SQLITE_OK)
      << (error != nullptr ? error : "");
  ::setenv("ZSEPA_TODAY", "2024-06-01", 1);
  for (const auto& c : kCases) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, ("SELECT " + c.expression).c_str(), -1,
                                 &statement, nullptr),
              SQLITE_OK)
        << c.expression;
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW) << c.expression;
    const auto* text = sqlite3_column_text(statement, 0);
    EXPECT_EQ(text == nullptr ? "NULL" : reinterpret_cast<const char*>(text),
              c.expected)
        << c.expression;
    sqlite3_finalize(statement);
  }
  ::setenv("ZSEPA_TODAY", "01/06/2024", 1);
  EXPECT_NE(
      sqlite3_exec(raw, "SELECT QRV_GETDATE()", nullptr, nullptr, nullptr),
      SQLITE_OK);
  ::unsetenv("ZSEPA_TODAY");
}

TEST_F(FunctionsTest, FailingClockFailsTheStatement) {
  auto connection = SqliteConnection::Create(
      PathOf("f.db"),
      {[]() -> Date { throw std::runtime_error("clock broken"); }});
  try {
    connection->Execute("SELECT dbo.QRV_GETDATE()");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Description(), "clock broken");
  }
}

}  // namespace
}  // namespace zsepa::sqlite
