#include "adapters/sqlite/dialect.h"

#include <gtest/gtest.h>

#include <string>

namespace zsepa::sqlite {
namespace {

struct RewriteCase {
  std::string input;
  std::string expected;
};

TEST(RewriteDialectTest, RewritesOnlyTheDialectPointsOutsideLiterals) {
  const RewriteCase cases[] = {
      // Table hints, any case, blanks inside, at the end of the text.
      {"SELECT * FROM T WITH(NOLOCK) WHERE A=1", "SELECT * FROM T  WHERE A=1"},
      {"FROM T with ( nolock )\r\nJOIN", "FROM T \r\nJOIN"},
      {"FROM T WITH\t(NoLock)", "FROM T "},
      {"FROM T WITH(NOLOCK),U WITH(NOLOCK)", "FROM T ,U "},
      // Not a hint: other table hints, CTEs, longer words.
      {"FROM T WITH(INDEX(I))", "FROM T WITH(INDEX(I))"},
      {"FROM T WITH(NOLOCKS)", "FROM T WITH(NOLOCKS)"},
      {"SELECT XWITH(NOLOCK)", "SELECT XWITH(NOLOCK)"},
      // Schema prefix of function calls only.
      {"SELECT DBO.FNCO_INDTIPOSTATO(86, 1)",
       "SELECT FNCO_INDTIPOSTATO(86, 1)"},
      {"WHERE D >= dbo.QRV_GETDATE()", "WHERE D >= QRV_GETDATE()"},
      {"SELECT dbo.F (1)", "SELECT F (1)"},
      {"SELECT dbo.COL FROM dbo.T", "SELECT dbo.COL FROM dbo.T"},
      {"SELECT XDBO.F(1)", "SELECT XDBO.F(1)"},
      // ISNULL as a function; the postfix operator stays.
      {"SELECT ISNULL(dbo.FNEP_ISIBANESTERO('IT1'), 0) As X",
       "SELECT IFNULL(FNEP_ISIBANESTERO('IT1'), 0) As X"},
      {"SELECT isnull (A,0), IsNull(B,0)", "SELECT ifnull (A,0), IfNull(B,0)"},
      {"WHERE A ISNULL", "WHERE A ISNULL"},
      {"SELECT MYISNULL(A)", "SELECT MYISNULL(A)"},
      // Literals, quoted and bracketed names, comments stay byte for byte.
      {"SELECT 'WITH(NOLOCK) dbo.F( ISNULL(' FROM T",
       "SELECT 'WITH(NOLOCK) dbo.F( ISNULL(' FROM T"},
      {"SELECT 'it''s ISNULL(' , ISNULL(A,'''')",
       "SELECT 'it''s ISNULL(' , IFNULL(A,'''')"},
      {"SELECT '''', 'WITH(NOLOCK)'", "SELECT '''', 'WITH(NOLOCK)'"},
      {"SELECT N'dbo.F(x)'", "SELECT N'dbo.F(x)'"},
      {"SELECT \"ISNULL(\", [dbo.F(] FROM T",
       "SELECT \"ISNULL(\", [dbo.F(] FROM T"},
      {"ON [EF06_DITTA_EF09]=EF09_DITTA_CG18",
       "ON [EF06_DITTA_EF09]=EF09_DITTA_CG18"},
      {"SELECT 1 -- ISNULL(\nFROM T WITH(NOLOCK)",
       "SELECT 1 -- ISNULL(\nFROM T "},
      {"SELECT /* dbo.F( */ 1", "SELECT /* dbo.F( */ 1"},
      // Unterminated literal: the rest is literal.
      {"SELECT 'abc ISNULL(", "SELECT 'abc ISNULL("},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RewriteDialect(c.input), c.expected) << c.input;
  }
}

}  // namespace
}  // namespace zsepa::sqlite
