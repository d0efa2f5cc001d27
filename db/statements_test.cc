#include "db/statements.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/testing/error_code.h"
#include "db/sql_value.h"
#include "zsepa/error.h"

namespace zsepa::db {
namespace {

using zsepa::testing::ErrorCode;

// One whole text per statement kind, byte for byte.
TEST(StatementsTest, WholeTexts) {
  // The two halves of the master-data UNION share these lines.
  const std::string kOrdinanteColumns =
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_ANAG.CG07_CODISO ISOANAG, "
      "CG07_ANAG.CG07_DESCR DESCRNAZANAG,\r\n"
      "       CG16_RAGSOCOR,  CG16_INDIRCOR,   CG16_CAPCOR, CG16_CITTACOR, "
      "CG16_PROVCOR,  CG07_CORR.CG07_CODISO ISOCORR, "
      "CG07_CORR.CG07_DESCR DESCRNAZCORR,\r\n";
  const std::string kOrdinanteJoins =
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_ANAG ON "
      "CG07_ANAG.CG07_CODICE=CG16_CODICE_CG07\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_CORR ON "
      "CG07_CORR.CG07_CODICE=CG16_CODICE_CG07\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {BatchStatement(zxEnumFormatoFile::BonificoSEPA, "", Variant(1.0), 1, 15,
                      2024),
       "SELECT EF10_IBANORDPBONIF,EF10_INDESITO,EF10_FLGBONACC,EF10_DATAVALUTA,"
       "CG12_CODBICSWIFT,EF10_BANCAPRES_CG12 \r\n,0 AS EF08_FLGRIDSDDRAGGR\r\n"
       ",0 AS EF08_INDCONTPMTINF \r\n,EF08_INDCOMPIND \r\n"
       "FROM EF10_ORDPBONIF WITH(NOLOCK)\r\n"
       "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
       "EF08_DITTA_CG18=EF10_DITTA_CG18\r\n"
       "                                         "
       "AND EF08_PROGR=EF10_PROGR_EF08\r\n"
       "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
       "CG12_BANCA=EF10_BANCAPRES_CG12\r\nWHERE EF10_DITTA_CG18=1\r\n"
       " AND EF10_INDORDPBONIF=1\r\n AND EF10_ANNO=2024\r\n"
       " AND EF10_NUMORDPBONIF=15"},
      {BatchStatement(zxEnumFormatoFile::BonificoEsteroXML, "FR",
                      Variant("-12"), -3, 2147483647, 2024),
       "SELECT EF27_IBANORDPBONIF as EF10_IBANORDPBONIF,"
       "EF27_INDESITO AS EF10_INDESITO,EF27_FLGBONACC AS EF10_FLGBONACC,"
       "EF27_DATAVALUTA AS EF10_DATAVALUTA,EF08_BICBANCA AS CG12_CODBICSWIFT,"
       "NULL AS EF10_BANCAPRES_CG12 \r\n,0 AS EF08_FLGRIDSDDRAGGR\r\n"
       ",0 AS EF08_INDCONTPMTINF \r\n,EF08_INDCOMPIND \r\n"
       "FROM EF27_DISTPAGLOCALIZZ WITH(NOLOCK)\r\n"
       "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
       "EF08_DITTA_CG18=EF27_DITTA_CG18\r\n"
       "                                         "
       "AND EF08_PROGR=EF27_PROGR_EF08\r\nWHERE EF27_DITTA_CG18=-12\r\n"
       " AND EF27_INDORDPBONIF=-3\r\n AND EF27_ANNO=2024\r\n"
       " AND EF27_NUMORDPBONIF=2147483647"},
      {BatchStatement(zxEnumFormatoFile::RidSecureDirectDebit, "FR",
                      Variant(int32_t{1}), 1, 12, 2024),
       "SELECT EF08_IBANEFFPRESEF AS EF10_IBANORDPBONIF, 0 AS EF10_INDESITO,"
       "0 AS EF10_FLGBONACC,EF09_DATAREGCOGE AS EF10_DATAVALUTA,"
       "CG12_CODBICSWIFT,EF08_BANCA_CG12 AS EF10_BANCAPRES_CG12, \r\n"
       "EF08_FLGRIDSDDRAGGR,\r\nEF08_INDCONTPMTINF,\r\nEF08_INDCOMPIND \r\n"
       "FROM EF09_DISTINTE WITH(NOLOCK)\r\n"
       "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
       "EF08_DITTA_CG18=EF09_DITTA_CG18\r\n"
       "                                         "
       "AND EF08_PROGR=EF09_PROGR_EF08\r\n"
       "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
       "CG12_BANCA=EF09_BANCAPRES_CG12\r\nWHERE EF08_DITTA_CG18=1\r\n"
       " AND EF09_INDTIPODIST=1\r\n AND EF09_ANNO=2024\r\n"
       " AND EF09_NUMDIST=12"},
      {CodiceCucStatement(Variant(int64_t{1}), 2),
       "SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) "
       "WHERE EF08_DITTA_CG18=1 AND EF08_PROGR=2"},
      {IbanEsteroStatement("FR7630006000011234567890189"),
       "SELECT ISNULL(dbo.FNEP_ISIBANESTERO("
       "'FR7630006000011234567890189'), 0) As IS_IBAN_ESTERO"},
      {IndTipoStatoStatement("86", Variant(int64_t{1})),
       "SELECT DBO.FNCO_INDTIPOSTATO(86, 1)"},
      {IndTipoStatoStatement("", Variant(int64_t{1})),
       "SELECT DBO.FNCO_INDTIPOSTATO(0, 1)"},
      {CausaleInsolutoStatement(" AM04 "),
       "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) "
       "WHERE CG6G_CODICE=' AM04 '"},
      {QueryOrdinanteStatement(Variant(int32_t{1000})),
       "SELECT 1 AS INDTIPO,\r\n" + kOrdinanteColumns +
           "       CG1G_DATAFINEVAL\r\nFROM VCG16_ANAGGEN_STORICO\r\n" +
           kOrdinanteJoins +
           "WHERE CG1G_DATAFINEVAL >= dbo.QRV_GETDATE()\r\n"
           "  AND CG16_CODICE=1000\r\nUNION\r\nSELECT 2 AS INDTIPO,\r\n" +
           kOrdinanteColumns +
           "       NULL AS CG1G_DATAFINEVAL\r\nFROM CG16_ANAGGEN\r\n" +
           kOrdinanteJoins +
           "WHERE CG16_CODICE=1000\r\nORDER BY INDTIPO,CG1G_DATAFINEVAL\r\n"},
      {QueryCreditoreStatement(Variant("1000")),
       "SELECT \r\n"
       "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
       "CG16_PROV,     CG07_CODISO ISOANAG, CG07_DESCR DESCRNAZANAG\r\n"
       "FROM CG16_ANAGGEN\r\n"
       "LEFT OUTER JOIN CG07_TABSTATIEST  ON CG07_CODICE=CG16_CODICE_CG07\r\n"
       "WHERE CG16_CODICE=1000\r\n"},
      {QueryEffettiDistintaStatement(Variant(int16_t{1}), 12, 2024),
       "SELECT EF01_NUMEFF,EF01_IMPEFFNETPREV_S\r\n"
       "FROM EF09_DISTINTE WITH(NOLOCK)\r\n"
       "INNER JOIN EF06_SCADSTO WITH(NOLOCK) ON "
       "[EF06_DITTA_EF09]=EF09_DITTA_CG18\r\n"
       "                                    "
       "AND [EF06_INDTIPODIST_EF09]=EF09_INDTIPODIST\r\n"
       "                                    AND [EF06_ANNO_EF09]=EF09_ANNO\r\n"
       "                                    "
       "AND [EF06_NUMDIST_EF09]=EF09_NUMDIST\r\n"
       "INNER JOIN EF01_SCADENZE WITH(NOLOCK) ON "
       "EF01_DITTA_CG18 = EF06_DITTA_CG18\r\n"
       "                                     "
       "AND EF01_NUMREG_CO99 = EF06_NUMREG_CO99\r\n"
       "                                     "
       "AND EF01_RIGACONT_CG42 = EF06_RIGACONT_EF01\r\n"
       "                                     "
       "AND EF01_PROGEC_EC01 = EF06_PROGEC_EF01\r\n"
       "                                     "
       "AND EF01_PROGEFF = EF06_PROGEFF_EF01\r\n"
       "                                     AND EF06_INDTIPOPER = 3\r\n"
       "WHERE EF09_DITTA_CG18=1\r\n  AND EF09_NUMDIST=12\r\n"
       "  AND EF09_ANNO=2024\r\n  AND EF09_INDTIPODIST=1\r\n"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

// Every builder passes each value through the checks of sql_value.h (whose
// own table covers the kinds of hostile text).
TEST(StatementsTest, HostileValuesRefused) {
  const Variant bad("1; DROP TABLE CANARY");
  EXPECT_THROW(BatchStatement(BatchKind::kIncasso, bad, 1, 1, 1), Error);
  EXPECT_THROW(CodiceCucStatement(bad, 1), Error);
  EXPECT_THROW(QueryOrdinanteStatement(bad), Error);
  EXPECT_THROW(QueryCreditoreStatement(bad), Error);
  EXPECT_THROW(QueryEffettiDistintaStatement(bad, 1, 1), Error);
  EXPECT_THROW(IndTipoStatoStatement("86", bad), Error);
  EXPECT_THROW(IndTipoStatoStatement("86 OR 1=1", Variant(int32_t{1})), Error);
  EXPECT_THROW(IbanEsteroStatement("x'); DELETE FROM CANARY; --"), Error);
  EXPECT_THROW(CausaleInsolutoStatement("AM04' OR '1'='1"), Error);
}

// The checks that every statement builder applies to the values it writes.
TEST(SqlValueTest, IntegerValues) {
  for (const Variant& value :
       {Variant(int64_t{-42}), Variant(1000.0), Variant("0012")}) {
    EXPECT_EQ(IntegerSqlValue(value), value.ToText());
  }
  for (const Variant& value :
       {Variant(""), Variant(), Variant::Null(), Variant("+1"), Variant(" 1"),
        Variant(1.5), Variant("1;DROP X"), Variant(true),
        Variant(std::string("1\0", 2))}) {
    EXPECT_EQ(ErrorCode([&] { IntegerSqlValue(value); }),
              codes::kUnsafeSqlValue)
        << value.ToText();
  }
  std::string text;
  ErrorCode([] { IntegerSqlValue(Variant("86 OR 1=1")); }, &text);
  EXPECT_EQ(text,
            "Valore non ammesso in un'istruzione SQL: \"86 OR 1=1\" non è "
            "un numero intero; l'istruzione non viene eseguita");
}

TEST(SqlValueTest, QuotedValues) {
  EXPECT_EQ(QuotedSqlValue("IT60 X0542; -- \"x\""), "IT60 X0542; -- \"x\"");
  EXPECT_EQ(ErrorCode([] { QuotedSqlValue(std::string("a\0b", 3)); }),
            codes::kUnsafeSqlValue);
  std::string text;
  EXPECT_EQ(ErrorCode([] { QuotedSqlValue("O'Brien\r\n"); }, &text),
            codes::kUnsafeSqlValue);
  EXPECT_EQ(text,
            "Valore non ammesso in un'istruzione SQL: \"O'Brien??\" "
            "contiene un apice; l'istruzione non viene eseguita");
}

}  // namespace
}  // namespace zsepa::db
