#include "db/statements.h"

#include <initializer_list>
#include <string>

#include "db/sql_value.h"

namespace zsepa::db {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// Lines joined by CR LF, with none after the last one.
std::string JoinLines(std::initializer_list<std::string> lines) {
  std::string sql;
  for (const std::string& line : lines) {
    if (!sql.empty()) sql += kCrLf;
    sql += line;
  }
  return sql;
}

// Lines each followed by CR LF, the last one included.
std::string TerminatedLines(std::initializer_list<std::string> lines) {
  std::string sql;
  for (const std::string& line : lines) {
    sql += line;
    sql += kCrLf;
  }
  return sql;
}

// The continuation of the bank-row join begins with 41 spaces.
std::string BankRowJoin(std::string_view batch_column) {
  return std::string(41, ' ') + "AND EF08_PROGR=" + std::string(batch_column);
}

}  // namespace

BatchKind ChooseBatchKind(zxEnumFormatoFile formato,
                          std::string_view localizzazione) {
  if (formato == zxEnumFormatoFile::RidSecureDirectDebit) {
    return BatchKind::kIncasso;
  }
  return localizzazione == "FR" ? BatchKind::kLocalizzata
                                : BatchKind::kOrdiniBonifico;
}

std::string BatchStatement(BatchKind kind, const Variant& ditta, int16_t tipo,
                           int32_t numero, int16_t anno) {
  const std::string codice_ditta = IntegerSqlValue(ditta);
  const std::string tipo_text = std::to_string(tipo);
  const std::string anno_text = std::to_string(anno);
  const std::string numero_text = std::to_string(numero);
  switch (kind) {
    case BatchKind::kOrdiniBonifico:
      return JoinLines({
          "SELECT EF10_IBANORDPBONIF,EF10_INDESITO,EF10_FLGBONACC,"
          "EF10_DATAVALUTA,CG12_CODBICSWIFT,EF10_BANCAPRES_CG12 ",
          ",0 AS EF08_FLGRIDSDDRAGGR",
          ",0 AS EF08_INDCONTPMTINF ",
          ",EF08_INDCOMPIND ",
          "FROM EF10_ORDPBONIF WITH(NOLOCK)",
          "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
          "EF08_DITTA_CG18=EF10_DITTA_CG18",
          BankRowJoin("EF10_PROGR_EF08"),
          "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
          "CG12_BANCA=EF10_BANCAPRES_CG12",
          "WHERE EF10_DITTA_CG18=" + codice_ditta,
          " AND EF10_INDORDPBONIF=" + tipo_text,
          " AND EF10_ANNO=" + anno_text,
          " AND EF10_NUMORDPBONIF=" + numero_text,
      });
    case BatchKind::kLocalizzata:
      return JoinLines({
          "SELECT EF27_IBANORDPBONIF as EF10_IBANORDPBONIF,"
          "EF27_INDESITO AS EF10_INDESITO,EF27_FLGBONACC AS EF10_FLGBONACC,"
          "EF27_DATAVALUTA AS EF10_DATAVALUTA,"
          "EF08_BICBANCA AS CG12_CODBICSWIFT,NULL AS EF10_BANCAPRES_CG12 ",
          ",0 AS EF08_FLGRIDSDDRAGGR",
          ",0 AS EF08_INDCONTPMTINF ",
          ",EF08_INDCOMPIND ",
          "FROM EF27_DISTPAGLOCALIZZ WITH(NOLOCK)",
          "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
          "EF08_DITTA_CG18=EF27_DITTA_CG18",
          BankRowJoin("EF27_PROGR_EF08"),
          "WHERE EF27_DITTA_CG18=" + codice_ditta,
          " AND EF27_INDORDPBONIF=" + tipo_text,
          " AND EF27_ANNO=" + anno_text,
          " AND EF27_NUMORDPBONIF=" + numero_text,
      });
    case BatchKind::kIncasso:
      return JoinLines({
          "SELECT EF08_IBANEFFPRESEF AS EF10_IBANORDPBONIF, "
          "0 AS EF10_INDESITO,"
          "0 AS EF10_FLGBONACC,"
          "EF09_DATAREGCOGE AS EF10_DATAVALUTA,"
          "CG12_CODBICSWIFT,"
          "EF08_BANCA_CG12 AS EF10_BANCAPRES_CG12, ",
          "EF08_FLGRIDSDDRAGGR,",
          "EF08_INDCONTPMTINF,",
          "EF08_INDCOMPIND ",
          "FROM EF09_DISTINTE WITH(NOLOCK)",
          "LEFT OUTER JOIN EF08_BANCHE WITH(NOLOCK) ON "
          "EF08_DITTA_CG18=EF09_DITTA_CG18",
          BankRowJoin("EF09_PROGR_EF08"),
          "LEFT OUTER JOIN CG12_BANCHE WITH(NOLOCK) ON "
          "CG12_BANCA=EF09_BANCAPRES_CG12",
          "WHERE EF08_DITTA_CG18=" + codice_ditta,
          " AND EF09_INDTIPODIST=" + tipo_text,
          " AND EF09_ANNO=" + anno_text,
          " AND EF09_NUMDIST=" + numero_text,
      });
  }
  return {};
}

std::string BatchStatement(zxEnumFormatoFile formato,
                           std::string_view localizzazione,
                           const Variant& ditta, int16_t tipo, int32_t numero,
                           int16_t anno) {
  return BatchStatement(ChooseBatchKind(formato, localizzazione), ditta, tipo,
                        numero, anno);
}

