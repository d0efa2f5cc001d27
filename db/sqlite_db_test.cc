// The database routines against the real embedded database with the demo
// company: the outcomes that depend on the data and on the system's SQL
// running on the shipped schema. Failure paths: the fake-connection tests.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "base/testing/temp_dir.h"
#include "db/ordinante.h"
#include "db/statements.h"
#include "db/testing/fake_builder.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/error.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa {
namespace {

// What Add read: "type/number/year,IBAN,outcome,urgent,service level,BIC,
// value date,ABI,counter kind,grouped,address layout", booleans as 0/1.
std::string Describe(const CLSEP_INFOPAG& b) {
  const auto n = [](auto v) { return std::to_string(static_cast<int>(v)); };
  return n(b.TipoDistinta) + "/" + n(b.NumeroDistinta) + "/" +
         n(b.AnnoDistinta) + "," + b.IBAN + "," + n(b.IndicatoreEsito) + "," +
         n(b.FlagUrgente) + "," + n(b.IndicatoreLivelloServizio) + "," +
         b.BicSwift + "," + b.DataValuta.ToText() + "," + b.Abi.ToText() + "," +
         n(b.IndicatoreTipoContatorePmtInf) + "," + n(b.IsMultipla) + "," +
         n(b.IndicatoreComposizioneIndirizzo);
}

class DemoDatabaseTest : public zsepa::testing::TempDirTest {
 protected:
  void SetUp() override {
    zsepa::testing::TempDirTest::SetUp();
    connection_ = sqlite::SqliteConnection::Create(
        PathOf("demo.db"), {[] { return Date::FromParts(2024, 6, 1); }});
    sqlite::FillDemoData(*connection_);
    framework_.values().CodiceDitta = Variant(int32_t{1});
    framework_.values().CodiceAnagraficaDitta = Variant(int32_t{1000});
    builder_.ActiveInterface = &framework_;
    builder_.AdoConnection = connection_.get();
    builder_.Initialize();
    lookups_.emplace(*connection_, framework_);
  }

