#include "adapters/sqlite/sqlite_connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "adapters/sqlite/test_support.h"
#include "model/error.h"

namespace zsepa::sqlite {

struct SqliteTestAccess {
  static std::unique_ptr<SqliteConnection> CreateFromSchema(
      const std::string& path, std::string_view schema) {
    return SqliteConnection::CreateFromSchema(path, {}, schema);
  }
};

namespace {

// The code of the error that `action` raises; 0 when it raises none.
int32_t ErrorCode(const std::function<void()>& action,
                  std::string* text = nullptr) {
  try {
    action();
  } catch (const Error& e) {
    if (text != nullptr) *text = e.Description();
    return e.Code();
  }
  return 0;
}

std::string Lines(const std::vector<std::string>& lines, bool final_crlf) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i];
    if (final_crlf || i + 1 < lines.size()) out += "\r\n";
  }
  return out;
}

class SqliteConnectionTest : public TempDirTest {
 protected:
  std::unique_ptr<SqliteConnection> NewDemo(Date today = Date::FromParts(2024,
                                                                         6,
                                                                         1)) {
    auto connection = SqliteConnection::Create(PathOf("demo.db"),
                                               {[today] { return today; }});
    FillDemoData(*connection);
    return connection;
  }
  static Variant Scalar(SqliteConnection& connection, const std::string& sql) {
    return connection.Execute(sql)->Field(0);
  }
};

TEST_F(SqliteConnectionTest, CreateFillReopen) {
  const std::string path = PathOf("demo.db");
  NewDemo();
  auto connection = SqliteConnection::Open(path);
  EXPECT_EQ(Scalar(*connection, "PRAGMA user_version"), Variant(int32_t{1}));
  EXPECT_EQ(Scalar(*connection, "SELECT COUNT(*) FROM EF10_ORDPBONIF"),
            Variant(int32_t{3}));
  // A second fill fails on the keys and leaves the data as it was.
  EXPECT_EQ(ErrorCode([&] { FillDemoData(*connection); }), 19);  // constraint
  EXPECT_EQ(Scalar(*connection, "SELECT COUNT(*) FROM CG07_TABSTATIEST"),
            Variant(int32_t{5}));
  // Create refuses an existing file and leaves it alone.
  EXPECT_NE(ErrorCode([&] { SqliteConnection::Create(path); }), 0);
  EXPECT_EQ(Scalar(*SqliteConnection::Open(path),
                   "SELECT COUNT(*) FROM EF01_SCADENZE"),
            Variant(int32_t{3}));
}

