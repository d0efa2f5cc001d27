#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/testing/fake_builder.h"
#include "model/builder_peer.h"
#include "model/error.h"

namespace zsepa {
namespace {

using db::testing::FakeBuilder;
using db::testing::FakeResult;

const std::vector<std::string> kColumns = {
    "EF10_IBANORDPBONIF",  "EF10_INDESITO",      "EF10_FLGBONACC",
    "EF10_DATAVALUTA",     "CG12_CODBICSWIFT",   "EF10_BANCAPRES_CG12",
    "EF08_FLGRIDSDDRAGGR", "EF08_INDCONTPMTINF", "EF08_INDCOMPIND"};

FakeResult BatchRow(std::vector<Variant> row) {
  return FakeResult::Rows(kColumns, {std::move(row)});
}

TEST(AddTest, StatementChosenByFormatAndLocalisation) {
  struct Case {
    zxEnumFormatoFile formato;
    const char* localizzazione;
    const char* table;
  } const cases[] = {
      {zxEnumFormatoFile::BonificoSEPA, "", "FROM EF10_ORDPBONIF "},
      {zxEnumFormatoFile::BonificoEsteroXML, "IT", "FROM EF10_ORDPBONIF "},
      {zxEnumFormatoFile::BonificoSEPA, "fr", "FROM EF10_ORDPBONIF "},
      {zxEnumFormatoFile::BonificoSEPA, "FR", "FROM EF27_DISTPAGLOCALIZZ "},
      {zxEnumFormatoFile::RidSecureDirectDebit, "FR", "FROM EF09_DISTINTE "},
      {zxEnumFormatoFile::RidSecureDirectDebit, "", "FROM EF09_DISTINTE "},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.builder.FormatoFile = c.formato;
    fake.builder.CodiceIsoLocalizzazione = c.localizzazione;
    fake.builder.Add(1, 15, 2024);
    ASSERT_EQ(fake.connection.executed().size(), 1u) << c.table;
    const std::string& sql = fake.connection.executed()[0];
    EXPECT_NE(sql.find(c.table), std::string::npos)
        << static_cast<int>(c.formato) << " '" << c.localizzazione << "'\n"
        << sql;
  }
}

TEST(AddTest, FieldMapping) {
  const Date valuta = *Date::Parse("2024-03-15");
  struct Case {
    const char* name;
    std::vector<Variant> row;
    bool urgente;
    int32_t livello;
    std::string iban;
    int16_t esito;
    std::string bic;
    Variant data_valuta;
    Variant abi;
    int32_t contatore;
    bool multipla;
    int32_t indirizzo;
  } const cases[] = {
      {"plain",
       {"IT60X0542811101000000123456", int64_t{0}, int64_t{0}, valuta,
        "BCITITMMXXX", int64_t{3069}, int64_t{0}, int64_t{0}, int64_t{0}},
       false,
       0,
       "IT60X0542811101000000123456",
       0,
       "BCITITMMXXX",
       valuta,
       Variant(int64_t{3069}),
       0,
       false,
       0},
      {"service level 2, grouped",
       {"IT02 ", int64_t{5}, int64_t{2}, valuta, "BIC ", int64_t{5034},
        int64_t{1}, int64_t{1}, int64_t{1}},
       true,
       2,
       "IT02 ",
       5,
       "BIC ",
       valuta,
       Variant(int64_t{5034}),
       1,
       true,
       1},
      {"all Null",
       {Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
        Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
        Variant::Null()},
       false,
       0,
       "",
       0,
       "",
       Variant(int32_t{0}),
       Variant(int32_t{0}),
       0,
       false,
       0},
      {"grouping flag 2 is not 1",
       {"X", int64_t{0}, int64_t{1}, Variant::Null(), "", Variant("X3069"),
        int64_t{2}, Variant::Null(), int64_t{0}},
       true,
       1,
       "X",
       0,
       "",
       Variant(int32_t{0}),
       Variant("X3069"),
       0,
       false,
       0},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(BatchRow(c.row));
    const auto block = fake.builder.Add(1, 16, 2024);
    ASSERT_NE(block, nullptr) << c.name << ": " << fake.builder.Errore();
    EXPECT_EQ(block->TipoDistinta, 1) << c.name;
    EXPECT_EQ(block->NumeroDistinta, 16) << c.name;
    EXPECT_EQ(block->AnnoDistinta, 2024) << c.name;
    EXPECT_EQ(block->FlagUrgente, c.urgente) << c.name;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreLivelloServizio), c.livello)
        << c.name;
    EXPECT_EQ(block->IBAN, c.iban) << c.name;
    EXPECT_EQ(block->IndicatoreEsito, c.esito) << c.name;
    EXPECT_EQ(block->BicSwift, c.bic) << c.name;
    EXPECT_EQ(block->DataValuta, c.data_valuta) << c.name;
    EXPECT_EQ(block->Abi, c.abi) << c.name;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreTipoContatorePmtInf),
              c.contatore)
        << c.name;
    EXPECT_EQ(block->IsMultipla, c.multipla) << c.name;
    EXPECT_EQ(static_cast<int32_t>(block->IndicatoreComposizioneIndirizzo),
              c.indirizzo)
        << c.name;
    EXPECT_EQ(BuilderPeer::Blocks(fake.builder).Count(), 1) << c.name;
    EXPECT_EQ(BuilderPeer::Blocks(fake.builder).Item(1), block) << c.name;
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.name;
    EXPECT_EQ(fake.builder.Stato(), 0) << c.name;
  }
}

