#include "files/keyed_collection.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace baleport {
namespace {

TEST(KeyedCollectionTest, KeepsInsertionOrderAndFindsByPositionOrKey) {
  KeyedCollection c;
  ASSERT_TRUE(c.Add("second", "K2").ok());
  ASSERT_TRUE(c.Add("first", "K1").ok());
  EXPECT_EQ(c.Count(), 2u);
  EXPECT_EQ(c.Item(1), "second");
  EXPECT_EQ(c.Item(2), "first");
  EXPECT_EQ(c.KeyAt(2), "K1");
  ASSERT_NE(c.Find("K1"), nullptr);
  EXPECT_EQ(*c.Find("K1"), "first");
  EXPECT_EQ(c.Find("k1"), nullptr);  // keys compare exactly
}

TEST(KeyedCollectionTest, AddingAPresentKeyFailsAndAddsNothing) {
  KeyedCollection c;
  ASSERT_TRUE(c.Add("a", "K1").ok());
  const Status again = c.Add("b", "K1");
  EXPECT_FALSE(again.ok());
  EXPECT_NE(again.message().find("\"K1\""), std::string::npos) << again.message();
  EXPECT_EQ(c.Count(), 1u);
  EXPECT_EQ(*c.Find("K1"), "a");
}

TEST(KeyedCollectionTest, PositionsOutsideTheListThrowAndClearEmpties) {
  KeyedCollection c;
  ASSERT_TRUE(c.Add("a", "K1").ok());
  EXPECT_THROW(c.Item(0), std::out_of_range);
  EXPECT_THROW(c.Item(2), std::out_of_range);
  c.Clear();
  EXPECT_EQ(c.Count(), 0u);
  EXPECT_EQ(c.Find("K1"), nullptr);
  EXPECT_TRUE(c.Add("again", "K1").ok());
}

}  // namespace
}  // namespace baleport
