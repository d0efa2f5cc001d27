#include "adapters/sqlite/functions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "base/testing/temp_dir.h"
#include "zsepa/error.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa::sqlite {
namespace {

// Expression, and the text of its result ("NULL" for NULL), with today
// 2024-06-01.
const std::pair<std::string, std::string> kCases[] = {
    {"FNEP_ISIBANESTERO('iT')", "0"},
    {"FNEP_ISIBANESTERO('FR7630006000011234567890189')", "1"},
    {"FNEP_ISIBANESTERO(' IT60')", "1"},
    {"FNEP_ISIBANESTERO('\xC3\x89')", "0"},  // one character, two bytes
    {"FNEP_ISIBANESTERO('\xC3\x89T')", "1"},
    {"FNEP_ISIBANESTERO(12345)", "1"},
    {"FNEP_ISIBANESTERO(NULL)", "NULL"},
    {"FNCO_INDTIPOSTATO(86, 1)", "-1"},
    {"FNCO_INDTIPOSTATO(69, 2)", "3"},
    {"FNCO_INDTIPOSTATO(NULL, 1)", "0"},
    {"QRV_GETDATE()", "2024-06-01"},
};

class FunctionsTest : public zsepa::testing::TempDirTest {};

TEST_F(FunctionsTest, LibraryConnection) {
  auto connection = SqliteConnection::Create(
      PathOf("f.db"), {[] { return Date::FromParts(2024, 6, 1, 13, 45, 0); }});
  FillDemoData(*connection);
  for (const auto& [expression, expected] : kCases) {
    const Variant value = connection->Execute("SELECT " + expression)->Field(0);
    EXPECT_EQ(value.IsNull() ? "NULL" : value.ToText(), expected) << expression;
  }
}

// A clock that throws fails the statement instead of crossing SQLite.
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
