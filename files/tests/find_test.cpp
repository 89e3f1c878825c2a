#include "files/find.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "files/tests/test_tree.h"
#include "files/wildcard.h"

namespace baleport {
namespace {

using ::testing::ElementsAre;
using baleport::testing::TestTree;

// Every name an enumeration of spec delivers, in order.
std::vector<std::string> Names(const std::string& spec) {
  std::vector<std::string> names;
  FindEntry entry;
  if (FindFirst(spec, entry) == kInvalidFindHandle) return names;
  do names.push_back(entry.name);
  while (FindNext(entry));
  return names;
}

// An ASCII pattern without '?' is matched against a name's UTF-8 bytes, any other in UTF-16
// units: both must answer alike, without regard to case, for names beyond ASCII too, including
// names that are not UTF-8. A '*' followed by no other wildcard is tried at the name's end only.
TEST(MatchesWildcardTest, BothWaysAnswerAsWindowsWould) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.msg", "\u4f1a\u8b70.MSG", true},  {"*.msg", "\u4f1a\u8b70.msg\u00e9", false},
      {"*.ms*", "x.ms\u00e9", true},        {"a*b", "a\u00e9b", true},
      {"a*b", "a\u00e9", false},            {"*.", "\u00e9", true},
      {"*.msg", "Latin-1 \xe9t\xe9.msg", true},
      {"*\u8b70.msg", "\u4f1a\u8b70.msg", true}, {"\u00c9*", "\u00e9t\u00e9", true},
      {"n?te.ms?", "NOTE.MSG", true},       {"?.msg", "note.msg", false},
      {"?.msg", "\u00e9.msg", true},        {"?.msg", "\U0001F600.msg", false},  // two units
      {"??.msg", "\U0001F600.msg", true},   {"*abc.", "xabc", true},
      {"*ABC.", "xabc.", true},             {"*abc.", "ab", false},
      {"*abc", "abcx", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

// An enumeration may be made from the reading of the one closed just before: what changes
// through the file functions, or outside them once the reading has served its one further
// enumeration, must still be seen.
TEST(FolderReadingTest, ChangesAreSeenDespiteTheSharedReading) {
  TestTree tree;
  const std::string file = tree.File("a.msg");
  FindEntry entry;
  ASSERT_NE(FindFirst(tree.Path("*.msg"), entry), kInvalidFindHandle);
  ASSERT_EQ(SetAttributes(file, kAttributeReadOnly), 0);
  EXPECT_NE(GetAttributes(file) & kAttributeReadOnly, 0u);
  EXPECT_FALSE(FindNext(entry));
  EXPECT_EQ(RemoveFile(file), 0);
  EXPECT_EQ(FindFirst(tree.Path("*.msg"), entry), kInvalidFindHandle);
  EXPECT_EQ(entry.errorCode, 2);

  tree.File("a.msg");
  EXPECT_EQ(Names(tree.Path("*")).size(), 3u);
  EXPECT_THAT(Names(tree.Path("*.msg")), ElementsAre("a.msg"));
  tree.File("b.msg");
  EXPECT_THAT(Names(tree.Path("*.msg")), ElementsAre("a.msg", "b.msg"));  // the third reads afresh
}

}  // namespace
}  // namespace baleport
