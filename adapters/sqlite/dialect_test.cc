#include "adapters/sqlite/dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zsepa::sqlite {
namespace {

TEST(RewriteDialectTest, RewritesOnlyTheDialectPointsOutsideLiterals) {
  const std::pair<std::string, std::string> cases[] = {
      // Table hints, any case, blanks inside, at the end of the text.
      {"FROM T with ( nolock )\r\nJOIN", "FROM T \r\nJOIN"},
      {"FROM T WITH(NOLOCK),U WITH\t(NoLock)", "FROM T ,U "},
      // Not a hint: a longer word.
      {"FROM T WITH(NOLOCKS)", "FROM T WITH(NOLOCKS)"},
      // Schema prefix of function calls only.
      {"SELECT DBO.F(86, 1), dbo.G (1)", "SELECT F(86, 1), G (1)"},
      {"SELECT dbo.COL FROM dbo.T", "SELECT dbo.COL FROM dbo.T"},
      // ISNULL as a function; the postfix operator stays.
      {"SELECT ISNULL(dbo.F('IT1'), 0), isnull (A,0)",
       "SELECT IFNULL(F('IT1'), 0), ifnull (A,0)"},
      {"SELECT MYISNULL(A)", "SELECT MYISNULL(A)"},
      // Literals, quoted and bracketed names, comments stay byte for byte.
      {"SELECT 'it''s ISNULL(' , ISNULL(A,'''')",
       "SELECT 'it''s ISNULL(' , IFNULL(A,'''')"},
      {"SELECT '''', 'WITH(NOLOCK)', N'dbo.F(x)'",
       "SELECT '''', 'WITH(NOLOCK)', N'dbo.F(x)'"},
      {"SELECT \"ISNULL(\", [dbo.F(] FROM T",
       "SELECT \"ISNULL(\", [dbo.F(] FROM T"},
      {"SELECT 1 -- ISNULL(\nFROM T WITH(NOLOCK)",
       "SELECT 1 -- ISNULL(\nFROM T "},
      // Unterminated literal: the rest is literal.
      {"SELECT 'abc ISNULL(", "SELECT 'abc ISNULL("},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(RewriteDialect(input), expected) << input;
  }
}

}  // namespace
}  // namespace zsepa::sqlite
