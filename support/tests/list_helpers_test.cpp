#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "support/mod_main.h"
#include "support/pending_events.h"
#include "support/utf16_order.h"

namespace baleport {
namespace {

TextList Sorted(TextList list) {
  SortStrings(list, 0, static_cast<int32_t>(list.size()) - 1);
  return list;
}

TEST(SortStrings, BinaryOrderCapitalsFirstPrefixesBeforeExtensions) {
  EXPECT_EQ(Sorted({"b", "a", "B", "ab", "abc"}), (TextList{"B", "a", "ab", "abc", "b"}));
  EXPECT_EQ(Sorted({"x", "", "a", ""}), (TextList{"", "", "a", "x"}));
}

TEST(SortStrings, SortedBackwardsEqualAndSingle) {
  EXPECT_EQ(Sorted({"a", "b", "c", "d"}), (TextList{"a", "b", "c", "d"}));
  EXPECT_EQ(Sorted({"d", "c", "b", "a"}), (TextList{"a", "b", "c", "d"}));
  EXPECT_EQ(Sorted({"q", "q", "q"}), (TextList{"q", "q", "q"}));
  EXPECT_EQ(Sorted({"only"}), (TextList{"only"}));
}

TEST(SortStrings, SortsOnlyTheGivenRange) {
  TextList list{"z", "c", "b", "a", "y"};
  SortStrings(list, 1, 3);
  EXPECT_EQ(list, (TextList{"z", "a", "b", "c", "y"}));
}

TEST(SortStrings, IndexOutsideTheListThrows) {
  TextList list{"b", "a"};
  EXPECT_THROW(SortStrings(list, 0, 2), std::out_of_range);
  TextList empty;
  EXPECT_THROW(SortStrings(empty, 0, -1), std::out_of_range);
}

TEST(SortStrings, MatchesAReferenceSortOnRandomLists) {
  std::mt19937 rng(7);
  const TextList alphabet{"", "a", "A", "ab", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1", "z"};
  for (int round = 0; round < 200; ++round) {
    TextList list(rng() % 40 + 1);
    for (auto& s : list)
      for (unsigned k = rng() % 3; k-- > 0;) s += alphabet[rng() % alphabet.size()];
    TextList want = list;
    std::sort(want.begin(), want.end(), Utf16Less);
    ASSERT_EQ(Sorted(list), want);
  }
}

TEST(SortStrings, YieldsToTheWindowSystem) {
  int calls = 0;
  SetPendingEventsHandler([&] { ++calls; });
  Sorted({"c", "b", "a"});
  SetPendingEventsHandler({});
  EXPECT_GT(calls, 0);
}

TEST(Utf16Order, SupplementaryCharactersSortBeforeHighBmp) {
  // U+1F600 is D83D DE00 in UTF-16, below U+FF21; code-point order says the opposite.
  EXPECT_TRUE(Utf16Less("\xF0\x9F\x98\x80", "\xEF\xBC\xA1"));
  EXPECT_TRUE(Utf16Less("\xED\x9F\xBF", "\xF0\x9F\x98\x80"));  // U+D7FF first
  EXPECT_EQ(CompareUtf16("\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"), 0);
  EXPECT_TRUE(Utf16Less("\xC3\xA9", "\xC3\xA9t"));
  // Bytes that are not UTF-8 still order consistently.
  EXPECT_TRUE(Utf16Less("a\xFF", "a\xEF\xBC\xA1"));
  EXPECT_FALSE(Utf16Less("a\xEF\xBC\xA1", "a\xFF"));
}

TEST(RemoveDuplicateStrings, KeepsOneOfEachAndDropsEmpties) {
  TextList list{"", "", "a", "a", "a", "b", "b"};
  RemoveDuplicateStrings(list);
  EXPECT_EQ(list, (TextList{"a", "b"}));
}

TEST(RemoveDuplicateStrings, RunsOfRepeatsAnywhere) {
  TextList list{"a", "b", "b", "c", "c", "c", "d"};
  RemoveDuplicateStrings(list);
  EXPECT_EQ(list, (TextList{"a", "b", "c", "d"}));
  TextList cases{"A", "a"};
  RemoveDuplicateStrings(cases);
  EXPECT_EQ(cases, (TextList{"A", "a"}));
}

TEST(RemoveDuplicateStrings, AllEmptyKeepsItsLength) {
  TextList list{"", "", ""};
  RemoveDuplicateStrings(list);
  EXPECT_EQ(list, (TextList{"", "", ""}));
  TextList none;
  EXPECT_THROW(RemoveDuplicateStrings(none), std::out_of_range);
}

}  // namespace
}  // namespace baleport
