#include "zsepa/sqlite_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "base/testing/error_code.h"
#include "base/testing/temp_dir.h"
#include "zsepa/error.h"

namespace zsepa::sqlite {

struct SqliteTestAccess {
  static std::unique_ptr<SqliteConnection> CreateFromSchema(
      const std::string& path, std::string_view schema) {
    return SqliteConnection::CreateFromSchema(path, {}, schema);
  }
};

namespace {

using zsepa::testing::ErrorCode;

class SqliteConnectionTest : public zsepa::testing::TempDirTest {
 protected:
  std::unique_ptr<SqliteConnection> NewDemo() {
    auto connection = SqliteConnection::Create(PathOf("demo.db"));
    FillDemoData(*connection);
    return connection;
  }
  static Variant Scalar(SqliteConnection& connection, const std::string& sql) {
    return connection.Execute(sql)->Field(0);
  }
};

TEST_F(SqliteConnectionTest, CreateFillOpen) {
  const std::string path = PathOf("demo.db");
  NewDemo();
  auto connection = SqliteConnection::Open(path);
  EXPECT_EQ(Scalar(*connection, "PRAGMA user_version"), Variant(int32_t{1}));
  // A second fill fails on the keys and leaves the data as it was.
  EXPECT_EQ(ErrorCode([&] { FillDemoData(*connection); }), 19);  // constraint
  EXPECT_EQ(Scalar(*connection, "SELECT COUNT(*) FROM CG07_TABSTATIEST"),
            Variant(int32_t{5}));
  // Create refuses an existing file and leaves it alone.
  EXPECT_NE(ErrorCode([&] { SqliteConnection::Create(path); }), 0);
  EXPECT_EQ(Scalar(*SqliteConnection::Open(path),
                   "SELECT COUNT(*) FROM EF01_SCADENZE"),
            Variant(int32_t{3}));
  // A failed create leaves no half-made file; failed opens name the file.
  EXPECT_EQ(ErrorCode([&] {
              SqliteTestAccess::CreateFromSchema(
                  PathOf("broken.db"),
                  "CREATE TABLE A (X); CREATE TABLE A (Y);");
            }),
            1);
  for (const auto& file : std::filesystem::directory_iterator(dir())) {
    EXPECT_EQ(file.path().filename(), "demo.db");  // nothing of broken.db
  }
  std::string text;
  EXPECT_EQ(
      ErrorCode([&] { SqliteConnection::Open(PathOf("missing.db")); }, &text),
      14);
  EXPECT_NE(text.find("missing.db"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(PathOf("missing.db")));
  std::ofstream(PathOf("text.db"))
      << "not a database, just some text that is long enough";
  EXPECT_EQ(ErrorCode([&] { SqliteConnection::Open(PathOf("text.db")); }), 26);
}

TEST_F(SqliteConnectionTest, TypeMapping) {
  auto connection = NewDemo();
  connection->ExecuteScript(
      "CREATE TABLE T (I INTEGER, B INTEGER, R REAL, S TEXT, N TEXT, D DATE, "
      "DT datetime, X DATE);"
      "INSERT INTO T VALUES (7, 5000000000, 2.5, 'Rossi & Figli', NULL, "
      "'2024-03-15', '2024-03-15 10:20:30', 'soon');");
  auto rs = connection->Execute("SELECT * FROM T");
  const std::pair<const char*, Variant> expected[] = {
      {"I", int32_t{7}},
      {"b", int64_t{5000000000}},
      {"R", 2.5},
      {"s", "Rossi & Figli"},
      {"N", Variant::Null()},
      {"D", Date::FromParts(2024, 3, 15)},
      {"Dt", Date::FromParts(2024, 3, 15, 10, 20, 30)},
  };
  for (int32_t i = 0; i < 7; ++i) {
    EXPECT_EQ(rs->Field(expected[i].first), expected[i].second) << i;
    EXPECT_EQ(rs->Field(i), expected[i].second) << i;
  }
  EXPECT_EQ(ErrorCode([&] { rs->Field("X"); }), 13);  // a date that is none
}

TEST_F(SqliteConnectionTest, RecordsetStates) {
  auto connection = NewDemo();
  auto rs = connection->Execute(
      "SELECT CG07_CODICE FROM CG07_TABSTATIEST WHERE CG07_CODICE=86");
  EXPECT_EQ(ErrorCode([&] { rs->Field("NOPE"); }), 3265);
  EXPECT_EQ(ErrorCode([&] { rs->Field(1); }), 3265);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorCode([&] { rs->Field(0); }), 3021);
  rs->Close();
  rs->Close();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorCode([&] { rs->Field(0); }), 3704);
  EXPECT_EQ(ErrorCode([&] { rs->MoveNext(); }), 3704);
  // A recordset may outlive its connection.
  auto open = connection->Execute(
      "SELECT CG07_DESCR FROM CG07_TABSTATIEST WHERE CG07_CODICE=94");
  connection.reset();
  EXPECT_EQ(open->Field(0), Variant("GERMANIA"));
}

TEST_F(SqliteConnectionTest, OneStatementOnly) {
  auto connection = NewDemo();
  connection->ExecuteScript(
      "CREATE TABLE CANARY (X INTEGER); INSERT INTO CANARY VALUES (1);");
  const std::string hostile[] = {
      "INSERT INTO CANARY VALUES (2); DROP TABLE CANARY",
      "SELECT 1 -- x\n; DROP TABLE CANARY",
      "SELECT 1;;",
      std::string("SELECT 1\0; DROP TABLE CANARY", 29),
      " -- nothing\r\n",
  };
  for (const auto& sql : hostile) {
    EXPECT_NE(ErrorCode([&] { connection->Execute(sql); }), 0) << sql;
  }
  EXPECT_EQ(Scalar(*connection, "SELECT COUNT(*) FROM CANARY"),
            Variant(int32_t{1}));
  EXPECT_EQ(Scalar(*connection, "SELECT 2; -- done\r\n /* end */ "),
            Variant(int32_t{2}));
  std::string text;
  EXPECT_EQ(
      ErrorCode([&] { connection->Execute("SELECT * FROM NOPE"); }, &text), 1);
  EXPECT_EQ(text, "no such table: NOPE");
}

// Every field of every row (type and text), then the first row's field
// `name`, or the error codes where they fail.
std::string Rows(db::Recordset& rs, const std::string& name) {
  std::string named;
  const int32_t code = ErrorCode([&] { named = rs.Field(name).ToText(); });
  std::string text = std::to_string(code) + ":" + named + ":";
  for (; !rs.Eof(); rs.MoveNext()) {
    for (int i = 0;; ++i) {
      Variant value;
      if (ErrorCode([&] { value = rs.Field(i); }) != 0) break;
      text += std::to_string(static_cast<int>(value.type())) + ":" +
              value.ToText() + "|";
    }
    text += "\n";
  }
  return text;
}

// Statements of one shape, run on the shape's prepared statement, give what
// each gives run alone on a connection that never saw the shape: a column
// named after a literal, and a shape already being read, run as they are.
// A read scope ends its transaction also when the reads fail.
TEST_F(SqliteConnectionTest, StatementsOfOneShapeGiveWhatTheirTextGives) {
  NewDemo();
  const std::string path = PathOf("demo.db");
  const std::pair<std::string, std::string> statements[] = {
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('IT60X0542811101000000123456'), "
       "0) As IS_IBAN_ESTERO",
       "IS_IBAN_ESTERO"},
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('DE89370400440532013000'), 0) As "
       "IS_IBAN_ESTERO",
       "is_iban_estero"},
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('it''s'), 0) As IS_IBAN_ESTERO",
       "IS_IBAN_ESTERO"},
      {"SELECT DBO.FNCO_INDTIPOSTATO(86, 1)", "FNCO_INDTIPOSTATO(86, 1)"},
      {"SELECT DBO.FNCO_INDTIPOSTATO(29, 1)", "FNCO_INDTIPOSTATO(29, 1)"},
      {"SELECT * FROM CG07_TABSTATIEST WITH(NOLOCK) WHERE CG07_CODICE=86",
       "CG07_CODICE"},
      {"SELECT * FROM CG07_TABSTATIEST WITH(NOLOCK) WHERE CG07_CODICE=29",
       "CG07_CODICE"},
      {"SELECT * FROM CG07_TABSTATIEST WHERE CG07_CODICE='86'", "CG07_CODICE"},
      {"SELECT 7/2, '7'/2, 'a' || 1, 3 = '3', 5 AS N", "N"},
      {"SELECT 9/2, '9'/2, 'b' || 2, 4 = '4', 6 AS N", "N"},
  };
  auto shared = SqliteConnection::Open(path);
  const db::ReadScope reads(shared.get());
  for (int round = 0; round < 2; ++round) {
    for (const auto& [sql, name] : statements) {
      const std::string alone =
          Rows(*SqliteConnection::Open(path)->Execute(sql), name);
      auto rs = shared->Execute(sql);
      auto again = shared->Execute(sql);  // while `rs` reads the shape
      EXPECT_EQ(Rows(*again, name), alone) << sql;
      EXPECT_EQ(Rows(*rs, name), alone) << sql;
    }
  }
  auto other = SqliteConnection::Open(path);
  EXPECT_NE(ErrorCode([&] {
              const db::ReadScope failing(other.get());
              other->Execute("SELECT * FROM CG07_TABSTATIEST");
              other->Execute("SELECT * FROM NOPE");
            }),
            0);
  EXPECT_TRUE(other->BeginReads());  // the failed scope ended its own
  EXPECT_FALSE(other->BeginReads());
  other->EndReads();
}

}  // namespace
}  // namespace zsepa::sqlite
