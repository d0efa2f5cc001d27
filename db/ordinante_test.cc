#include "db/ordinante.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/testing/fake_connection.h"
#include "model/error.h"

namespace zsepa::db {
namespace {

using testing::FakeConnection;
using testing::FakeResult;

const std::vector<std::string> kColumns = {
    "INDTIPO",       "CG16_RAGSOANAG", "CG16_INDIRIZZO", "CG16_CAP",
    "CG16_CITTA",    "CG16_PROV",      "ISOANAG",        "DESCRNAZANAG",
    "CG16_RAGSOCOR", "CG16_INDIRCOR",  "CG16_CAPCOR",    "CG16_CITTACOR",
    "CG16_PROVCOR",  "ISOCORR",        "DESCRNAZCORR",   "CG1G_DATAFINEVAL"};

// A row: legal name, street, postcode, town, province, state; then the
// correspondence ones.
std::vector<Variant> Row(std::vector<Variant> legal,
                         std::vector<Variant> correspondence) {
  std::vector<Variant> row = {int64_t{1}};
  for (size_t i = 0; i < 6; ++i) {
    row.push_back(legal[i]);
    if (i == 4) row.push_back("IT");
  }
  for (size_t i = 0; i < 6; ++i) {
    row.push_back(correspondence[i]);
    if (i == 4) row.push_back("IT");
  }
  row.push_back(Variant::Null());
  return row;
}

TEST(QueryOrdinanteTest, Outcomes) {
  const Variant null = Variant::Null();
  const std::vector<Variant> no_correspondence = {null, "", null, "", "", ""};
  struct Case {
    const char* name;
    std::vector<Variant> row;
    std::string name_expected, line1, line2;
  } const cases[] = {
      {"legal set",
       Row({"OFFICINE ROSSI  ", "VIA DEI MILLE 12", "20121", "MILANO", "MI",
            "ITALIA "},
           no_correspondence),
       "OFFICINE ROSSI", "VIA DEI MILLE 12", "20121 MILANO MI ITALIA"},
      {"correspondence set",
       Row({"LEGALE", "VIA LEGALE", "20121", "MILANO", "MI", "ITALIA"},
           {"CORR", "VIA CORR 1", "00100", "ROMA", "RM", "ITALIA"}),
       "CORR", "VIA CORR 1", "00100 ROMA RM ITALIA"},
      {"correspondence name without street: legal set",
       Row({"LEGALE", "VIA LEGALE", "20121", "MILANO", "MI", "ITALIA"},
           {"CORR", "   ", "00100", "ROMA", "RM", "ITALIA"}),
       "LEGALE", "VIA LEGALE", "20121 MILANO MI ITALIA"},
      {"correspondence street without name: legal set",
       Row({"LEGALE", "VIA LEGALE", "", "MILANO", "", "ITALIA"},
           {null, "VIA CORR", "00100", "ROMA", "RM", "ITALIA"}),
       "LEGALE", "VIA LEGALE", "MILANO ITALIA"},
      {"only the postcode",
       Row({"A", "B", "20121", null, "", null}, no_correspondence), "A", "B",
       "20121 "},
      {"no state description",
       Row({"A", "B", "20121", "MILANO", "MI", ""}, no_correspondence), "A",
       "B", "20121 MILANO MI "},
      {"nothing but the state",
       Row({null, null, null, null, null, "ITALIA"}, no_correspondence), "", "",
       "ITALIA"},
  };
  for (const Case& c : cases) {
    FakeConnection connection;
    connection.Otherwise(FakeResult::Rows(
        kColumns,
        {c.row, Row({"SECOND", "", "", "", "", ""}, no_correspondence)}));
    const DatiOrdinante dati = QueryOrdinante(connection, Variant(1000.0));
    EXPECT_TRUE(dati.found) << c.name;
    EXPECT_EQ(dati.name, c.name_expected) << c.name;
    EXPECT_EQ(dati.address_line1, c.line1) << c.name;
    EXPECT_EQ(dati.address_line2, c.line2) << c.name;
    EXPECT_EQ(connection.open_recordsets(), 0) << c.name;
    ASSERT_EQ(connection.executed().size(), 1u) << c.name;
    EXPECT_NE(connection.executed()[0].find("WHERE CG16_CODICE=1000\r\n"),
              std::string::npos)
        << c.name;
  }
}

TEST(QueryOrdinanteTest, NoRow) {
  FakeConnection connection;
  connection.Otherwise(FakeResult::Empty(kColumns));
  const DatiOrdinante dati = QueryOrdinante(connection, Variant("4242"));
  EXPECT_FALSE(dati.found);
  EXPECT_EQ(dati.name + dati.address_line1 + dati.address_line2, "");
  EXPECT_EQ(connection.open_recordsets(), 0);
}

TEST(QueryOrdinanteTest, FailuresRaise) {
  struct Case {
    const char* name;
    Variant code;
    void (*arrange)(FakeConnection&);
    int32_t expected;
    size_t executed;
  } const cases[] = {
      {"broken", Variant(int32_t{1000}), [](FakeConnection& c) { c.Break(); },
       FakeConnection::kFailureCode, 1},
      {"missing column", Variant(int32_t{1000}),
       [](FakeConnection& c) {
         c.Otherwise(FakeResult::Rows({"CG16_RAGSOANAG"}, {{"X"}}));
       },
       FakeConnection::kFailureCode, 1},
      {"empty code", Variant(""), [](FakeConnection&) {},
       codes::kUnsafeSqlValue, 0},
      {"hostile code", Variant("1000 UNION SELECT * FROM CANARY"),
       [](FakeConnection&) {}, codes::kUnsafeSqlValue, 0},
  };
  for (const Case& c : cases) {
    FakeConnection connection;
    c.arrange(connection);
    try {
      QueryOrdinante(connection, c.code);
      ADD_FAILURE() << "no error: " << c.name;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), c.expected) << c.name;
    }
    EXPECT_EQ(connection.executed().size(), c.executed) << c.name;
    EXPECT_EQ(connection.open_recordsets(), 0) << c.name;
  }
}

}  // namespace
}  // namespace zsepa::db
