// Add on the fake connection: every failure path. What Add reads from each
// kind of batch: sqlite_db_test.cc.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/testing/fake_builder.h"
#include "zsepa/error.h"

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

// Every failure: no block, Stato/Errore set, list unchanged, nothing raised,
// every recordset closed.
TEST(AddTest, FailuresAreRecorded) {
  const FakeResult good = BatchRow({"IT", 0, 0, 0, "", 0, 0, 0, 0});
  struct Case {
    FakeResult answer;
    void (*arrange)(CLSEP_FILESEPA&);  // nullptr: nothing to do
    int32_t stato;
    std::string errore;  // "": any text
  } const cases[] = {
      {FakeResult::Empty(), nullptr, codes::kBatchNotFound,
       "Distinta non trovata"},
      {FakeResult::Fails(-7, "Invalid object"), nullptr, -7, "Invalid object"},
      {BatchRow({"IT", "abc", 0, 0, "", 0, 0, 0, 0}), nullptr,
       rt::kTypeMismatch, ""},
      {good.ClosesBadly(), nullptr, -9, "chiusura fallita"},
      {good, [](CLSEP_FILESEPA& b) { b.AdoConnection = nullptr; },
       rt::kObjectNotSet, ""},
      {good, [](CLSEP_FILESEPA& b) { b.Terminate(); }, rt::kObjectNotSet, ""},
  };
  for (const Case& c : cases) {
    FakeBuilder fake;
    fake.connection.Otherwise(c.answer);
    if (c.arrange != nullptr) c.arrange(fake.builder);
    std::shared_ptr<CLSEP_INFOPAG> block;
    ASSERT_NO_THROW(block = fake.builder.Add(1, 15, 2024)) << c.stato;
    EXPECT_EQ(block, nullptr) << c.stato;
    EXPECT_EQ(fake.builder.Stato(), c.stato);
    EXPECT_FALSE(fake.builder.Errore().empty()) << c.stato;
    if (!c.errore.empty()) {
      EXPECT_EQ(fake.builder.Errore(), c.errore);
    }
    EXPECT_EQ(fake.connection.open_recordsets(), 0) << c.stato;
    if (c.stato != rt::kObjectNotSet) {
      EXPECT_EQ(fake.builder.MsgId(), "") << c.stato;  // no block added
    }
  }
}

}  // namespace
}  // namespace zsepa