TEST(AddTest, OnlyFirstRowIsRead) {
  FakeBuilder fake;
  fake.connection.Otherwise(
      FakeResult::Rows(kColumns, {{"FIRST", 0, 0, 0, "", 0, 0, 0, 0},
                                  {"SECOND", 0, 0, 0, "", 0, 0, 0, 0}}));
  const auto first = fake.builder.Add(1, 1, 2024);
  const auto again = fake.builder.Add(1, 1, 2024);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(first->IBAN, "FIRST");
  EXPECT_NE(first, again);
  EXPECT_EQ(BuilderPeer::Blocks(fake.builder).Count(), 2);
}

// Every failure: no block, Stato/Errore set, list unchanged, nothing raised,
// every recordset closed.
TEST(AddTest, FailuresAreRecorded) {
  struct Case {
    const char* name;
    void (*arrange)(FakeBuilder&);
    int32_t stato;
    const char* errore;  // nullptr: not checked
    size_t executed;
  } const cases[] = {
      {"not found", [](FakeBuilder&) {}, codes::kBatchNotFound,
       "Distinta non trovata", 1},
      {"broken connection", [](FakeBuilder& f) { f.connection.Break(); },
       db::testing::FakeConnection::kFailureCode, "Connessione non disponibile",
       1},
      {"database error",
       [](FakeBuilder& f) {
         f.connection.Otherwise(FakeResult::Fails(-7, "Invalid object name"));
       },
       -7, "Invalid object name", 1},
      {"value that is not a number",
       [](FakeBuilder& f) {
         f.connection.Otherwise(BatchRow({"IT", "abc", 0, 0, "", 0, 0, 0, 0}));
       },
       rt::kTypeMismatch, nullptr, 1},
      {"missing column",
       [](FakeBuilder& f) {
         f.connection.Otherwise(FakeResult::Rows({"EF10_FLGBONACC"}, {{0}}));
       },
       db::testing::FakeConnection::kFailureCode, nullptr, 1},
      {"service level beyond 32 bits",
       [](FakeBuilder& f) {
         f.connection.Otherwise(
             BatchRow({"IT", 0, int64_t{1} << 40, 0, "", 0, 0, 0, 0}));
       },
       rt::kOverflow, nullptr, 1},
      {"close fails",
       [](FakeBuilder& f) {
         FakeResult row = BatchRow({"IT", 0, 0, 0, "", 0, 0, 0, 0});
         row.close_error.emplace(-9, "x", "chiusura fallita");
         f.connection.Otherwise(row);
       },
       -9, "chiusura fallita", 1},
      {"hostile company code",
       [](FakeBuilder& f) {
         f.framework.values().CodiceDitta = "1; DROP TABLE CANARY";
       },
       codes::kUnsafeSqlValue, nullptr, 0},
      {"company code with comment",
       [](FakeBuilder& f) { f.framework.values().CodiceDitta = "1 --"; },
       codes::kUnsafeSqlValue, nullptr, 0},
      {"no framework object",
       [](FakeBuilder& f) { f.builder.ActiveInterface = nullptr; },
       rt::kObjectNotSet, nullptr, 0},
      {"no connection",
       [](FakeBuilder& f) { f.builder.AdoConnection = nullptr; },
       rt::kObjectNotSet, nullptr, 0},
      {"after Terminate",
       [](FakeBuilder& f) {
         f.connection.Otherwise(BatchRow({"IT", 0, 0, 0, "", 0, 0, 0, 0}));
         f.builder.Terminate();
       },
       rt::kObjectNotSet, nullptr, 1},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    c.arrange(fake);
    std::shared_ptr<CLSEP_INFOPAG> block;
    ASSERT_NO_THROW(block = fake.builder.Add(1, 15, 2024)) << c.name;
    EXPECT_EQ(block, nullptr) << c.name;
    EXPECT_EQ(fake.builder.Stato(), c.stato) << c.name;
    if (c.errore != nullptr) {
      EXPECT_EQ(fake.builder.Errore(), c.errore) << c.name;
    } else {
      EXPECT_FALSE(fake.builder.Errore().empty()) << c.name;
    }
    EXPECT_EQ(fake.connection.executed().size(), c.executed) << c.name;
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.name;
    if (c.stato != rt::kObjectNotSet) {
      EXPECT_EQ(BuilderPeer::Blocks(fake.builder).Count(), 0) << c.name;
    }
  }
}

TEST(AddTest, BeforeInitializeFailsWithObjectNotSet) {
  FakeBuilder fake(/*initialize=*/false);
  fake.connection.Otherwise(BatchRow({"IT", 0, 0, 0, "", 0, 0, 0, 0}));
  EXPECT_EQ(fake.builder.Add(1, 15, 2024), nullptr);
  EXPECT_EQ(fake.builder.Stato(), rt::kObjectNotSet);
  EXPECT_EQ(fake.connection.open_recordsets(), 0);
}

TEST(AddTest, SuccessKeepsEarlierFailure) {
  FakeBuilder fake;
  EXPECT_EQ(fake.builder.Add(1, 99, 2024), nullptr);
  fake.connection.Otherwise(BatchRow({"IT", 0, 0, 0, "", 0, 0, 0, 0}));
  EXPECT_NE(fake.builder.Add(1, 15, 2024), nullptr);
  EXPECT_EQ(fake.builder.Stato(), codes::kBatchNotFound);
  EXPECT_EQ(fake.builder.Errore(), "Distinta non trovata");
}

}  // namespace
}  // namespace zsepa