std::string CodiceCucStatement(const Variant& ditta, int32_t progr_banca) {
  return "SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) "
         "WHERE EF08_DITTA_CG18=" +
         IntegerSqlValue(ditta) +
         " AND EF08_PROGR=" + std::to_string(progr_banca);
}

std::string IbanEsteroStatement(std::string_view iban) {
  return "SELECT ISNULL(dbo.FNEP_ISIBANESTERO('" + QuotedSqlValue(iban) +
         "'), 0) As IS_IBAN_ESTERO";
}

std::string IndTipoStatoStatement(std::string_view codice,
                                  const Variant& ditta) {
  const std::string argument =
      IntegerSqlValue(Variant(codice.empty() ? std::string_view("0") : codice));
  return "SELECT DBO.FNCO_INDTIPOSTATO(" + argument + ", " +
         IntegerSqlValue(ditta) + ")";
}

std::string CausaleInsolutoStatement(std::string_view codice) {
  return "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE CG6G_CODICE='" +
         QuotedSqlValue(codice) + "'";
}

std::string QueryOrdinanteStatement(const Variant& codice_anagrafica) {
  const std::string codice = IntegerSqlValue(codice_anagrafica);
  const std::string legal_columns =
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_ANAG.CG07_CODISO ISOANAG, CG07_ANAG.CG07_DESCR "
      "DESCRNAZANAG,";
  const std::string correspondence_columns =
      "       CG16_RAGSOCOR,  CG16_INDIRCOR,   CG16_CAPCOR, CG16_CITTACOR, "
      "CG16_PROVCOR,  CG07_CORR.CG07_CODISO ISOCORR, CG07_CORR.CG07_DESCR "
      "DESCRNAZCORR,";
  // Both state joins use the legal state code: the correspondence
  // description is that of the same state.
  const std::string legal_state_join =
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_ANAG ON "
      "CG07_ANAG.CG07_CODICE=CG16_CODICE_CG07";
  const std::string correspondence_state_join =
      "LEFT OUTER JOIN CG07_TABSTATIEST  CG07_CORR ON "
      "CG07_CORR.CG07_CODICE=CG16_CODICE_CG07";
  return TerminatedLines({
      "SELECT 1 AS INDTIPO,",
      legal_columns,
      correspondence_columns,
      "       CG1G_DATAFINEVAL",
      "FROM VCG16_ANAGGEN_STORICO",
      legal_state_join,
      correspondence_state_join,
      "WHERE CG1G_DATAFINEVAL >= dbo.QRV_GETDATE()",
      "  AND CG16_CODICE=" + codice,
      "UNION",
      "SELECT 2 AS INDTIPO,",
      legal_columns,
      correspondence_columns,
      "       NULL AS CG1G_DATAFINEVAL",
      "FROM CG16_ANAGGEN",
      legal_state_join,
      correspondence_state_join,
      "WHERE CG16_CODICE=" + codice,
      "ORDER BY INDTIPO,CG1G_DATAFINEVAL",
  });
}

std::string QueryCreditoreStatement(const Variant& codice_anagrafica) {
  return TerminatedLines({
      "SELECT ",
      "       CG16_RAGSOANAG, CG16_INDIRIZZO,  CG16_CAP,    CG16_CITTA,    "
      "CG16_PROV,     CG07_CODISO ISOANAG, CG07_DESCR DESCRNAZANAG",
      "FROM CG16_ANAGGEN",
      "LEFT OUTER JOIN CG07_TABSTATIEST  ON CG07_CODICE=CG16_CODICE_CG07",
      "WHERE CG16_CODICE=" + IntegerSqlValue(codice_anagrafica),
  });
}

std::string QueryEffettiDistintaStatement(const Variant& ditta, int32_t numero,
                                          int16_t anno) {
  const std::string item_join(36, ' ');
  const std::string schedule_join(37, ' ');
  return TerminatedLines({
      "SELECT EF01_NUMEFF,EF01_IMPEFFNETPREV_S",
      "FROM EF09_DISTINTE WITH(NOLOCK)",
      "INNER JOIN EF06_SCADSTO WITH(NOLOCK) ON "
      "[EF06_DITTA_EF09]=EF09_DITTA_CG18",
      item_join + "AND [EF06_INDTIPODIST_EF09]=EF09_INDTIPODIST",
      item_join + "AND [EF06_ANNO_EF09]=EF09_ANNO",
      item_join + "AND [EF06_NUMDIST_EF09]=EF09_NUMDIST",
      "INNER JOIN EF01_SCADENZE WITH(NOLOCK) ON "
      "EF01_DITTA_CG18 = EF06_DITTA_CG18",
      schedule_join + "AND EF01_NUMREG_CO99 = EF06_NUMREG_CO99",
      schedule_join + "AND EF01_RIGACONT_CG42 = EF06_RIGACONT_EF01",
      schedule_join + "AND EF01_PROGEC_EC01 = EF06_PROGEC_EF01",
      schedule_join + "AND EF01_PROGEFF = EF06_PROGEFF_EF01",
      schedule_join + "AND EF06_INDTIPOPER = 3",
      "WHERE EF09_DITTA_CG18=" + IntegerSqlValue(ditta),
      "  AND EF09_NUMDIST=" + std::to_string(numero),
      "  AND EF09_ANNO=" + std::to_string(anno),
      "  AND EF09_INDTIPODIST=1",
  });
}

}  // namespace zsepa::db
