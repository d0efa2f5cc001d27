#include "model/collection.h"

#include <gtest/gtest.h>

#include <string>

#include "model/error.h"

namespace zsepa {
namespace {

template <typename F>
int32_t ErrorCode(F&& f) {
  try {
    f();
  } catch (const Error& error) {
    return error.Code();
  }
  return 0;
}

Collection<std::string> Abc() {
  Collection<std::string> items;
  items.Add("a", "KeyA");
  items.Add("b");
  items.Add("c", "KeyC");
  return items;
}

TEST(CollectionTest, PositionsAndKeys) {
  const Collection<std::string> items = Abc();
  EXPECT_EQ(items.Item(1) + items.Item(2) + items.Item(3), "abc");
  for (int32_t index : {0, 4, -1}) {
    EXPECT_EQ(ErrorCode([&] { items.Item(index); }), rt::kInvalidArgument)
        << index;
  }
  EXPECT_EQ(items.Item("keya"), "a");
  EXPECT_EQ(items.Item("KEYC"), "c");
  for (const char* key : {"b", "", "KeyB"}) {
    EXPECT_FALSE(items.Exists(key)) << key;
    EXPECT_EQ(ErrorCode([&] { items.Item(key); }), rt::kInvalidArgument) << key;
  }
  std::string order;
  for (const std::string& item : items) order += item;
  EXPECT_EQ(order, "abc");
}

TEST(CollectionTest, DuplicateKeyIsRefusedWithoutAdding) {
  Collection<std::string> items = Abc();
  EXPECT_EQ(ErrorCode([&] { items.Add("x", "kEYa"); }), rt::kDuplicateKey);
  EXPECT_EQ(items.Count(), 3);
  EXPECT_EQ(items.Item("KeyA"), "a");
}

TEST(CollectionTest, RemoveKeepsKeysConsistent) {
  Collection<std::string> items = Abc();
  items.Remove(1);
  EXPECT_EQ(items.Item(1), "b");
  EXPECT_EQ(ErrorCode([&] { items.Item("KeyA"); }), rt::kInvalidArgument);
  EXPECT_EQ(items.Item("KeyC"), "c");
  items.Add("a2", "keya");  // the key is free again
  EXPECT_EQ(items.Item(3), "a2");
  EXPECT_EQ(items.Item("KEYA"), "a2");
  EXPECT_EQ(ErrorCode([&] { items.Remove(0); }), rt::kInvalidArgument);
  EXPECT_EQ(ErrorCode([&] { items.Remove(4); }), rt::kInvalidArgument);
}

}  // namespace
}  // namespace zsepa
