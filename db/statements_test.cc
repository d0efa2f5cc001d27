#include "db/statements.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "base/testing/error_code.h"
#include "db/sql_value.h"
#include "zsepa/error.h"

namespace zsepa::db {
namespace {

using zsepa::testing::ErrorCode;

// One whole text per statement kind, byte for byte, against the files in
// db/testdata/ (ZSEPA_UPDATE_GOLDEN=1 rewrites them; read every change).
TEST(StatementsTest, WholeTexts) {
  const std::pair<const char*, std::string> cases[] = {
      {"batch_sepa", BatchStatement(zxEnumFormatoFile::BonificoSEPA, "",
                                    Variant(1.0), 1, 15, 2024)},
      {"batch_localised",
       BatchStatement(zxEnumFormatoFile::BonificoEsteroXML, "FR",
                      Variant("-12"), -3, 2147483647, 2024)},
      {"batch_direct_debit",
       BatchStatement(zxEnumFormatoFile::RidSecureDirectDebit, "FR",
                      Variant(int32_t{1}), 1, 12, 2024)},
      {"codice_cuc", CodiceCucStatement(Variant(int64_t{1}), 2)},
      {"iban_estero", IbanEsteroStatement("FR7630006000011234567890189")},
      {"ind_tipo_stato", IndTipoStatoStatement("86", Variant(int64_t{1}))},
      {"ind_tipo_stato_blank", IndTipoStatoStatement("", Variant(int64_t{1}))},
      {"causale_insoluto", CausaleInsolutoStatement(" AM04 ")},
      {"ordinante", QueryOrdinanteStatement(Variant(int32_t{1000}))},
      {"creditore", QueryCreditoreStatement(Variant("1000"))},
      {"effetti_distinta",
       QueryEffettiDistintaStatement(Variant(int16_t{1}), 12, 2024)},
  };
  const char* update = std::getenv("ZSEPA_UPDATE_GOLDEN");
  for (const auto& [name, actual] : cases) {
    const std::string path =
        std::string(ZSEPA_SOURCE_DIR) + "/db/testdata/" + name + ".sql";
    if (update != nullptr && std::string(update) == "1") {
      std::ofstream(path, std::ios::binary) << actual;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "missing " << path;
    const std::string expected{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(actual, expected) << name;
  }
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
       {Variant(int64_t{-42}), Variant(1000.0), Variant("0012"), Variant(" 1"),
        Variant("1000 "), Variant("  -94  ")}) {
    EXPECT_EQ(IntegerSqlValue(value), value.ToText());
  }
  for (const Variant& value :
       {Variant(""), Variant(), Variant::Null(), Variant("+1"), Variant("  "),
        Variant("- 1"), Variant("1 2"), Variant("\t1"), Variant("1\n"),
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
