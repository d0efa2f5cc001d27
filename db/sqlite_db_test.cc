// The database routines against the real embedded database with the demo
// company.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "adapters/sqlite/sqlite_connection.h"
#include "adapters/sqlite/test_support.h"
#include "db/ordinante.h"
#include "db/statements.h"
#include "framework/framework.h"
#include "model/builder_peer.h"
#include "model/clsep_filesepa.h"
#include "model/error.h"

namespace zsepa {
namespace {

const Date kToday = Date::FromParts(2024, 6, 1);

class DemoDatabaseTest : public sqlite::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    sqlite::SqliteConnection::Options options;
    options.clock = [] { return kToday; };
    connection_ = sqlite::SqliteConnection::Create(PathOf("demo.db"), options);
    sqlite::FillDemoData(*connection_);
    connection_->ExecuteScript(
        "CREATE TABLE CANARY (X INTEGER); INSERT INTO CANARY VALUES (1);");
    framework_.values().CodiceDitta = Variant(int32_t{1});
    framework_.values().CodiceAnagraficaDitta = Variant(int32_t{1000});
    builder_.ActiveInterface = &framework_;
    builder_.AdoConnection = connection_.get();
    builder_.Initialize();
  }
  void TearDown() override {
    connection_.reset();
    TempDirTest::TearDown();
  }

  int64_t CanaryRows() {
    auto rows = connection_->Execute("SELECT COUNT(*) FROM CANARY");
    return static_cast<int64_t>(rows->Field(0).ToDouble());
  }

  std::unique_ptr<sqlite::SqliteConnection> connection_;
  framework::InMemoryFramework framework_;
  CLSEP_FILESEPA builder_;
};

TEST_F(DemoDatabaseTest, AddReadsEachBatchKind) {
  const Variant no_abi(int32_t{0});
  struct Case {
    zxEnumFormatoFile formato;
    const char* localizzazione;
    int32_t numero;
    std::string iban;
    int16_t esito;
    bool urgente;
    int32_t livello;
    Date valuta;
    std::string bic;
    double abi;  // 0: the integer 0 of a Null column
    bool multipla;
    int32_t contatore;
    int32_t indirizzo;
  } const cases[] = {
      {zxEnumFormatoFile::BonificoSEPA, "", 15, "IT60X0542811101000000123456",
       0, false, 0, Date::FromParts(2024, 3, 15), "BCITITMMXXX", 3069, false, 0,
       0},
      {zxEnumFormatoFile::BonificoSEPA, "IT", 16, "IT02A0503401633000000012345",
       5, true, 1, Date::FromParts(2024, 3, 20), "BPMOIT22XXX", 5034, false, 0,
       1},
      {zxEnumFormatoFile::BonificoEsteroXML, "", 17,
       "IT60X0542811101000000123456", 0, true, 2, Date::FromParts(2024, 3, 22),
       "BCITITMMXXX", 3069, false, 0, 0},
      {zxEnumFormatoFile::BonificoSEPA, "FR", 21, "FR7630006000011234567890189",
       0, false, 0, Date::FromParts(2024, 4, 2), "BCITITMMXXX", 0, false, 0, 0},
      {zxEnumFormatoFile::RidSecureDirectDebit, "FR", 12,
       "IT60X0542811101000000123456", 0, false, 0, Date::FromParts(2024, 5, 2),
       "BCITITMMXXX", 3069, true, 0, 0},
  };
  for (const Case& c : cases) {
    builder_.FormatoFile = c.formato;
    builder_.CodiceIsoLocalizzazione = c.localizzazione;
    const auto block = builder_.Add(1, c.numero, 2024);
    ASSERT_NE(block, nullptr) << c.numero << ": " << builder_.Errore();
    EXPECT_EQ(block->IBAN, c.iban) << c.numero;
    EXPECT_EQ(block->IndicatoreEsito, c.esito) << c.numero;
    EXPECT_EQ(block->FlagUrgente, c.urgente) << c.numero;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreLivelloServizio), c.livello)
        << c.numero;
    EXPECT_EQ(block->DataValuta, Variant(c.valuta)) << c.numero;
    EXPECT_EQ(block->BicSwift, c.bic) << c.numero;
    if (c.abi == 0) {
      EXPECT_EQ(block->Abi, no_abi) << c.numero;
    } else {
      EXPECT_EQ(block->Abi.ToDouble(), c.abi) << c.numero;
    }
    EXPECT_EQ(block->IsMultipla, c.multipla) << c.numero;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreTipoContatorePmtInf),
              c.contatore)
        << c.numero;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreComposizioneIndirizzo),
              c.indirizzo)
        << c.numero;
  }
  EXPECT_EQ(BuilderPeer::Blocks(builder_).Count(), 5);
  EXPECT_EQ(builder_.Stato(), 0);
}

