#include "files/find.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "files/tests/test_tree.h"
#include "files/wildcard.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
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

class WildcardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Mail.MSG", "note.msg", "a.msgx", "README", "b.txt"}) tree.File(name);
    tree.Folder("sub");
  }
  std::string Spec(const std::string& pattern) const { return tree.root() + kPathSeparator + pattern; }
  TestTree tree;
};

TEST_F(WildcardTest, StarAndQuestionMarkMatchWithoutRegardToCase) {
  const std::vector<std::string> names = Names(Spec("*"));
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], ".");
  EXPECT_EQ(names[1], "..");
  EXPECT_THAT(std::vector<std::string>(names.begin() + 2, names.end()),
              UnorderedElementsAre("Mail.MSG", "note.msg", "a.msgx", "README", "b.txt", "sub"));
  EXPECT_THAT(Names(Spec("*.*")), ::testing::IsSupersetOf({".", "README", "sub"}));
#ifdef _WIN32
  // The 8.3 short name of "a.msgx" ends in ".MSG" where the volume makes short names.
  EXPECT_THAT(Names(Spec("*.MsG")), ::testing::IsSupersetOf({"Mail.MSG", "note.msg"}));
#else
  EXPECT_THAT(Names(Spec("*.MsG")), UnorderedElementsAre("Mail.MSG", "note.msg"));
#endif
  EXPECT_THAT(Names(Spec("n?te.ms?")), ElementsAre("note.msg"));
  EXPECT_THAT(Names(Spec("?.txt")), ElementsAre("b.txt"));
  EXPECT_THAT(Names(Spec("?.msg")), IsEmpty());
}

// An ASCII pattern without '?' is matched against a name's UTF-8 bytes, any other in UTF-16
// units: both must answer alike for names beyond ASCII, including names that are not UTF-8.
TEST(MatchesWildcardTest, NamesBeyondAsciiAnswerAsTheirUtf16Would) {
  EXPECT_TRUE(MatchesWildcard("*.msg", "\u4f1a\u8b70.MSG"));
  EXPECT_FALSE(MatchesWildcard("*.msg", "\u4f1a\u8b70.msg\u00e9"));
  EXPECT_TRUE(MatchesWildcard("*.ms*", "x.ms\u00e9"));
  EXPECT_TRUE(MatchesWildcard("a*b", "a\u00e9b"));
  EXPECT_FALSE(MatchesWildcard("a*b", "a\u00e9"));
  EXPECT_TRUE(MatchesWildcard("*.", "\u00e9"));
  EXPECT_TRUE(MatchesWildcard("*.msg", "Latin-1 \xe9t\xe9.msg"));
  EXPECT_TRUE(MatchesWildcard("*\u8b70.msg", "\u4f1a\u8b70.msg"));
  EXPECT_TRUE(MatchesWildcard("\u00c9*", "\u00e9t\u00e9"));
  EXPECT_TRUE(MatchesWildcard("?.msg", "\u00e9.msg"));
  EXPECT_FALSE(MatchesWildcard("?.msg", "\U0001F600.msg"));  // two units
  EXPECT_TRUE(MatchesWildcard("??.msg", "\U0001F600.msg"));
  // A '*' followed by no other wildcard is tried at the name's end only.
  EXPECT_TRUE(MatchesWildcard("*abc.", "xabc"));
  EXPECT_TRUE(MatchesWildcard("*ABC.", "xabc."));
  EXPECT_FALSE(MatchesWildcard("*abc.", "ab"));
  EXPECT_FALSE(MatchesWildcard("*abc", "abcx"));
}

TEST(FindFirstTest, MatchesThenTheEndOfTheListAndErrorsOtherwise) {
  TestTree tree;
  FindEntry entry;
  EXPECT_EQ(FindFirst(tree.Path("*.msg"), entry), kInvalidFindHandle);
  EXPECT_TRUE(entry.errorFlag);
  EXPECT_EQ(entry.errorCode, 2);  // file not found
  EXPECT_EQ(FindFirst(tree.Path("missing/*"), entry), kInvalidFindHandle);
  EXPECT_EQ(entry.errorCode, 3);  // path not found

  tree.File("only.msg");
  ASSERT_NE(FindFirst(tree.Path("*.msg"), entry), kInvalidFindHandle);
  EXPECT_EQ(entry.name, "only.msg");
  EXPECT_EQ(entry.searchKind, SearchKind::kLocal);
  EXPECT_FALSE(FindNext(entry));
  EXPECT_FALSE(entry.errorFlag);
  EXPECT_TRUE(FindEnd(entry));  // closed already: nothing to close
  EXPECT_EQ(entry.handle, kInvalidFindHandle);

  // A name without wildcards delivers that entry with its attributes.
  ASSERT_NE(FindFirst(tree.Folder("box.msg"), entry), kInvalidFindHandle);
  EXPECT_EQ(entry.name, "box.msg");
  EXPECT_NE(entry.attributes & kAttributeDirectory, 0u);
  EXPECT_TRUE(FindEnd(entry));
}

TEST(FindFirstTest, FtpAndNetworkAddressesAreRecognised) {
  for (const char* spec : {"ftp://host/dir/*", "FTP://HOST/DIR/*"}) {
    FindEntry entry;
    entry.errorFlag = true;
    EXPECT_EQ(FindFirst(spec, entry), kInvalidFindHandle) << spec;
    EXPECT_EQ(entry.searchKind, SearchKind::kFtp) << spec;
    EXPECT_FALSE(entry.errorFlag) << spec;
  }
  FindEntry entry;
  FindFirst("\\\\nonexistent-server\\share\\*", entry);
  EXPECT_EQ(entry.searchKind, SearchKind::kNetwork);
  EXPECT_FALSE(entry.found);
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
