#include "zsepa/odbc_connection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/testing/error_code.h"
#include "base/testing/temp_dir.h"
#include "db/statements.h"
#include "zsepa/date.h"
#include "zsepa/error.h"
#include "zsepa/sqlite_connection.h"
#include "zsepa/variant.h"

namespace zsepa::odbc {
namespace {

using zsepa::testing::ErrorCode;
using Dialect = OdbcConnection::Dialect;

// 2046 ASCII letters, then a character outside the BMP whose UTF-16
// surrogate pair straddles the adapter's 2047-unit read chunks, then text
// with two-byte characters well past the first chunk.
std::string LongText() {
  std::string text(2046, 'a');
  text += "\xF0\x9F\x98\x80";
  for (int i = 0; i < 3000; ++i) text += "\xC3\xA8";
  return text + "z";
}

// An embedded database file with the demo company and a few tables of our
// own, reached through the SQLite ODBC driver with the scalar functions
// loaded from the extension module.
class OdbcConnectionTest : public zsepa::testing::TempDirTest {
 protected:
  void SetUp() override {
    zsepa::testing::TempDirTest::SetUp();
    db_path_ = PathOf("demo.db");
    setenv("ZSEPA_TODAY", "2024-05-02", 1);  // the module's QRV_GETDATE()
    auto db = sqlite::SqliteConnection::Create(db_path_);
    sqlite::FillDemoData(*db);
    db->ExecuteScript(
        "CREATE TABLE ZT_CANARY (X INTEGER); INSERT INTO ZT_CANARY VALUES (1);"
        "CREATE TABLE ZT_TYPES (I INTEGER, BIG INTEGER, SI SMALLINT, R REAL,"
        " S TEXT, D DATE, DT DATETIME, N TEXT, L TEXT);"
        "INSERT INTO ZT_TYPES VALUES (42, 9000000000, -7, 2.5, 'citt\xC3\xA0',"
        " '2024-03-15', '2024-03-15 10:11:12', NULL, '" +
        LongText() + "');");
  }
  std::unique_ptr<OdbcConnection> Open(Dialect dialect = Dialect::kSqlite) {
    return OdbcConnection::Open("Driver=SQLite3;Database=" + db_path_ +
                                    ";LoadExt=" + ZSEPA_SQLITE_FUNCTIONS_MODULE,
                                dialect);
  }

  std::string db_path_;
};

TEST_F(OdbcConnectionTest, MapsColumnTypesToVariants) {
  auto rs = Open()->Execute("SELECT * FROM ZT_TYPES");
  const std::pair<const char*, Variant> cases[] = {
      {"I", int32_t{42}},
      {"big", int64_t{9000000000}},
      {"Si", int16_t{-7}},
      {"R", 2.5},
      {"S", "citt\xC3\xA0"},
      {"D", Date::FromParts(2024, 3, 15)},
      {"DT", Date::FromParts(2024, 3, 15, 10, 11, 12)},
      {"N", Variant::Null()},
      {"L", LongText()},
  };
  for (int32_t i = 0; i < 9; ++i) {
    EXPECT_EQ(rs->Field(cases[i].first), cases[i].second) << cases[i].first;
    EXPECT_EQ(rs->Field(i), cases[i].second) << cases[i].first;
  }
}

// Every field of every row; the port has no column count, so a row ends at
// the first position that raises.
std::vector<std::vector<Variant>> ReadAll(db::Recordset& rs) {
  std::vector<std::vector<Variant>> rows;
  for (; !rs.Eof(); rs.MoveNext()) {
    rows.emplace_back();
    for (int32_t i = 0;; ++i) {
      try {
        rows.back().push_back(rs.Field(i));
      } catch (const Error&) {
        break;
      }
    }
  }
  return rows;
}

// System statements, the scalar functions (loaded by LoadExt) through the
// dialect rewrite included, give the rows of the embedded adapter.
TEST_F(OdbcConnectionTest, SystemStatementsGiveTheEmbeddedAdaptersRows) {
  auto embedded = sqlite::SqliteConnection::Open(
      db_path_, {[] { return Date::FromParts(2024, 5, 2); }});
  auto connection = Open();
  for (const std::string& sql :
       {db::QueryOrdinanteStatement(Variant(int32_t{1000})),
        db::IbanEsteroStatement("FR7630006000011234567890189"),
        db::IndTipoStatoStatement("71", Variant(int32_t{1})),
        // Values with the spaces of a fixed-width column reach the database
        // as they are, and it reads them as numbers.
        db::QueryOrdinanteStatement(Variant("1000 ")),
        db::IndTipoStatoStatement(" 71", Variant(" 1 ")),
        db::BatchStatement(zxEnumFormatoFile::BonificoSEPA, "", Variant(" 1"),
                           1, 15, 2024)}) {
    const auto expected = ReadAll(*embedded->Execute(sql));
    ASSERT_FALSE(expected.empty()) << sql;
    EXPECT_EQ(ReadAll(*connection->Execute(sql)), expected) << sql;
  }
  // The module reads today from ZSEPA_TODAY and refuses any other form.
  setenv("ZSEPA_TODAY", "02/05/2024", 1);
  EXPECT_THROW(connection->Execute("SELECT QRV_GETDATE()")->Field(0), Error);
}

TEST_F(OdbcConnectionTest, RefusesAHostileSecondStatement) {
  const std::string inputs[] = {
      "SELECT 1; DELETE FROM ZT_CANARY",
      "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE CG6G_CODICE='x';"
      "DELETE FROM ZT_CANARY;--'",
  };
  for (Dialect dialect : {Dialect::kSqlite, Dialect::kSqlServer}) {
    auto connection = Open(dialect);
    for (const std::string& input : inputs) {
      EXPECT_THROW(connection->Execute(input), Error) << input;
    }
  }
  auto db = sqlite::SqliteConnection::Open(db_path_);
  EXPECT_EQ(db->Execute("SELECT COUNT(*) FROM ZT_CANARY")->Field(0),
            Variant(int32_t{1}));
}

TEST_F(OdbcConnectionTest, ReportsFailuresWithTheirSqlState) {
  std::string text;
  EXPECT_EQ(
      ErrorCode([] { OdbcConnection::Open("Driver=NoSuchDriver"); }, &text),
      codes::kUnspecifiedFailure);
  EXPECT_EQ(text.rfind("SQLSTATE ", 0), 0u) << text;
  EXPECT_NE(text.find("NoSuchDriver"), std::string::npos) << text;
  auto connection = Open();
  EXPECT_EQ(ErrorCode([&] { connection->Execute("SELEC 1"); }, &text),
            1);  // SQLite's SQLITE_ERROR
  EXPECT_EQ(text.rfind("SQLSTATE HY000: ", 0), 0u) << text;
  EXPECT_NE(text.find("syntax error"), std::string::npos) << text;
  // The connection stays usable after a failed statement.
  EXPECT_EQ(connection->Execute("SELECT X FROM ZT_CANARY")->Field("X"),
            Variant(int32_t{1}));
}

}  // namespace
}  // namespace zsepa::odbc
