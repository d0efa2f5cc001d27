#include "adapters/odbc/odbc_connection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "adapters/sqlite/sqlite_connection.h"
#include "db/statements.h"
#include "model/date.h"
#include "model/error.h"
#include "model/variant.h"

namespace zsepa::odbc {
namespace {

namespace fs = std::filesystem;
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
class OdbcConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    dir_ =
        fs::temp_directory_path() / ("zsepa_odbc_" + std::to_string(getpid()) +
                                     "_" + std::to_string(++counter));
    fs::create_directories(dir_);
    db_path_ = (dir_ / "demo.db").string();
    // The module's clock for QRV_GETDATE().
    setenv("ZSEPA_TODAY", "2024-05-02", 1);

    auto db = sqlite::SqliteConnection::Create(db_path_);
    sqlite::FillDemoData(*db);
    db->ExecuteScript(
        "CREATE TABLE ZT_CANARY (X INTEGER);"
        "INSERT INTO ZT_CANARY VALUES (1);"
        "CREATE TABLE ZT_TYPES (I INTEGER, BIG INTEGER, SI SMALLINT, R REAL,"
        " S TEXT, D DATE, DT DATETIME, N TEXT);"
        "INSERT INTO ZT_TYPES VALUES (42, 9000000000, -7, 2.5, 'citt\xC3\xA0',"
        " '2024-03-15', '2024-03-15 10:11:12', NULL);"
        "CREATE TABLE ZT_LONG (S TEXT);"
        "INSERT INTO ZT_LONG VALUES ('" +
        LongText() + "');");
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string ConnectionString() const {
    return "Driver=SQLite3;Database=" + db_path_ +
           ";LoadExt=" + ZSEPA_SQLITE_FUNCTIONS_MODULE;
  }

  std::unique_ptr<OdbcConnection> Open(Dialect dialect = Dialect::kSqlite) {
    return OdbcConnection::Open(ConnectionString(), dialect);
  }

  // Rows of the canary table, read without ODBC.
  int CanaryRows() {
    auto db = sqlite::SqliteConnection::Open(db_path_);
    return db->Execute("SELECT COUNT(*) FROM ZT_CANARY")->Field(0).ToInt32();
  }

  fs::path dir_;
  std::string db_path_;
};

TEST_F(OdbcConnectionTest, MapsColumnTypesToVariants) {
  auto rs = Open()->Execute("SELECT * FROM ZT_TYPES");
  ASSERT_FALSE(rs->Eof());
  struct Case {
    const char* column;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"I", Variant(int32_t{42})},
      {"big", Variant(int64_t{9000000000})},
      {"Si", Variant(int16_t{-7})},
      {"R", Variant(2.5)},
      {"S", Variant("citt\xC3\xA0")},
      {"D", Variant(Date::FromParts(2024, 3, 15))},
      {"DT", Variant(Date::FromParts(2024, 3, 15, 10, 11, 12))},
      {"N", Variant::Null()},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rs->Field(cases[i].column), cases[i].expected) << cases[i].column;
    EXPECT_EQ(rs->Field(static_cast<int32_t>(i)), cases[i].expected)
        << cases[i].column;
  }
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

TEST_F(OdbcConnectionTest, ReadsLongTextWholeAcrossChunks) {
  auto rs = Open()->Execute("SELECT S FROM ZT_LONG");
  Variant value = rs->Field("S");
  ASSERT_TRUE(value.IsString());
  EXPECT_EQ(*value.AsString(), LongText());
}

TEST_F(OdbcConnectionTest, RunsTheScalarFunctionsThroughTheRewrite) {
  auto connection = Open();
  struct Case {
    std::string sql;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('FR7630006000011234567890189'), "
       "0) As IS_IBAN_ESTERO",
       Variant(int32_t{1})},
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('IT60X0542811101000000123456'), "
       "0) As IS_IBAN_ESTERO",
       Variant(int32_t{0})},
      {"SELECT DBO.FNCO_INDTIPOSTATO(86, 1)", Variant(int32_t{-1})},
      {"SELECT DBO.FNCO_INDTIPOSTATO(71, 1)", Variant(int32_t{2})},
      {"SELECT DBO.FNCO_INDTIPOSTATO(0, 1)", Variant(int32_t{0})},
      {"SELECT QRV_GETDATE()", Variant("2024-05-02")},
      {"SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) WHERE "
       "EF08_DITTA_CG18=1 AND EF08_PROGR=2",
       Variant("ABCDEF12")},
  };
  for (const Case& c : cases) {
    auto rs = connection->Execute(c.sql);
    ASSERT_FALSE(rs->Eof()) << c.sql;
    EXPECT_EQ(rs->Field(0), c.expected) << c.sql;
  }
}