  std::unique_ptr<sqlite::SqliteConnection> connection_;
  framework::InMemoryFramework framework_;
  CLSEP_FILESEPA builder_;
  std::optional<db::testing::LookupsOn> lookups_;
};

TEST_F(DemoDatabaseTest, AddReadsEachBatchKind) {
  // A batch of Nulls but for the IBAN (blanks kept) and the urgency flag 2.
  connection_->ExecuteScript(
      "INSERT INTO EF10_ORDPBONIF (EF10_DITTA_CG18, EF10_INDORDPBONIF, "
      "EF10_ANNO, EF10_NUMORDPBONIF, EF10_IBANORDPBONIF, EF10_FLGBONACC) "
      "VALUES (1, 1, 2024, 18, 'IT02 ', 2);");
  struct Case {
    zxEnumFormatoFile formato;
    const char* localizzazione;
    int32_t numero;
    std::string expected;  // see Describe; "" for no such batch
  } const cases[] = {
      // Only "FR" exactly (any format but direct debit) reads the localised
      // batches.
      {zxEnumFormatoFile::BonificoSEPA, "", 21, ""},
      {zxEnumFormatoFile::BonificoSEPA, "fr", 21, ""},
      {zxEnumFormatoFile::BonificoEsteroXML, "FR ", 21, ""},
      {zxEnumFormatoFile::RidSecureDirectDebit, "", 15, ""},
      {zxEnumFormatoFile::BonificoSEPA, "", 15,
       "1/15/2024,IT60X0542811101000000123456,0,0,0,BCITITMMXXX,2024-03-15,"
       "3069,0,0,0"},
      {zxEnumFormatoFile::BonificoSEPA, "", 18,
       "1/18/2024,IT02 ,0,1,2,,0,0,0,0,0"},
      {zxEnumFormatoFile::BonificoSEPA, "IT", 16,
       "1/16/2024,IT47K0503401633000000012345,5,1,1,BPMOIT22XXX,2024-03-20,"
       "5034,0,0,1"},
      {static_cast<zxEnumFormatoFile>(0), "FR", 21,
       "1/21/2024,FR7630006000011234567890189,0,0,0,BCITITMMXXX,2024-04-02,0,"
       "0,0,0"},
      {zxEnumFormatoFile::RidSecureDirectDebit, "FR", 12,
       "1/12/2024,IT60X0542811101000000123456,0,0,0,BCITITMMXXX,2024-05-02,"
       "3069,0,1,0"},
  };
  for (const Case& c : cases) {
    builder_.FormatoFile = c.formato;
    builder_.CodiceIsoLocalizzazione = c.localizzazione;
    const auto block = builder_.Add(1, c.numero, 2024);
    EXPECT_EQ(block ? Describe(*block) : "", c.expected)
        << c.numero << ": " << builder_.Errore();
  }
  EXPECT_EQ(builder_.MsgId(), "000001520241");  // of the first block added
  // A later success keeps the earlier failure.
  EXPECT_EQ(builder_.Stato(), codes::kBatchNotFound);
  EXPECT_EQ(builder_.Errore(), "Distinta non trovata");
}

// The statement orders valid history versions first: of two valid versions
// the one that ends first wins, one that ended yesterday is ignored, one
// that ends today is still valid; without one the master record is used.
TEST_F(DemoDatabaseTest, QueryOrdinanteTakesTheVersionValidToday) {
  const auto query = [&](int32_t code = 1000) {
    const db::DatiOrdinante d = db::QueryOrdinante(*connection_, Variant(code));
    return (d.found ? "" : "(not found)") + d.name + "|" + d.address_line1 +
           "|" + d.address_line2;
  };
  EXPECT_EQ(
      query(),
      "OFFICINE ROSSI & FIGLI SRL|VIA GARIBALDI 7|20122 MILANO MI ITALIA");
  const std::string kVersion =
      "INSERT INTO VCG16_ANAGGEN_STORICO (CG16_CODICE, CG16_RAGSOANAG, "
      "CG16_INDIRIZZO, CG16_CITTA, CG16_RAGSOCOR, CG16_INDIRCOR, "
      "CG16_CODICE_CG07, CG1G_DATAFINEVAL) VALUES ";
  connection_->ExecuteScript(
      kVersion +
      "(1000, 'ROSSI 2024', 'VIA 2024', 'MILANO', '', '', 86, '2024-12-31'),"
      "(1000, 'ROSSI 2025', 'VIA 2025', '', '', '', 86, '2025-12-31'),"
      "(1000, 'ROSSI IERI', 'VIA IERI', '', '', '', 86, '2024-05-31');");
  EXPECT_EQ(query(), "ROSSI 2024|VIA 2024|MILANO ITALIA");
  connection_->ExecuteScript(
      kVersion +
      "(1000, 'OGGI', 'VIA OGGI', '', 'CORR', 'VIA CORR', 29, "
      "'2024-06-01');");
  EXPECT_EQ(query(), "CORR|VIA CORR|FRANCIA");
  connection_->ExecuteScript(
      "DELETE FROM VCG16_ANAGGEN_STORICO WHERE CG1G_DATAFINEVAL >= "
      "'2024-06-01';");
  EXPECT_EQ(query(),
            "OFFICINE ROSSI & FIGLI SRL|VIA DEI MILLE 12|20121 MILANO MI "
            "ITALIA");
}

TEST_F(DemoDatabaseTest, Lookups) {
  EXPECT_EQ(lookups_->lookups.LeggiCodiceCUC(2), "ABCDEF12");
  EXPECT_EQ(lookups_->lookups.LeggiCodiceCUC(9), "");
  EXPECT_FALSE(lookups_->lookups.IsIbanEstero("IT60X0542811101000000123456"));
  EXPECT_TRUE(lookups_->lookups.IsIbanEstero("FR7630006000011234567890189"));
  EXPECT_EQ(builder_.GetIndTipoStato("29 "), 1);
  EXPECT_EQ(builder_.GetIndTipoStato(""), 0);
  EXPECT_TRUE(lookups_->lookups.IsIndTipoStato(Variant(int32_t{86})));
  EXPECT_EQ(builder_.Stato(), 0);
  // An unknown reason code counts as unpaid.
  const std::pair<const char*, bool> reasons[] = {
      {"AM04", true}, {"MD06", false}, {"MS03", false}, {"ZZ99", true}};
  for (const auto& [code, insoluto] : reasons) {
    EXPECT_EQ(lookups_->lookups.IsCausaleInsoluto(code), insoluto) << code;
  }
}

TEST_F(DemoDatabaseTest, StatementsOfOtherRoutinesRunOnTheSchema) {
  auto items = connection_->Execute(
      db::QueryEffettiDistintaStatement(Variant(int32_t{1}), 12, 2024));
  int count = 0;
  for (; !items->Eof(); items->MoveNext()) ++count;
  EXPECT_EQ(count, 3);
  EXPECT_FALSE(
      connection_->Execute(db::QueryCreditoreStatement(Variant(1000.0)))
          ->Eof());
}

}  // namespace
}  // namespace zsepa
