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

FakeResult ClosesBadly(FakeResult result) {
  result.close_error.emplace(-9, "x", "chiusura fallita");
  return result;
}

// Each case: how the connection answers, and what the lookup gives.
struct Scripted {
  const char* name;
  void (*arrange)(FakeBuilder&);
};

TEST(LeggiCodiceCucTest, Outcomes) {
  struct Case {
    Scripted script;
    std::string expected;
    size_t executed;
  } const cases[] = {
      {{"found, trailing blanks",
        [](FakeBuilder& f) {
          f.connection.Otherwise(
              FakeResult::Scalar("EF08_CODICECUC", "ABCDEF12  "));
        }},
       "ABCDEF12",
       1},
      {{"Null",
        [](FakeBuilder& f) {
          f.connection.Otherwise(
              FakeResult::Scalar("EF08_CODICECUC", Variant::Null()));
        }},
       "",
       1},
      {{"no row", [](FakeBuilder&) {}}, "", 1},
      {{"broken", [](FakeBuilder& f) { f.connection.Break(); }}, "??????", 1},
      {{"close fails",
        [](FakeBuilder& f) {
          f.connection.Otherwise(
              ClosesBadly(FakeResult::Scalar("EF08_CODICECUC", "X")));
        }},
       "??????",
       1},
      {{"hostile company code",
        [](FakeBuilder& f) { f.framework.values().CodiceDitta = "1 OR 1=1"; }},
       "??????",
       0},
      {{"no framework object",
        [](FakeBuilder& f) { f.builder.ActiveInterface = nullptr; }},
       "??????",
       0},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    c.script.arrange(fake);
    EXPECT_EQ(BuilderPeer::LeggiCodiceCUC(fake.builder, 2), c.expected)
        << c.script.name;
    EXPECT_EQ(fake.builder.Stato(), 0) << c.script.name;
    EXPECT_EQ(fake.builder.Errore(), "") << c.script.name;
    ASSERT_EQ(fake.connection.executed().size(), c.executed) << c.script.name;
    if (c.executed == 1) {
      EXPECT_EQ(fake.connection.executed()[0],
                "SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) "
                "WHERE EF08_DITTA_CG18=1 AND EF08_PROGR=2")
          << c.script.name;
    }
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.script.name;
  }
}

TEST(IsIbanEsteroTest, Outcomes) {
  struct Case {
    const char* iban;
    FakeResult answer;
    bool expected;
    size_t executed;
  } const cases[] = {
      {"FR76 ", FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{1}), true, 1},
      {"IT60", FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{0}), false, 1},
      {"IT60", FakeResult::Scalar("IS_IBAN_ESTERO", Variant::Null()), false, 1},
      {"IT60", FakeResult::Scalar("IS_IBAN_ESTERO", "1"), true, 1},
      {"IT60", FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{2}), false, 1},
      {"IT60", FakeResult::Empty({"IS_IBAN_ESTERO"}), false, 1},
      {"IT60", FakeResult::Scalar("IS_IBAN_ESTERO", "abc"), false, 1},
      {"IT60", FakeResult::Fails(-5, "syntax"), false, 1},
      {"IT60", ClosesBadly(FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{1})),
       true, 1},
      {"IT60'", FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{1}), false, 0},
      {"x'); DELETE FROM CANARY; --",
       FakeResult::Scalar("IS_IBAN_ESTERO", int64_t{1}), false, 0},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(c.answer);
    EXPECT_EQ(BuilderPeer::IsIbanEstero(fake.builder, c.iban), c.expected)
        << c.iban;
    EXPECT_EQ(fake.builder.Stato(), 0) << c.iban;
    EXPECT_EQ(fake.connection.executed().size(), c.executed) << c.iban;
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.iban;
  }
  FakeBuilder trimmed;
  BuilderPeer::IsIbanEstero(trimmed.builder, "FR76 ");
  ASSERT_EQ(trimmed.connection.executed().size(), 1u);
  EXPECT_EQ(trimmed.connection.executed()[0],
            "SELECT ISNULL(dbo.FNEP_ISIBANESTERO('FR76'), 0) As "
            "IS_IBAN_ESTERO");
  FakeBuilder broken;
  broken.connection.Break();
  EXPECT_FALSE(BuilderPeer::IsIbanEstero(broken.builder, "FR76"));
}