TEST_F(DemoDatabaseTest, AddOfMissingBatch) {
  struct Case {
    zxEnumFormatoFile formato;
    const char* localizzazione;
    int32_t numero;
  } const cases[] = {
      {zxEnumFormatoFile::BonificoSEPA, "", 99},
      {zxEnumFormatoFile::BonificoSEPA, "", 21},  // only a localised batch
      {zxEnumFormatoFile::BonificoSEPA, "FR", 15},
      {zxEnumFormatoFile::RidSecureDirectDebit, "", 15},
  };
  for (const Case& c : cases) {
    builder_.FormatoFile = c.formato;
    builder_.CodiceIsoLocalizzazione = c.localizzazione;
    EXPECT_EQ(builder_.Add(1, c.numero, 2024), nullptr) << c.numero;
    EXPECT_EQ(builder_.Stato(), codes::kBatchNotFound) << c.numero;
    EXPECT_EQ(builder_.Errore(), "Distinta non trovata") << c.numero;
  }
  EXPECT_EQ(BuilderPeer::Blocks(builder_).Count(), 0);
  // A missing table is a database error with the database's own text.
  connection_->ExecuteScript("DROP TABLE EF10_ORDPBONIF;");
  builder_.FormatoFile = zxEnumFormatoFile::BonificoSEPA;
  builder_.CodiceIsoLocalizzazione = "";
  EXPECT_EQ(builder_.Add(1, 15, 2024), nullptr);
  EXPECT_NE(builder_.Errore().find("EF10_ORDPBONIF"), std::string::npos)
      << builder_.Errore();
}

TEST_F(DemoDatabaseTest, QueryOrdinanteTakesTheVersionValidToday) {
  const auto query = [&] {
    return db::QueryOrdinante(*connection_, Variant(int32_t{1000}));
  };
  db::DatiOrdinante dati = query();
  EXPECT_TRUE(dati.found);
  EXPECT_EQ(dati.name, "OFFICINE ROSSI & FIGLI SRL");
  EXPECT_EQ(dati.address_line1, "VIA GARIBALDI 7");
  EXPECT_EQ(dati.address_line2, "20122 MILANO MI ITALIA");

  // Of two valid versions the one that ends first wins; one that ended
  // yesterday is ignored; one that ends today is still valid.
  const char* kVersion =
      "INSERT INTO VCG16_ANAGGEN_STORICO (CG16_CODICE, CG16_RAGSOANAG, "
      "CG16_INDIRIZZO, CG16_CAP, CG16_CITTA, CG16_PROV, CG16_RAGSOCOR, "
      "CG16_INDIRCOR, CG16_CODICE_CG07, CG1G_DATAFINEVAL) VALUES ";
  connection_->ExecuteScript(
      std::string(kVersion) +
      "(1000, 'ROSSI 2024', 'VIA 2024', '', 'MILANO', '', '', '', 86, "
      "'2024-12-31'), (1000, 'ROSSI 2025', 'VIA 2025', '', '', '', '', '', "
      "86, '2025-12-31'), (1000, 'ROSSI IERI', 'VIA IERI', '', '', '', '', "
      "'', 86, '2024-05-31');");
  dati = query();
  EXPECT_EQ(dati.name, "ROSSI 2024");
  EXPECT_EQ(dati.address_line2, "MILANO ITALIA");
  connection_->ExecuteScript(
      std::string(kVersion) +
      "(1000, 'ROSSI OGGI', 'VIA OGGI', '', '', '', 'CORR OGGI', "
      "'VIA CORR OGGI', 29, '2024-06-01');");
  dati = query();
  EXPECT_EQ(dati.name, "CORR OGGI");
  EXPECT_EQ(dati.address_line1, "VIA CORR OGGI");
  EXPECT_EQ(dati.address_line2, "FRANCIA");

  // Without a valid version the current master record is used.
  connection_->ExecuteScript(
      "DELETE FROM VCG16_ANAGGEN_STORICO WHERE CG1G_DATAFINEVAL >= "
      "'2024-06-01';");
  dati = query();
  EXPECT_EQ(dati.address_line1, "VIA DEI MILLE 12");
  EXPECT_EQ(dati.address_line2, "20121 MILANO MI ITALIA");

  dati = db::QueryOrdinante(*connection_, Variant(int32_t{4242}));
  EXPECT_FALSE(dati.found);
  EXPECT_EQ(dati.name + dati.address_line1 + dati.address_line2, "");
}

