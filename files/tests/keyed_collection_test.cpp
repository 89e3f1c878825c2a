#include "files/keyed_collection.h"

#include <gtest/gtest.h>

namespace baleport {
namespace {

// The texts of a search live in shared blocks: a text must survive the additions after it
// (the search reads its folders while it adds to them), long texts and empty ones included.
// (Keys, a key already present and clearing: the search's tests.)
TEST(KeyedCollectionTest, TextsKeepTheirOrderAndPlace) {
  KeyedCollection c;
  const std::string longText(3 << 20, 'x');  // past the largest block
  ASSERT_TRUE(c.Add("", "K0").ok());
  ASSERT_TRUE(c.Add("first", "K1").ok());
  const std::string_view first = c.Item(2);
  ASSERT_TRUE(c.Add(longText, "K2").ok());
  for (int i = 3; i < 100000; ++i) {
    ASSERT_TRUE(c.Add("/mail/Inbox/message " + std::to_string(i) + ".msg", "K" + std::to_string(i)).ok());
  }
  EXPECT_EQ(first.data(), c.Item(2).data());
  EXPECT_EQ(first, "first");
  EXPECT_EQ(c.Item(1), "");
  EXPECT_EQ(c.Item(3), longText);
  EXPECT_EQ(*c.Find("K99999"), "/mail/Inbox/message 99999.msg");
}

}  // namespace
}  // namespace baleport