// Every field of every row; the port has no column count, so a row ends at
// the first position that raises.
std::vector<std::vector<Variant>> ReadAll(db::Recordset& rs) {
  std::vector<std::vector<Variant>> rows;
  for (; !rs.Eof(); rs.MoveNext()) {
    std::vector<Variant> row;
    for (int32_t i = 0;; ++i) {
      try {
        row.push_back(rs.Field(i));
      } catch (const Error&) {
        break;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

TEST_F(OdbcConnectionTest, SystemStatementsGiveTheEmbeddedAdaptersRows) {
  const Variant ditta(int32_t{1});
  const std::vector<std::string> statements = {
      db::BatchStatement(db::BatchKind::kOrdiniBonifico, ditta, 1, 17, 2024),
      db::BatchStatement(db::BatchKind::kLocalizzata, ditta, 1, 21, 2024),
      db::BatchStatement(db::BatchKind::kIncasso, ditta, 1, 12, 2024),
      db::CodiceCucStatement(ditta, 1),
      db::IbanEsteroStatement("FR7630006000011234567890189"),
      db::IndTipoStatoStatement("94", ditta),
      db::CausaleInsolutoStatement("MS03"),
      db::QueryOrdinanteStatement(Variant(int32_t{1000})),
      db::QueryCreditoreStatement(Variant(int32_t{1000})),
      db::QueryEffettiDistintaStatement(ditta, 12, 2024),
  };
  sqlite::SqliteConnection::Options options;
  options.clock = [] { return Date::FromParts(2024, 5, 2); };
  auto embedded = sqlite::SqliteConnection::Open(db_path_, options);
  auto connection = Open();
  for (const std::string& sql : statements) {
    auto expected = ReadAll(*embedded->Execute(sql));
    ASSERT_FALSE(expected.empty()) << sql;
    EXPECT_EQ(ReadAll(*connection->Execute(sql)), expected) << sql;
  }
}

TEST_F(OdbcConnectionTest, SqlServerDialectSendsTheTextUnchanged) {
  // SQLite has no ISNULL function: only the rewrite makes this run.
  auto connection = Open(Dialect::kSqlServer);
  EXPECT_THROW(connection->Execute("SELECT ISNULL(NULL, 0)"), Error);
  EXPECT_EQ(connection->Execute("SELECT 'ok' AS A")->Field("A"), Variant("ok"));
}

TEST_F(OdbcConnectionTest, RefusesAHostileSecondStatement) {
  const std::vector<std::string> inputs = {
      "SELECT 1; DELETE FROM ZT_CANARY",
      "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE CG6G_CODICE='AM04'; "
      "DROP TABLE ZT_CANARY",
      "SELECT * FROM CG6G_CAUSPAGSEPA WHERE CG6G_CODICE='x';DELETE FROM "
      "ZT_CANARY;--'",
  };
  for (Dialect dialect : {Dialect::kSqlite, Dialect::kSqlServer}) {
    auto connection = Open(dialect);
    for (const std::string& input : inputs) {
      EXPECT_THROW(connection->Execute(input), Error) << input;
    }
  }
  EXPECT_EQ(CanaryRows(), 1);
}

TEST_F(OdbcConnectionTest, ReportsFailuresWithTheirSqlState) {
  try {
    OdbcConnection::Open("Driver=NoSuchDriver");
    FAIL() << "opened a data source with no driver";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), kOdbcFailure);
    EXPECT_EQ(e.Description().rfind("SQLSTATE ", 0), 0u) << e.Description();
    EXPECT_NE(e.Description().find("NoSuchDriver"), std::string::npos)
        << e.Description();
  }
  auto connection = Open();
  try {
    connection->Execute("SELEC 1");
    FAIL() << "ran a bad statement";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), 1) << e.Description();  // SQLite's SQLITE_ERROR
    EXPECT_EQ(e.Description().rfind("SQLSTATE HY000: ", 0), 0u)
        << e.Description();
    EXPECT_NE(e.Description().find("syntax error"), std::string::npos)
        << e.Description();
  }
  EXPECT_THROW(connection->Execute("SELECT NO_SUCH_COLUMN FROM ZT_CANARY"),
               Error);
  // The connection stays usable after failed statements.
  EXPECT_EQ(connection->Execute("SELECT X FROM ZT_CANARY")->Field("X"),
            Variant(int32_t{1}));
}

TEST_F(OdbcConnectionTest, RefusesReadsWithoutACurrentRow) {
  auto connection = Open();
  auto rs = connection->Execute(
      "SELECT CG07_CODICE FROM CG07_TABSTATIEST ORDER BY CG07_CODICE");
  std::vector<int32_t> codes;
  for (; !rs->Eof(); rs->MoveNext()) codes.push_back(rs->Field(0).ToInt32());
  EXPECT_EQ(codes, (std::vector<int32_t>{29, 69, 71, 86, 94}));
  EXPECT_THROW(rs->Field(0), Error);
  EXPECT_THROW(rs->MoveNext(), Error);

  auto open = connection->Execute("SELECT X FROM ZT_CANARY");
  EXPECT_THROW(open->Field("NO_SUCH_COLUMN"), Error);
  EXPECT_THROW(open->Field(1), Error);
  EXPECT_THROW(open->Field(-1), Error);
  open->Close();
  open->Close();
  EXPECT_TRUE(open->Eof());
  EXPECT_THROW(open->Field("X"), Error);
  EXPECT_THROW(open->MoveNext(), Error);
}

TEST_F(OdbcConnectionTest, StatementWithoutResultIsAtEof) {
  auto connection = Open();
  EXPECT_TRUE(connection->Execute("INSERT INTO ZT_CANARY VALUES (2)")->Eof());
  EXPECT_TRUE(connection->Execute("DELETE FROM ZT_CANARY WHERE X = 99")->Eof());
  EXPECT_EQ(CanaryRows(), 2);
}

TEST_F(OdbcConnectionTest, RecordsetOutlivesItsConnection) {
  auto connection = Open();
  auto rs = connection->Execute(
      "SELECT CG07_DESCR FROM CG07_TABSTATIEST ORDER BY CG07_CODICE");
  connection.reset();
  EXPECT_EQ(rs->Field(0), Variant("FRANCIA"));
  rs->MoveNext();
  EXPECT_EQ(rs->Field(0), Variant("STATI UNITI"));
}

}  // namespace
}  // namespace zsepa::odbc