TEST_F(SqliteConnectionTest, FailedCreateLeavesNoFile) {
  const std::string path = PathOf("broken.db");
  EXPECT_EQ(ErrorCode([&] {
              SqliteTestAccess::CreateFromSchema(
                  path, "CREATE TABLE A (X); CREATE TABLE A (Y);");
            }),
            1);
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(SqliteConnectionTest, OpenFailures) {
  std::string text;
  EXPECT_EQ(
      ErrorCode([&] { SqliteConnection::Open(PathOf("missing.db")); }, &text),
      14);
  EXPECT_NE(text.find("missing.db"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(PathOf("missing.db")));
  std::ofstream(PathOf("text.db"))
      << "not a database, just some text that is long enough";
  EXPECT_EQ(ErrorCode([&] { SqliteConnection::Open(PathOf("text.db")); }), 26);
  EXPECT_NE(ErrorCode([&] { SqliteConnection::Open(""); }), 0);
}

TEST_F(SqliteConnectionTest, TypeMapping) {
  auto connection = NewDemo();
  connection->ExecuteScript(
      "CREATE TABLE T (I INTEGER, B INTEGER, R REAL, S TEXT, N TEXT, D DATE, "
      "DT datetime, X DATE);"
      "INSERT INTO T VALUES (7, 5000000000, 2.5, 'Rossi & Figli', NULL, "
      "'2024-03-15',"
      " '2024-03-15 10:20:30', 'soon');");
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
    EXPECT_EQ(rs->Field(expected[i].first), expected[i].second)
        << expected[i].first;
    EXPECT_EQ(rs->Field(i), expected[i].second) << i;
  }
  EXPECT_EQ(ErrorCode([&] { rs->Field("X"); }),
            13);  // a date column holding no date
}

TEST_F(SqliteConnectionTest, RecordsetStates) {
  auto connection = NewDemo();
  auto rs = connection->Execute(
      "SELECT CG07_CODICE FROM CG07_TABSTATIEST WHERE CG07_CODICE IN (29, 86) "
      "ORDER BY 1");
  EXPECT_EQ(ErrorCode([&] { rs->Field("NOPE"); }), 3265);
  EXPECT_EQ(ErrorCode([&] { rs->Field(1); }), 3265);
  EXPECT_EQ(ErrorCode([&] { rs->Field(-1); }), 3265);
  rs->MoveNext();
  EXPECT_EQ(rs->Field(0), Variant(int32_t{86}));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorCode([&] { rs->Field(0); }), 3021);
  EXPECT_EQ(ErrorCode([&] { rs->MoveNext(); }), 3021);
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
      "SELECT 1; DROP TABLE CANARY",
      "INSERT INTO CANARY VALUES (2); DROP TABLE CANARY",
      "SELECT 1 -- x\n; DROP TABLE CANARY",
      "SELECT 1;;",
      std::string("SELECT 1\0; DROP TABLE CANARY", 29),
      "",
      " -- nothing\r\n",
  };
  for (const auto& sql : hostile) {
    std::string text;
    EXPECT_NE(ErrorCode([&] { connection->Execute(sql); }, &text), 0) << sql;
    EXPECT_EQ(Scalar(*connection, "SELECT COUNT(*) FROM CANARY"),
              Variant(int32_t{1}))
        << sql;
  }
  EXPECT_EQ(Scalar(*connection, "SELECT 2; -- done\r\n /* end */ "),
            Variant(int32_t{2}));
  std::string text;
  EXPECT_EQ(
      ErrorCode([&] { connection->Execute("SELECT * FROM NOPE"); }, &text), 1);
  EXPECT_EQ(text, "no such table: NOPE");
}