TEST(GetIndTipoStatoTest, Outcomes) {
  struct Case {
    const char* code;
    FakeResult answer;
    int16_t expected;
    int32_t stato;
    const char* sql;  // nullptr: nothing may reach the database
  } const cases[] = {
      {"86", FakeResult::Scalar("X", int64_t{-1}), -1, 0,
       "SELECT DBO.FNCO_INDTIPOSTATO(86, 1)"},
      {"29  ", FakeResult::Scalar("X", int64_t{1}), 1, 0,
       "SELECT DBO.FNCO_INDTIPOSTATO(29, 1)"},
      {"", FakeResult::Scalar("X", int64_t{3}), 3, 0,
       "SELECT DBO.FNCO_INDTIPOSTATO(0, 1)"},
      {"71", FakeResult::Scalar("X", "2"), 2, 0, nullptr},
      {"71", FakeResult::Scalar("X", true), -1, 0, nullptr},
      {"71", FakeResult::Scalar("X", Variant::Null()), -1,
       rt::kInvalidUseOfNull, nullptr},
      {"71", FakeResult::Scalar("X", int64_t{70000}), -1, rt::kOverflow,
       nullptr},
      {"71", FakeResult::Empty({"X"}), -1,
       db::testing::FakeConnection::kFailureCode, nullptr},
      {"71", FakeResult::Fails(-3, "Invalid object name"), -1, -3, nullptr},
      {"86 OR 1=1", FakeResult::Scalar("X", int64_t{1}), -1,
       codes::kUnsafeSqlValue, nullptr},
      {"1; DROP TABLE CANARY", FakeResult::Scalar("X", int64_t{1}), -1,
       codes::kUnsafeSqlValue, nullptr},
      {"86--", FakeResult::Scalar("X", int64_t{1}), -1, codes::kUnsafeSqlValue,
       nullptr},
      {"'86'", FakeResult::Scalar("X", int64_t{1}), -1, codes::kUnsafeSqlValue,
       nullptr},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(c.answer);
    EXPECT_EQ(fake.builder.GetIndTipoStato(c.code), c.expected) << c.code;
    EXPECT_EQ(fake.builder.Stato(), c.stato) << c.code;
    EXPECT_EQ(fake.builder.Errore().empty(), c.stato == 0) << c.code;
    if (c.sql != nullptr) {
      ASSERT_EQ(fake.connection.executed().size(), 1u) << c.code;
      EXPECT_EQ(fake.connection.executed()[0], c.sql) << c.code;
    }
    if (c.stato == codes::kUnsafeSqlValue) {
      EXPECT_TRUE(fake.connection.executed().empty()) << c.code;
    }
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.code;
  }
}

TEST(GetIndTipoStatoTest, CacheByTrimmedCode) {
  FakeBuilder fake;
  fake.connection.On("(86,", FakeResult::Scalar("X", int64_t{-1}))
      .On("(29,", FakeResult::Scalar("X", int64_t{1}));
  EXPECT_EQ(fake.builder.GetIndTipoStato("86"), -1);
  EXPECT_EQ(fake.builder.GetIndTipoStato("86 "), -1);
  EXPECT_EQ(fake.builder.GetIndTipoStato("29"), 1);
  EXPECT_EQ(fake.builder.GetIndTipoStato("29"), 1);
  EXPECT_EQ(fake.connection.executed().size(), 2u);
  // A new Initialize drops the cache.
  fake.builder.Initialize();
  EXPECT_EQ(fake.builder.GetIndTipoStato("86"), -1);
  EXPECT_EQ(fake.connection.executed().size(), 3u);
}

TEST(GetIndTipoStatoTest, FailureLeavesNoEntryButNullStaysCached) {
  FakeBuilder fake;
  fake.connection.FailOnExecute(1).Otherwise(
      FakeResult::Scalar("X", int64_t{2}));
  EXPECT_EQ(fake.builder.GetIndTipoStato("71"), -1);
  EXPECT_EQ(fake.builder.Stato(), db::testing::FakeConnection::kFailureCode);
  EXPECT_EQ(fake.builder.GetIndTipoStato("71"), 2);  // asks again
  EXPECT_EQ(fake.connection.executed().size(), 2u);

  FakeBuilder null_state;
  null_state.connection.Otherwise(FakeResult::Scalar("X", Variant::Null()));
  for (int call = 0; call < 3; ++call) {
    EXPECT_EQ(null_state.builder.GetIndTipoStato("99"), -1) << call;
    EXPECT_EQ(null_state.builder.Stato(), rt::kInvalidUseOfNull) << call;
  }
  EXPECT_EQ(null_state.connection.executed().size(), 1u);
}

