#include "db/statements.h"

#include <gtest/gtest.h>

#include <string>

#include "model/error.h"

namespace zsepa::db {
namespace {

TEST(BatchStatementTest, ChoiceByFormatAndLocalisation) {
  struct Case {
    zxEnumFormatoFile formato;
    const char* localizzazione;
    BatchKind expected;
  } const cases[] = {
      {zxEnumFormatoFile::BonificoSEPA, "", BatchKind::kOrdiniBonifico},
      {zxEnumFormatoFile::BonificoSEPA, "FR", BatchKind::kLocalizzata},
      {zxEnumFormatoFile::BonificoEsteroXML, "FR", BatchKind::kLocalizzata},
      {zxEnumFormatoFile::BonificoSEPA, "fr", BatchKind::kOrdiniBonifico},
      {zxEnumFormatoFile::BonificoSEPA, "FR ", BatchKind::kOrdiniBonifico},
      {zxEnumFormatoFile::RidSecureDirectDebit, "FR", BatchKind::kIncasso},
      {zxEnumFormatoFile::RidSecureDirectDebit, "", BatchKind::kIncasso},
      {static_cast<zxEnumFormatoFile>(0), "FR", BatchKind::kLocalizzata},
      {static_cast<zxEnumFormatoFile>(7), "", BatchKind::kOrdiniBonifico},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseBatchKind(c.formato, c.localizzazione), c.expected)
        << static_cast<int>(c.formato) << " '" << c.localizzazione << "'";
  }
}

TEST(BatchStatementTest, CreditTransferOrderBatchWholeText) {
  const std::string expected =
      "SELECT EF10_IBANORDPBONIF,EF10_INDESITO,EF10_FLGBONACC,EF10_DATAVALUTA,"
      "CG12_CODBICSWIFT,EF10_BANCAPRES_CG12 \r\n"
      ",0 AS EF08_FLGRIDSDDRAGGR\r\n"
      ",0 AS EF08_INDCONTPMTINF \r\n"
      ",EF08_INDCOMPIND \r\n"
      "FROM EF10_ORDPBONIF WITH(NOLOCK)\r\n"
      "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
      "EF08_DITTA_CG18=EF10_DITTA_CG18\r\n"
      "                                         "
      "AND EF08_PROGR=EF10_PROGR_EF08\r\n"
      "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
      "CG12_BANCA=EF10_BANCAPRES_CG12\r\n"
      "WHERE EF10_DITTA_CG18=1\r\n"
      " AND EF10_INDORDPBONIF=1\r\n"
      " AND EF10_ANNO=2024\r\n"
      " AND EF10_NUMORDPBONIF=15";
  EXPECT_EQ(BatchStatement(zxEnumFormatoFile::BonificoSEPA, "", Variant(1.0), 1,
                           15, 2024),
            expected);
}

TEST(BatchStatementTest, LocalisedBatchWholeText) {
  const std::string expected =
      "SELECT EF27_IBANORDPBONIF as EF10_IBANORDPBONIF,"
      "EF27_INDESITO AS EF10_INDESITO,EF27_FLGBONACC AS EF10_FLGBONACC,"
      "EF27_DATAVALUTA AS EF10_DATAVALUTA,EF08_BICBANCA AS CG12_CODBICSWIFT,"
      "NULL AS EF10_BANCAPRES_CG12 \r\n"
      ",0 AS EF08_FLGRIDSDDRAGGR\r\n"
      ",0 AS EF08_INDCONTPMTINF \r\n"
      ",EF08_INDCOMPIND \r\n"
      "FROM EF27_DISTPAGLOCALIZZ WITH(NOLOCK)\r\n"
      "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
      "EF08_DITTA_CG18=EF27_DITTA_CG18\r\n"
      "                                         "
      "AND EF08_PROGR=EF27_PROGR_EF08\r\n"
      "WHERE EF27_DITTA_CG18=-12\r\n"
      " AND EF27_INDORDPBONIF=-3\r\n"
      " AND EF27_ANNO=2024\r\n"
      " AND EF27_NUMORDPBONIF=2147483647";
  EXPECT_EQ(BatchStatement(zxEnumFormatoFile::BonificoEsteroXML, "FR",
                           Variant("-12"), -3, 2147483647, 2024),
            expected);
}

TEST(BatchStatementTest, DirectDebitBatchWholeText) {
  const std::string expected =
      "SELECT EF08_IBANEFFPRESEF AS EF10_IBANORDPBONIF, 0 AS EF10_INDESITO,"
      "0 AS EF10_FLGBONACC,EF09_DATAREGCOGE AS EF10_DATAVALUTA,"
      "CG12_CODBICSWIFT,EF08_BANCA_CG12 AS EF10_BANCAPRES_CG12, \r\n"
      "EF08_FLGRIDSDDRAGGR,\r\n"
      "EF08_INDCONTPMTINF,\r\n"
      "EF08_INDCOMPIND \r\n"
      "FROM EF09_DISTINTE WITH(NOLOCK)\r\n"
      "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
      "EF08_DITTA_CG18=EF09_DITTA_CG18\r\n"
      "                                         "
      "AND EF08_PROGR=EF09_PROGR_EF08\r\n"
      "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
      "CG12_BANCA=EF09_BANCAPRES_CG12\r\n"
      "WHERE EF08_DITTA_CG18=1\r\n"
      " AND EF09_INDTIPODIST=1\r\n"
      " AND EF09_ANNO=2024\r\n"
      " AND EF09_NUMDIST=12";
  EXPECT_EQ(BatchStatement(zxEnumFormatoFile::RidSecureDirectDebit, "FR",
                           Variant(int32_t{1}), 1, 12, 2024),
            expected);
}

TEST(LookupStatementTest, WholeTexts) {
  const Variant ditta(int64_t{1});
  EXPECT_EQ(CodiceCucStatement(ditta, 2),
            "SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) "
            "WHERE EF08_DITTA_CG18=1 AND EF08_PROGR=2");
  EXPECT_EQ(IbanEsteroStatement("FR7630006000011234567890189"),
            "SELECT ISNULL(dbo.FNEP_ISIBANESTERO("
            "'FR7630006000011234567890189'), 0) As IS_IBAN_ESTERO");
  EXPECT_EQ(IndTipoStatoStatement("86", ditta),
            "SELECT DBO.FNCO_INDTIPOSTATO(86, 1)");
  EXPECT_EQ(IndTipoStatoStatement("", ditta),
            "SELECT DBO.FNCO_INDTIPOSTATO(0, 1)");
  EXPECT_EQ(CausaleInsolutoStatement(" AM04 "),
            "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) "
            "WHERE CG6G_CODICE=' AM04 '");
}

TEST(MasterDataStatementTest, QueryOrdinanteWholeText) {
  const std::string expected =
      "SELECT 1 AS INDTIPO,\r\n"
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_ANAG.CG07_CODISO ISOANAG, "
      "CG07_ANAG.CG07_DESCR DESCRNAZANAG,\r\n"
      "       CG16_RAGSOCOR,  CG16_INDIRCOR,   CG16_CAPCOR, CG16_CITTACOR, "
      "CG16_PROVCOR,  CG07_CORR.CG07_CODISO ISOCORR, "
      "CG07_CORR.CG07_DESCR DESCRNAZCORR,\r\n"
      "       CG1G_DATAFINEVAL\r\n"
      "FROM VCG16_ANAGGEN_STORICO\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_ANAG ON "
      "CG07_ANAG.CG07_CODICE=CG16_CODICE_CG07\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_CORR ON "
      "CG07_CORR.CG07_CODICE=CG16_CODICE_CG07\r\n"
      "WHERE CG1G_DATAFINEVAL >= dbo.QRV_GETDATE()\r\n"
      "  AND CG16_CODICE=1000\r\n"
      "UNION\r\n"
      "SELECT 2 AS INDTIPO,\r\n"
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_ANAG.CG07_CODISO ISOANAG, "
      "CG07_ANAG.CG07_DESCR DESCRNAZANAG,\r\n"
      "       CG16_RAGSOCOR,  CG16_INDIRCOR,   CG16_CAPCOR, CG16_CITTACOR, "
      "CG16_PROVCOR,  CG07_CORR.CG07_CODISO ISOCORR, "
      "CG07_CORR.CG07_DESCR DESCRNAZCORR,\r\n"
      "       NULL AS CG1G_DATAFINEVAL\r\n"
      "FROM CG16_ANAGGEN\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_ANAG ON "
      "CG07_ANAG.CG07_CODICE=CG16_CODICE_CG07\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_CORR ON "
      "CG07_CORR.CG07_CODICE=CG16_CODICE_CG07\r\n"
      "WHERE CG16_CODICE=1000\r\n"
      "ORDER BY INDTIPO,CG1G_DATAFINEVAL\r\n";
  EXPECT_EQ(QueryOrdinanteStatement(Variant(int32_t{1000})), expected);
}

TEST(MasterDataStatementTest, QueryCreditoreWholeText) {
  const std::string expected =
      "SELECT \r\n"
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_CODISO ISOANAG, CG07_DESCR DESCRNAZANAG\r\n"
      "FROM CG16_ANAGGEN\r\n"
      "LEFT OUTER JOIN CG07_TABSTATIEST  ON CG07_CODICE=CG16_CODICE_CG07\r\n"
      "WHERE CG16_CODICE=1000\r\n";
  EXPECT_EQ(QueryCreditoreStatement(Variant("1000")), expected);
}

TEST(StatusReportStatementTest, QueryEffettiDistintaWholeText) {
  const std::string expected =
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
      "WHERE EF09_DITTA_CG18=1\r\n"
      "  AND EF09_NUMDIST=12\r\n"
      "  AND EF09_ANNO=2024\r\n"
      "  AND EF09_INDTIPODIST=1\r\n";
  EXPECT_EQ(QueryEffettiDistintaStatement(Variant(int16_t{1}), 12, 2024),
            expected);
}

// Values that would change a statement are refused by every builder.
TEST(StatementSafetyTest, HostileValuesRefused) {
  const Variant ditta(int32_t{1});
  const Variant hostile_codes[] = {
      Variant("1 OR 1=1"), Variant("1; DROP TABLE CANARY"),
      Variant("1--"),      Variant(""),
      Variant(1.5),        Variant(),
      Variant::Null()};
  for (const Variant& code : hostile_codes) {
    const std::string text = code.ToText();
    EXPECT_THROW(BatchStatement(BatchKind::kIncasso, code, 1, 1, 1), Error)
        << text;
    EXPECT_THROW(CodiceCucStatement(code, 1), Error) << text;
    EXPECT_THROW(QueryOrdinanteStatement(code), Error) << text;
    EXPECT_THROW(QueryCreditoreStatement(code), Error) << text;
    EXPECT_THROW(QueryEffettiDistintaStatement(code, 1, 1), Error) << text;
    EXPECT_THROW(IndTipoStatoStatement("86", code), Error) << text;
  }
  for (const char* state : {"86 OR 1=1", "1; DROP TABLE CANARY", "86--", " 86",
                            "+86", "8.6", "0x56"}) {
    EXPECT_THROW(IndTipoStatoStatement(state, ditta), Error) << state;
  }
  for (const char* quoted :
       {"IT60'", "x'); DELETE FROM CANARY; --", "AM04' OR '1'='1"}) {
    EXPECT_THROW(IbanEsteroStatement(quoted), Error) << quoted;
    EXPECT_THROW(CausaleInsolutoStatement(quoted), Error) << quoted;
  }
}

}  // namespace
}  // namespace zsepa::db