// The system's own statement texts run on the shipped schema and demo data.
TEST_F(SqliteConnectionTest, SystemStatementsRun) {
  const std::string kLine2 =
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     "
      "CG07_ANAG.CG07_CODISO ISOANAG, CG07_ANAG.CG07_DESCR DESCRNAZANAG,";
  const std::string kLine3 =
      "       CG16_RAGSOCOR,  CG16_INDIRCOR,   CG16_CAPCOR, CG16_CITTACOR, "
      "CG16_PROVCOR,  "
      "CG07_CORR.CG07_CODISO ISOCORR, CG07_CORR.CG07_DESCR DESCRNAZCORR,";
  const std::string kLine6 =
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_ANAG ON "
      "CG07_ANAG.CG07_CODICE=CG16_CODICE_CG07";
  const std::string kLine7 =
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_CORR ON "
      "CG07_CORR.CG07_CODICE=CG16_CODICE_CG07";
  const std::string ordinante = Lines(
      {"SELECT 1 AS INDTIPO,", kLine2, kLine3, "       CG1G_DATAFINEVAL",
       "FROM VCG16_ANAGGEN_STORICO", kLine6, kLine7,
       "WHERE CG1G_DATAFINEVAL >= dbo.QRV_GETDATE()", "  AND CG16_CODICE=1000",
       "UNION", "SELECT 2 AS INDTIPO,", kLine2, kLine3,
       "       NULL AS CG1G_DATAFINEVAL", "FROM CG16_ANAGGEN", kLine6, kLine7,
       "WHERE CG16_CODICE=1000", "ORDER BY INDTIPO,CG1G_DATAFINEVAL"},
      true);
  {
    auto connection = NewDemo(Date::FromParts(2024, 6, 1));
    auto rs = connection->Execute(ordinante);
    EXPECT_EQ(rs->Field("CG16_INDIRIZZO"), Variant("VIA GARIBALDI 7"));
    EXPECT_EQ(rs->Field("CG1G_DATAFINEVAL"),
              Variant(Date::FromParts(2099, 12, 31)));
    EXPECT_EQ(rs->Field("DESCRNAZCORR"), Variant("ITALIA"));
    rs->MoveNext();
    EXPECT_EQ(rs->Field("INDTIPO"), Variant(int32_t{2}));
    EXPECT_EQ(rs->Field("CG16_INDIRIZZO"), Variant("VIA DEI MILLE 12"));
    EXPECT_TRUE(rs->Field("CG1G_DATAFINEVAL").IsNull());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());  // the version that ended in 2020 is not valid
  }
  std::filesystem::remove(PathOf("demo.db"));
  auto connection = NewDemo(Date::FromParts(2100, 1, 1));
  EXPECT_EQ(connection->Execute(ordinante)->Field("CG16_INDIRIZZO"),
            Variant("VIA DEI MILLE 12"));

  const std::string spaces36(36, ' '), spaces37(37, ' '), spaces41(41, ' ');
  const std::string effetti =
      Lines({"SELECT EF01_NUMEFF,EF01_IMPEFFNETPREV_S",
             "FROM EF09_DISTINTE WITH(NOLOCK)",
             "INNER JOIN EF06_SCADSTO WITH(NOLOCK) ON "
             "[EF06_DITTA_EF09]=EF09_DITTA_CG18",
             spaces36 + "AND [EF06_INDTIPODIST_EF09]=EF09_INDTIPODIST",
             spaces36 + "AND [EF06_ANNO_EF09]=EF09_ANNO",
             spaces36 + "AND [EF06_NUMDIST_EF09]=EF09_NUMDIST",
             "INNER JOIN EF01_SCADENZE WITH(NOLOCK) ON EF01_DITTA_CG18 = "
             "EF06_DITTA_CG18",
             spaces37 + "AND EF01_NUMREG_CO99 = EF06_NUMREG_CO99",
             spaces37 + "AND EF01_RIGACONT_CG42 = EF06_RIGACONT_EF01",
             spaces37 + "AND EF01_PROGEC_EC01 = EF06_PROGEC_EF01",
             spaces37 + "AND EF01_PROGEFF = EF06_PROGEFF_EF01",
             spaces37 + "AND EF06_INDTIPOPER = 3", "WHERE EF09_DITTA_CG18=1",
             "  AND EF09_NUMDIST=12", "  AND EF09_ANNO=2024",
             "  AND EF09_INDTIPODIST=1"},
            true);
  std::vector<std::string> items;
  for (auto rs = connection->Execute(effetti); !rs->Eof(); rs->MoveNext()) {
    items.push_back(rs->Field("EF01_NUMEFF").ToText() + "=" +
                    (rs->Field("EF01_IMPEFFNETPREV_S").IsNull()
                         ? "NULL"
                         : rs->Field("EF01_IMPEFFNETPREV_S").ToText()));
  }
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{"2024/0001=120.5", "2024/0002=75",
                                             "2024/0003=NULL"}));

  struct Case {
    std::string sql, column;
    Variant expected;
  };
  const Case cases[] = {
      {Lines({"SELECT "
              "EF10_IBANORDPBONIF,EF10_INDESITO,EF10_FLGBONACC,EF10_DATAVALUTA,"
              "CG12_CODBICSWIFT,EF10_BANCAPRES_CG12 ",
              ",0 AS EF08_FLGRIDSDDRAGGR", ",0 AS EF08_INDCONTPMTINF ",
              ",EF08_INDCOMPIND ", "FROM EF10_ORDPBONIF WITH(NOLOCK)",
              "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
              "EF08_DITTA_CG18=EF10_DITTA_CG18",
              spaces41 + "AND EF08_PROGR=EF10_PROGR_EF08",
              "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
              "CG12_BANCA=EF10_BANCAPRES_CG12",
              "WHERE EF10_DITTA_CG18=1", " AND EF10_INDORDPBONIF=1",
              " AND EF10_ANNO=2024", " AND EF10_NUMORDPBONIF=16"},
             false),
       "EF10_DATAVALUTA", Date::FromParts(2024, 3, 20)},
      {Lines({"SELECT EF27_IBANORDPBONIF as EF10_IBANORDPBONIF,EF27_INDESITO "
              "AS EF10_INDESITO,EF27_FLGBONACC AS "
              "EF10_FLGBONACC,EF27_DATAVALUTA AS EF10_DATAVALUTA,EF08_BICBANCA "
              "AS CG12_CODBICSWIFT,NULL AS "
              "EF10_BANCAPRES_CG12 ",
              ",0 AS EF08_FLGRIDSDDRAGGR", ",0 AS EF08_INDCONTPMTINF ",
              ",EF08_INDCOMPIND ", "FROM EF27_DISTPAGLOCALIZZ WITH(NOLOCK)",
              "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
              "EF08_DITTA_CG18=EF27_DITTA_CG18",
              spaces41 + "AND EF08_PROGR=EF27_PROGR_EF08",
              "WHERE EF27_DITTA_CG18=1", " AND EF27_INDORDPBONIF=1",
              " AND EF27_ANNO=2024", " AND EF27_NUMORDPBONIF=21"},
             false),
       "EF10_DATAVALUTA", Date::FromParts(2024, 4, 2)},
      {Lines({"SELECT EF08_IBANEFFPRESEF AS EF10_IBANORDPBONIF, 0 AS "
              "EF10_INDESITO,0 AS EF10_FLGBONACC,"
              "EF09_DATAREGCOGE AS "
              "EF10_DATAVALUTA,CG12_CODBICSWIFT,EF08_BANCA_CG12 AS "
              "EF10_BANCAPRES_CG12, ",
              "EF08_FLGRIDSDDRAGGR,", "EF08_INDCONTPMTINF,", "EF08_INDCOMPIND ",
              "FROM EF09_DISTINTE WITH(NOLOCK)",
              "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
              "EF08_DITTA_CG18=EF09_DITTA_CG18",
              spaces41 + "AND EF08_PROGR=EF09_PROGR_EF08",
              "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
              "CG12_BANCA=EF09_BANCAPRES_CG12",
              "WHERE EF08_DITTA_CG18=1", " AND EF09_INDTIPODIST=1",
              " AND EF09_ANNO=2024", " AND EF09_NUMDIST=12"},
             false),
       "EF10_DATAVALUTA", Date::FromParts(2024, 5, 2)},
      {Lines(
           {"SELECT ",
            "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,  "
            "  CG16_PROV,     "
            "CG07_CODISO ISOANAG, CG07_DESCR DESCRNAZANAG",
            "FROM CG16_ANAGGEN",
            "LEFT OUTER JOIN CG07_TABSTATIEST  ON CG07_CODICE=CG16_CODICE_CG07",
            "WHERE CG16_CODICE=1000"},
           true),
       "CG16_RAGSOANAG", "OFFICINE ROSSI & FIGLI SRL"},
      {"SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) WHERE "
       "EF08_DITTA_CG18=1 AND EF08_PROGR=2",
       "EF08_CODICECUC", "ABCDEF12"},
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('FR7630006000011234567890189'), 0) "
       "As IS_IBAN_ESTERO",
       "IS_IBAN_ESTERO", int32_t{1}},
      {"SELECT DBO.FNCO_INDTIPOSTATO(86, 1)", "", int32_t{-1}},
      {"SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE CG6G_CODICE='MD06'",
       "CG6G_INDTIPOMOV", int32_t{2}},
      {"SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE CG6G_CODICE='MS03'",
       "CG6G_INDTIPOMOV", Variant::Null()},
  };
  for (const auto& c : cases) {
    auto rs = connection->Execute(c.sql);
    ASSERT_FALSE(rs->Eof()) << c.sql;
    EXPECT_EQ(c.column.empty() ? rs->Field(0) : rs->Field(c.column), c.expected)
        << c.sql;
  }
}

}  // namespace
}  // namespace zsepa::sqlite