TEST_F(DemoDatabaseTest, Lookups) {
  EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(builder_, 1), "12345678");
  EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(builder_, 2), "ABCDEF12");
  EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(builder_, 9), "");

  EXPECT_FALSE(
      BuilderPeer::IsIbanEstero(builder_, "IT60X0542811101000000123456"));
  EXPECT_TRUE(
      BuilderPeer::IsIbanEstero(builder_, "FR7630006000011234567890189"));
  EXPECT_FALSE(BuilderPeer::IsIbanEstero(builder_, ""));

  struct State {
    const char* code;
    int16_t expected;
  } const states[] = {{"86", -1}, {"29 ", 1}, {"71", 2},
                      {"69", 3},  {"55", 0},  {"", 0}};
  for (const State& s : states) {
    EXPECT_EQ(builder_.GetIndTipoStato(s.code), s.expected) << s.code;
  }
  EXPECT_TRUE(BuilderPeer::IsIndTipoStato(builder_, Variant(int32_t{86})));
  EXPECT_FALSE(BuilderPeer::IsIndTipoStato(builder_, Variant("94")));
  EXPECT_EQ(builder_.Stato(), 0);

  // A state whose indicator is Null: -1 with Stato set, on every call.
  connection_->ExecuteScript(
      "INSERT INTO CG07_TABSTATIEST VALUES (99, 'IGNOTO', 'XX', NULL);");
  EXPECT_EQ(builder_.GetIndTipoStato("99"), -1);
  EXPECT_EQ(builder_.Stato(), rt::kInvalidUseOfNull);
  connection_->ExecuteScript(
      "UPDATE CG07_TABSTATIEST SET CG07_INDTIPOSTATO=1 WHERE CG07_CODICE=99;");
  EXPECT_EQ(builder_.GetIndTipoStato("99"), -1);  // the Null stays cached
  builder_.Initialize();
  EXPECT_EQ(builder_.GetIndTipoStato("99"), 1);

  struct Reason {
    const char* code;
    bool insoluto;
  } const reasons[] = {{"AM04", true},  {"MD06", false}, {"SL01", false},
                       {"MS03", false}, {"ZZ99", true},  {"AM04 ", true}};
  for (const Reason& r : reasons) {
    EXPECT_EQ(BuilderPeer::IsCausaleInsoluto(builder_, r.code), r.insoluto)
        << r.code;
  }
}

TEST_F(DemoDatabaseTest, LookupsOnMissingTables) {
  connection_->ExecuteScript(
      "DROP TABLE EF08_BANCHE; DROP TABLE CG6G_CAUSPAGSEPA;");
  EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(builder_, 1), "??????");
  EXPECT_EQ(builder_.Stato(), 0);
  EXPECT_THROW(BuilderPeer::IsCausaleInsoluto(builder_, "AM04"), Error);
}

TEST_F(DemoDatabaseTest, StatementsOfOtherRoutinesRunOnTheSchema) {
  auto items = connection_->Execute(
      db::QueryEffettiDistintaStatement(Variant(int32_t{1}), 12, 2024));
  int count = 0;
  for (; !items->Eof(); items->MoveNext()) ++count;
  EXPECT_EQ(count, 3);
  auto creditor =
      connection_->Execute(db::QueryCreditoreStatement(Variant(1000.0)));
  ASSERT_FALSE(creditor->Eof());
  EXPECT_EQ(creditor->Field("CG16_INDIRIZZO"), Variant("VIA DEI MILLE 12"));
}

TEST_F(DemoDatabaseTest, HostileValuesLeaveTheCanaryAlone) {
  const char* kQuoted[] = {"x'); DELETE FROM CANARY; --",
                           "x'; DROP TABLE CANARY; --", "' OR '1'='1"};
  for (const char* value : kQuoted) {
    EXPECT_FALSE(BuilderPeer::IsIbanEstero(builder_, value)) << value;
    try {
      BuilderPeer::IsCausaleInsoluto(builder_, value);
      ADD_FAILURE() << "no error: " << value;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), codes::kUnsafeSqlValue) << value;
    }
  }
  const char* kUnquoted[] = {"86; DELETE FROM CANARY", "86 OR 1=1",
                             "1); DROP TABLE CANARY; --", "86--"};
  for (const char* value : kUnquoted) {
    EXPECT_EQ(builder_.GetIndTipoStato(value), -1) << value;
    EXPECT_EQ(builder_.Stato(), codes::kUnsafeSqlValue) << value;
    EXPECT_THROW(db::QueryOrdinante(*connection_, Variant(value)), Error)
        << value;
    framework_.values().CodiceDitta = Variant(value);
    EXPECT_EQ(builder_.Add(1, 15, 2024), nullptr) << value;
    EXPECT_EQ(builder_.Stato(), codes::kUnsafeSqlValue) << value;
    EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(builder_, 1), "??????") << value;
    framework_.values().CodiceDitta = Variant(int32_t{1});
  }
  EXPECT_EQ(CanaryRows(), 1);
}

}  // namespace
}  // namespace zsepa