TEST(GetIndTipoStatoTest, WithoutCacheOrCollaborators) {
  struct Case {
    const char* name;
    void (*arrange)(FakeBuilder&);
  } const cases[] = {
      {"before Initialize", [](FakeBuilder&) {}},
      {"after Terminate",
       [](FakeBuilder& f) {
         f.builder.Initialize();
         f.builder.Terminate();
       }},
      {"no framework object",
       [](FakeBuilder& f) {
         f.builder.Initialize();
         f.builder.ActiveInterface = nullptr;
       }},
      {"no connection",
       [](FakeBuilder& f) {
         f.builder.Initialize();
         f.builder.AdoConnection = nullptr;
       }},
  };
  for (const Case& c : cases) {
    FakeBuilder fake(/*initialize=*/false);
    fake.connection.Otherwise(FakeResult::Scalar("X", int64_t{1}));
    c.arrange(fake);
    EXPECT_EQ(fake.builder.GetIndTipoStato("86"), -1) << c.name;
    EXPECT_EQ(fake.builder.Stato(), rt::kObjectNotSet) << c.name;
    EXPECT_FALSE(fake.builder.Errore().empty()) << c.name;
    EXPECT_TRUE(fake.connection.executed().empty()) << c.name;
    // IsIndTipoStato reads the failure as "type -1".
    EXPECT_TRUE(BuilderPeer::IsIndTipoStato(fake.builder, Variant("86")))
        << c.name;
  }
}

TEST(IsIndTipoStatoTest, Outcomes) {
  FakeBuilder fake;
  fake.connection.On("(86,", FakeResult::Scalar("X", int64_t{-1}))
      .On("(29,", FakeResult::Scalar("X", int64_t{1}))
      .On("(71,", FakeResult::Scalar("X", true));
  EXPECT_TRUE(BuilderPeer::IsIndTipoStato(fake.builder, Variant(int64_t{86})));
  EXPECT_FALSE(BuilderPeer::IsIndTipoStato(fake.builder, Variant("29")));
  EXPECT_TRUE(BuilderPeer::IsIndTipoStato(fake.builder, Variant(int16_t{71})));
  EXPECT_EQ(fake.builder.Stato(), 0);
  EXPECT_TRUE(BuilderPeer::IsIndTipoStato(fake.builder, Variant("8 6")));
  EXPECT_EQ(fake.builder.Stato(), codes::kUnsafeSqlValue);
  EXPECT_EQ(fake.connection.executed().size(), 3u);
}

TEST(IsCausaleInsolutoTest, Outcomes) {
  const std::vector<std::string> columns = {"CG6G_CODICE", "CG6G_INDTIPOMOV"};
  struct Case {
    const char* code;
    std::vector<std::vector<Variant>> rows;
    bool expected;
  } const cases[] = {
      {"AM04", {{"AM04", int64_t{1}}}, true},
      {"MD06", {{"MD06", int64_t{2}}}, false},
      {"SL01", {{"SL01", int64_t{0}}}, false},
      {"MS03", {{"MS03", Variant::Null()}}, false},
      {"XX99", {}, true},
      {" AM04", {}, true},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(FakeResult::Rows(columns, c.rows));
    EXPECT_EQ(BuilderPeer::IsCausaleInsoluto(fake.builder, c.code), c.expected)
        << c.code;
    ASSERT_EQ(fake.connection.executed().size(), 1u) << c.code;
    EXPECT_EQ(fake.connection.executed()[0],
              std::string("SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) "
                          "WHERE CG6G_CODICE='") +
                  c.code + "'")
        << c.code;
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.code;
  }
}

TEST(IsCausaleInsolutoTest, ErrorsReachTheCaller) {
  struct Case {
    const char* name;
    const char* code;
    void (*arrange)(FakeBuilder&);
    int32_t code_expected;
    size_t executed;
  } const cases[] = {
      {"broken", "AM04", [](FakeBuilder& f) { f.connection.Break(); },
       db::testing::FakeConnection::kFailureCode, 1},
      {"missing column", "AM04",
       [](FakeBuilder& f) {
         f.connection.Otherwise(FakeResult::Rows({"CG6G_CODICE"}, {{"AM04"}}));
       },
       db::testing::FakeConnection::kFailureCode, 1},
      {"quote", "AM04' OR '1'='1", [](FakeBuilder&) {}, codes::kUnsafeSqlValue,
       0},
      {"second statement", "x'; DROP TABLE CANARY; --", [](FakeBuilder&) {},
       codes::kUnsafeSqlValue, 0},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    c.arrange(fake);
    try {
      BuilderPeer::IsCausaleInsoluto(fake.builder, c.code);
      ADD_FAILURE() << "no error: " << c.name;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), c.code_expected) << c.name;
    }
    EXPECT_EQ(fake.builder.Stato(), 0) << c.name;
    EXPECT_EQ(fake.connection.executed().size(), c.executed) << c.name;
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.name;
  }
}

}  // namespace
}  // namespace zsepa
