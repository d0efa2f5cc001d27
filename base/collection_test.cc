#include "zsepa/collection.h"

#include <gtest/gtest.h>

#include <string>

#include "base/testing/error_code.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

using testing::ErrorCode;

TEST(CollectionTest, PositionsKeysAndErrors) {
  Collection<std::string> items;
  items.Add("a", "KeyA");
  items.Add("b");
  items.Add("c", "KeyC");
  EXPECT_EQ(ErrorCode([&] { items.Add("x", "kEYa"); }), rt::kDuplicateKey);
  std::string order;
  for (const std::string& item : items) order += item;
  EXPECT_EQ(order, "abc");  // the refused item was not added
  EXPECT_EQ(items.Item(2) + items.Item("keyc"), "bc");
  for (int32_t index : {0, 4}) {
    EXPECT_EQ(ErrorCode([&] { items.Item(index); }), rt::kInvalidArgument);
    EXPECT_EQ(ErrorCode([&] { items.Remove(index); }), rt::kInvalidArgument);
  }
  for (const char* key : {"b", ""}) {  // "b" was added without a key
    EXPECT_EQ(ErrorCode([&] { items.Item(key); }), rt::kInvalidArgument) << key;
  }
  items.Remove(1);
  EXPECT_EQ(items.Item(1) + items.Item("KeyC"), "bc");
  EXPECT_EQ(ErrorCode([&] { items.Item("KeyA"); }), rt::kInvalidArgument);
  items.Add("a2", "keya");  // the key is free again
  EXPECT_EQ(items.Item(3) + items.Item("KEYA"), "a2a2");
}

// The outcome object keys its items by number and kind ("E" for an item).
TEST(CollectionTest, OutcomeItemsAreUniqueAndCountsFollowTheCollection) {
  CLSEP_OUTPUTSEPA output;
  for (const char* number : {"1", "2", "abc"}) output.AddEffetto(number, "");
  EXPECT_EQ(ErrorCode([&] { output.AddEffetto("ABC", "MS02"); }),
            rt::kDuplicateKey);
  EXPECT_EQ(output.Effetti().Count(), 3);
  output.Effetti().Item("2E")->IsInsoluto = false;
  EXPECT_EQ(output.NumeroInsoluti(), 2);
  EXPECT_EQ(output.NumeroRichiami(), 1);
  output.Effetti().Remove(2);
  EXPECT_EQ(output.NumeroRichiami(), 0);
  const auto item = output.AddEffetto("2", "MS02");  // key released by Remove
  EXPECT_EQ(output.Effetti().Item("2e"), item);
  EXPECT_EQ(output.NumeroInsoluti(), 3);
}

}  // namespace
}  // namespace zsepa
