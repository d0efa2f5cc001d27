// The lookups on the fake connection: failure paths, conversions the demo
// data does not reach, the cache. Outcomes on real data: sqlite_db_test.cc.
#include <gtest/gtest.h>

#include <string>

#include "base/testing/error_code.h"
#include "db/testing/fake_builder.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

using db::testing::FakeBuilder;
using db::testing::FakeConnection;
using db::testing::FakeLookups;
using db::testing::FakeResult;
using zsepa::testing::ErrorCode;

// Failures never reach Stato/Errore: CUC reads "??????", IBAN reads False.
TEST(LookupsTest, CodiceCucAndIbanEstero) {
  struct Case {
    const char* name;
    FakeResult answer;
    const char* cuc;
    bool estero;
  } const cases[] = {
      {"trailing blanks", FakeResult::Scalar("X", "1  "), "1", true},
      {"Null", FakeResult::Scalar("X", Variant::Null()), "", false},
      {"2", FakeResult::Scalar("X", int64_t{2}), "2", false},
      {"not a number", FakeResult::Scalar("X", "abc"), "abc", false},
      {"database error", FakeResult::Fails(-5, "syntax"), "??????", false},
      {"close fails", FakeResult::Scalar("X", 1).ClosesBadly(), "??????", true},
  };
  for (Case c : cases) {
    c.answer.columns = {"EF08_CODICECUC"};
    FakeLookups cuc;
    cuc.connection.Otherwise(c.answer);
    EXPECT_EQ(cuc.lookups.LeggiCodiceCUC(2), c.cuc) << c.name;
    c.answer.columns = {"IS_IBAN_ESTERO"};
    FakeLookups iban;
    iban.connection.Otherwise(c.answer);
    EXPECT_EQ(iban.lookups.IsIbanEstero("FR76 "), c.estero) << c.name;
    EXPECT_EQ(iban.connection.executed().at(0),
              "SELECT ISNULL(dbo.FNEP_ISIBANESTERO('FR76'), 0) As "
              "IS_IBAN_ESTERO");
    for (const FakeLookups* f : {&cuc, &iban}) {
      EXPECT_EQ(f->on.last_error.stato, 0) << c.name;
      EXPECT_EQ(f->on.last_error.errore, "") << c.name;
      EXPECT_EQ(f->connection.open_recordsets(), 0) << c.name;
    }
  }
}

TEST(LookupsTest, IndTipoStato) {
  struct Case {
    FakeResult answer;
    int16_t expected;
    int32_t stato;
  } const cases[] = {
      {FakeResult::Scalar("X", "2"), 2, 0},
      {FakeResult::Empty({"X"}), -1, FakeConnection::kFailureCode},
      {FakeResult::Fails(-3, "Invalid object name"), -1, -3},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(c.answer);
    EXPECT_EQ(fake.builder.GetIndTipoStato("29  "), c.expected) << c.stato;
    EXPECT_EQ(fake.builder.Stato(), c.stato);
    EXPECT_EQ(fake.builder.Errore().empty(), c.stato == 0) << c.stato;
    EXPECT_EQ(fake.connection.executed().at(0),
              "SELECT DBO.FNCO_INDTIPOSTATO(29, 1)");
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.stato;
  }
}

// One query per trimmed code until Initialize; a failed query leaves no
// entry, a Null stays cached and fails every call.
TEST(LookupsTest, IndTipoStatoCache) {
  FakeBuilder fake;
  fake.connection.FailOnExecute(1)
      .On("(86,", FakeResult::Scalar("X", int64_t{-1}))
      .On("(99,", FakeResult::Scalar("X", Variant::Null()))
      .Otherwise(FakeResult::Scalar("X", int64_t{1}));
  EXPECT_EQ(fake.builder.GetIndTipoStato("86"), -1);  // fails
  EXPECT_EQ(fake.builder.Stato(), FakeConnection::kFailureCode);
  for (const char* code : {"86", "86 ", "29", "29", "99", "99"}) {
    fake.builder.GetIndTipoStato(code);
  }
  EXPECT_EQ(fake.builder.Stato(), rt::kInvalidUseOfNull);
  EXPECT_EQ(fake.connection.executed().size(), 4u);
  fake.builder.Initialize();
  EXPECT_EQ(fake.builder.GetIndTipoStato("86"), -1);
  EXPECT_EQ(fake.connection.executed().size(), 5u);
}

// IsCausaleInsoluto raises to its caller, leaves Stato alone and closes.
TEST(LookupsTest, CausaleInsolutoErrors) {
  FakeLookups fake;
  fake.connection.Otherwise(FakeResult::Rows({"CG6G_CODICE"}, {{"AM04"}}));
  EXPECT_EQ(ErrorCode([&] { fake.lookups.IsCausaleInsoluto("AM04"); }),
            FakeConnection::kFailureCode);
  EXPECT_EQ(fake.on.last_error.stato, 0);
  EXPECT_EQ(fake.connection.open_recordsets(), 0);
}

}  // namespace
}  // namespace zsepa
