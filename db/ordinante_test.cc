// QueryOrdinante on the fake connection: the choice of address set and the
// second line; the history order on real data is in sqlite_db_test.cc.
#include "db/ordinante.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/testing/error_code.h"
#include "db/testing/fake_connection.h"
#include "zsepa/error.h"

namespace zsepa::db {
namespace {

using testing::FakeConnection;
using testing::FakeResult;
using zsepa::testing::ErrorCode;

const std::vector<std::string> kColumns = {
    "CG16_RAGSOANAG", "CG16_INDIRIZZO", "CG16_CAP",      "CG16_CITTA",
    "CG16_PROV",      "DESCRNAZANAG",   "CG16_RAGSOCOR", "CG16_INDIRCOR",
    "CG16_CAPCOR",    "CG16_CITTACOR",  "CG16_PROVCOR",  "DESCRNAZCORR"};

TEST(QueryOrdinanteTest, Outcomes) {
  const Variant null = Variant::Null();
  const std::vector<Variant> legal = {"LEGALE", "VIA L", "20121",
                                      "MILANO", "MI",    "ITALIA"};
  const auto row = [](std::vector<Variant> a, std::vector<Variant> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    std::vector<Variant> row;  // legal set, then correspondence set
    std::string expected;      // name|line 1|line 2
  } const cases[] = {
      {row({"ROSSI  ", "VIA 1", "20121", "MILANO", "MI", "ITALIA "},
           {null, "", null, "", "", ""}),
       "ROSSI|VIA 1|20121 MILANO MI ITALIA"},
      {row(legal, {"CORR", "VIA C", "00100", "ROMA", "RM", "ITALIA"}),
       "CORR|VIA C|00100 ROMA RM ITALIA"},
      {row(legal, {"CORR", "   ", "00100", "ROMA", "RM", "ITALIA"}),
       "LEGALE|VIA L|20121 MILANO MI ITALIA"},
      {row(legal, {null, "VIA C", "00100", "ROMA", "RM", "ITALIA"}),
       "LEGALE|VIA L|20121 MILANO MI ITALIA"},
      {{}, "|| (not found)"},
  };
  for (const Case& c : cases) {
    FakeConnection connection;
    if (!c.row.empty()) {
      connection.Otherwise(
          FakeResult::Rows(kColumns, {c.row, row(legal, legal)}));
    }
    const DatiOrdinante dati = QueryOrdinante(connection, Variant(1000.0));
    EXPECT_EQ(dati.name + "|" + dati.address_line1 + "|" + dati.address_line2 +
                  (dati.found ? "" : " (not found)"),
              c.expected);
    EXPECT_EQ(connection.open_recordsets(), 0) << c.expected;
  }
}

// A failure after the statement ran raises and still closes the recordset.
TEST(QueryOrdinanteTest, FailureRaisesAndCloses) {
  FakeConnection connection;
  connection.Otherwise(FakeResult::Rows({"CG16_RAGSOANAG"}, {{"X"}}));
  EXPECT_EQ(ErrorCode([&] { QueryOrdinante(connection, Variant(1000.0)); }),
            FakeConnection::kFailureCode);
  EXPECT_EQ(connection.open_recordsets(), 0);
}

}  // namespace
}  // namespace zsepa::db
