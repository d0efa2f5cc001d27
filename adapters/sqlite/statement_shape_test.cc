#include "adapters/sqlite/statement_shape.h"

#include <gtest/gtest.h>

#include <string>

namespace zsepa::sqlite {
namespace {

// The literals of a shape written back: 'text' (quotes not doubled) or the
// integer.
std::string Lifted(const StatementShape& shape) {
  std::string result;
  for (const Literal& literal : shape.literals) {
    result += literal.is_text ? "'" + literal.text + "' "
                              : std::to_string(literal.integer) + " ";
  }
  return result;
}

TEST(StatementShapeTest, LiftsQuotedTextsAndPlainIntegers) {
  struct Case {
    const char* sql;
    const char* shape;  // nullptr: run as it is
    const char* literals;
  };
  const Case cases[] = {
      {"SELECT IFNULL(F('IT60X'), 0) As X", "SELECT IFNULL(F(?), ?) As X",
       "'IT60X' 0 "},
      {"SELECT * FROM T WHERE A='it''s' AND B=-12 AND C=''",
       "SELECT * FROM T WHERE A=? AND B=-? AND C=?", "'it's' 12 '' "},
      // Kept: names with digits, other number forms, glued literals.
      {"SELECT EF09_ANNO, 1.5, .5, 1e-3, 0x1F, 12abc, x'00', N'a' FROM T1",
       "SELECT EF09_ANNO, 1.5, .5, 1e-3, 0x1F, 12abc, x'00', N'a' FROM T1", ""},
      {"SELECT 1234567890123456789, 123456789012345678",
       "SELECT 1234567890123456789, ?", "123456789012345678 "},
      // Names and comments stay; a leading comment is no statement word.
      {"/* 'c' 1 */ select \"a'1\", [b '2'], `c`, 3 -- '4' 5\n",
       "/* 'c' 1 */ select \"a'1\", [b '2'], `c`, ? -- '4' 5\n", "3 "},
      // Positions after ORDER or GROUP name columns.
      {"SELECT A FROM T WHERE B=7 GROUP BY 1 ORDER BY 2",
       "SELECT A FROM T WHERE B=? GROUP BY 1 ORDER BY 2", "7 "},
      // Run as they are.
      {"PRAGMA user_version", nullptr, ""},
      {"WITH A AS (SELECT 1) SELECT * FROM A", nullptr, ""},
      {"SELECT ?1, 'a'", nullptr, ""},
      {"SELECT :v", nullptr, ""},
      {"SELECT 'open", nullptr, ""},
      {"SELECT 1 /* open", nullptr, ""},
      {"  ", nullptr, ""},
  };
  for (const Case& c : cases) {
    const std::optional<StatementShape> shape = ShapeOf(c.sql);
    if (c.shape == nullptr) {
      EXPECT_FALSE(shape.has_value()) << c.sql;
      continue;
    }
    ASSERT_TRUE(shape.has_value()) << c.sql;
    EXPECT_EQ(shape->text, c.shape) << c.sql;
    EXPECT_EQ(Lifted(*shape), c.literals) << c.sql;
  }
}

}  // namespace
}  // namespace zsepa::sqlite
