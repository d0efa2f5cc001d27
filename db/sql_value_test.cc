#include "db/sql_value.h"

#include <gtest/gtest.h>

#include <string>

#include "model/error.h"

namespace zsepa::db {
namespace {

TEST(SqlValueTest, IntegerValues) {
  struct Case {
    Variant value;
    bool accepted;
  } const cases[] = {
      {Variant(int32_t{1}), true},
      {Variant(int64_t{-42}), true},
      {Variant(1000.0), true},
      {Variant("0012"), true},
      {Variant("-7"), true},
      {Variant(""), false},
      {Variant(), false},
      {Variant::Null(), false},
      {Variant("-"), false},
      {Variant("+1"), false},
      {Variant(" 1"), false},
      {Variant("1 "), false},
      {Variant(1.5), false},
      {Variant("1e3"), false},
      {Variant("1 OR 1=1"), false},
      {Variant("1;DROP TABLE X"), false},
      {Variant("1--"), false},
      {Variant(true), false},
      {Variant(std::string("1\0", 2)), false},
  };
  for (const Case& c : cases) {
    const std::string text = c.value.ToText();
    if (c.accepted) {
      EXPECT_EQ(IntegerSqlValue(c.value), text) << text;
      continue;
    }
    try {
      IntegerSqlValue(c.value);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), codes::kUnsafeSqlValue) << text;
      EXPECT_NE(error.Description().find("non è un numero intero"),
                std::string::npos)
          << error.Description();
    }
  }
}

TEST(SqlValueTest, QuotedValues) {
  EXPECT_EQ(QuotedSqlValue(""), "");
  EXPECT_EQ(QuotedSqlValue("IT60 X0542; -- \"x\""), "IT60 X0542; -- \"x\"");
  for (const std::string& text :
       {std::string("O'Brien"), std::string("'"), std::string("x');--"),
        std::string("a\0b", 3)}) {
    try {
      QuotedSqlValue(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), codes::kUnsafeSqlValue) << text;
    }
  }
}

TEST(SqlValueTest, MessageNamesTheValue) {
  try {
    IntegerSqlValue(std::string_view("86 OR 1=1"));
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(error.Description(),
              "Valore non ammesso in un'istruzione SQL: \"86 OR 1=1\" non è "
              "un numero intero; l'istruzione non viene eseguita");
  }
  try {
    QuotedSqlValue("O'Brien\r\n");
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(error.Description(),
              "Valore non ammesso in un'istruzione SQL: \"O'Brien??\" "
              "contiene un apice; l'istruzione non viene eseguita");
  }
}

}  // namespace
}  // namespace zsepa::db
