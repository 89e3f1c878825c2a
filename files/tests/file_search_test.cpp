#include "files/file_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "files/tests/failing_api.h"
#include "files/tests/test_tree.h"
#include "support/path_separator.h"
#include "support/pending_events.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace baleport {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using baleport::testing::TestTree;

const std::string kSep(1, kPathSeparator);

// The conversion page as the search sees it.
struct FakePage : SearchProgress {
  int deleteCheck = 0;
  std::string caption = "Conversion Not Started Yet...";
  int DeleteCheckValue() override { return deleteCheck; }
  void SetQueueCaption(const std::string& text) override { caption = text; }
};

std::vector<std::string> Items(const KeyedCollection& c) { return {c.begin(), c.end()}; }
std::vector<std::string> Keys(const KeyedCollection& c) {
  std::vector<std::string> keys;
  for (size_t i = 1; i <= c.Count(); ++i) keys.emplace_back(c.KeyAt(i));
  return keys;
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FoundFiles.Clear();
    FoundFolders.Clear();
  }
  void TearDown() override {
    SetUp();
    SetPendingEventsHandler({});
  }
  Status Search(std::string folder) {
    return FindFilesRecursive(folder, "*.msg", fileCounter, folderCounter, page, unreadable);
  }

  TestTree tree;
  FakePage page;
  int32_t fileCounter = 1;
  int32_t folderCounter = 1;
  std::vector<UnreadableFolder> unreadable;
};

// A folder named like a message is searched, not taken; hidden and read-only messages count.
TEST_F(SearchTest, RecordsFoldersLevelByLevelAndFilesDepthFirst) {
  const std::string r = tree.Folder("R");
  tree.Files({"R/r.msg", "R/A/a.msg", "R/A/A1/a1.msg", "R/B/b.msg", "R/B/not-a-message.txt", "R/c.msg/inner.msg"});
  ASSERT_EQ(SetAttributes(tree.File("R/.hidden.msg"), kAttributeHidden), 0);
  ASSERT_EQ(SetAttributes(tree.Path("R/r.msg"), kAttributeReadOnly), 0);

  std::string folder = r;
  int yields = 0;
  SetPendingEventsHandler([&yields] { ++yields; });
  ASSERT_TRUE(FindFilesRecursive(folder, "*.msg", fileCounter, folderCounter, page, unreadable).ok());
  EXPECT_GT(yields, 0) << "the window froze while it searched";
  EXPECT_EQ(folder, r + kSep);  // the caller's path gained its separator
  EXPECT_THAT(Items(FoundFolders), ElementsAre(tree.Path("R/A"), tree.Path("R/B"), tree.Path("R/c.msg"), tree.Path("R/A/A1")));
  EXPECT_THAT(Items(FoundFiles), ElementsAre(tree.Path("R/.hidden.msg"), tree.Path("R/r.msg"), tree.Path("R/A/a.msg"),
                                             tree.Path("R/A/A1/a1.msg"), tree.Path("R/B/b.msg"),
                                             tree.Path("R/c.msg/inner.msg")));
  EXPECT_EQ(page.caption, "6 Messages Queued for Conversion.");
}

// The keys continue from the caller's counters; the queue caption follows the count unless
// deletion is checked (1) or grayed (2), and an empty folder changes nothing.
TEST_F(SearchTest, NumberingContinuesFromTheCountersAndTheCaptionFollowsIt) {
  ASSERT_TRUE(Search(tree.Folder("empty")).ok());
  EXPECT_EQ(FoundFiles.Count() + FoundFolders.Count(), 0u);
  EXPECT_EQ(page.caption, "Conversion Not Started Yet...");

  tree.File("R/S/x.msg");
  for (int check : {1, 2, 0}) {
    SetUp();
    fileCounter = 7;
    folderCounter = 3;
    page.deleteCheck = check;
    ASSERT_TRUE(Search(tree.Path("R") + kSep).ok());
    EXPECT_THAT(Keys(FoundFiles), ElementsAre("K7"));
    EXPECT_THAT(Keys(FoundFolders), ElementsAre("Z3"));
    EXPECT_EQ(fileCounter, 8);
    EXPECT_EQ(page.caption, check ? "Conversion Not Started Yet..." : "7 Messages Queued for Conversion.") << check;
  }
}

// Long and non-ASCII paths are found, and get the same answers as short ones: every call is
// made with the long-path buffer. A read-only file is deleted.
TEST_F(SearchTest, NamesBeyondAsciiAndPathsBeyond260Characters) {
  std::string deep = "R";
  for (int i = 0; i < 5; ++i) deep += "/" + std::string(60, static_cast<char>('k' + i));
  const std::string japanese = tree.File(deep + "/\u53d7\u4fe1\u30c8\u30ec\u30a4/\u4f1a\u8b70.msg");
  const std::string cyrillic = tree.File("R/\u041f\u043e\u0447\u0442\u0430/\u041f\u0438\u0441\u044c\u043c\u043e.MSG");
  ASSERT_GT(japanese.size(), 300u);
  ASSERT_TRUE(Search(tree.Path("R")).ok());
  EXPECT_THAT(Items(FoundFiles), ::testing::UnorderedElementsAre(japanese, cyrillic));
  EXPECT_EQ(FoundFolders.Count(), 7u);
  EXPECT_EQ(*FoundFolders.Find("Z2"), tree.Path("R/\u041f\u043e\u0447\u0442\u0430"));
  EXPECT_TRUE(FolderExists(tree.Path(deep)));
  EXPECT_TRUE(FileExists(japanese));
  ASSERT_EQ(SetAttributes(japanese, kAttributeReadOnly), 0);
  EXPECT_NE(GetAttributes(japanese) & kAttributeReadOnly, 0u);
  EXPECT_EQ(RemoveFile(japanese), 0);
  EXPECT_FALSE(FileExists(japanese));
}

TEST_F(SearchTest, AKeyAlreadyPresentStopsTheSearchKeepingWhatWasAdded) {
  tree.Files({"R/a.msg", "R/b.msg", "R/c.msg"});
  ASSERT_TRUE(FoundFiles.Add("earlier", "K2").ok());
  EXPECT_THAT(Search(tree.Path("R")).message(), ::testing::AllOf(HasSubstr("\"K2\""), HasSubstr(tree.Path("R/b.msg"))));
  EXPECT_THAT(Items(FoundFiles), ElementsAre("earlier", tree.Path("R/a.msg")));
  EXPECT_EQ(fileCounter, 2);
}

TEST_F(SearchTest, AnUnreadableFolderIsReportedAndTheRestIsSearched) {
  tree.Files({"R/r.msg", "R/A/a.msg", "R/B/b.msg", "R/B/B1/b1.msg", "R/C/c.msg"});
  testing::FailingApiInPlace failing;
  failing.api.unlistableFolder = tree.Path("R/B");

  ASSERT_TRUE(Search(tree.Path("R")).ok());
  EXPECT_THAT(Items(FoundFolders), ElementsAre(tree.Path("R/A"), tree.Path("R/B"), tree.Path("R/C")));
  EXPECT_THAT(Items(FoundFiles), ElementsAre(tree.Path("R/r.msg"), tree.Path("R/A/a.msg"), tree.Path("R/C/c.msg")));
  EXPECT_THAT(Keys(FoundFiles), ElementsAre("K1", "K2", "K3"));
  // In Windows' words on POSIX too; on Windows (and Wine) in the system's own.
  const std::string reason = kPathSeparator == '/' ? "Access is denied (system error 5)" : FileErrorText(5);
  EXPECT_THAT(reason, ::testing::EndsWith(" (system error 5)"));
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].Describe(), "the folder " + tree.Path("R/B") + " cannot be read: " + reason);

  // The searched folder itself: reported, nothing found.
  SetUp();
  failing.api.unlistableFolder = tree.Path("R");
  ASSERT_TRUE(Search(tree.Path("R")).ok());
  EXPECT_EQ(FoundFolders.Count() + FoundFiles.Count(), 0u);
  EXPECT_EQ(unreadable.size(), 2u);
}

// A tree where R/A/loop leads back to R and R/out to Outside; returns the folder that
// holds R and Outside, or "" with the reason when no such tree can be had.
std::string LinkTree(const TestTree& tree, std::string& why_not) {
  tree.Files({"R/A/a.msg", "Outside/o.msg"});
  const std::error_code error = tree.LinkFolder(tree.Path("R"), "R/A/loop");
  if (!error && !tree.LinkFolder(tree.Path("Outside"), "R/out")) return tree.root();
  // Made by the host before a run under Wine (see files/CMakeLists.txt).
  if (const char* made = std::getenv("BALEPORT_LINK_TREE")) return WithSystemSeparators(made);
  why_not = "this system cannot make folder links: " + error.message();
  return "";
}

TEST_F(SearchTest, ALinkBackIntoTheTreeIsRecordedButNotEnteredAgain) {
  std::string why_not;
  const std::string root = LinkTree(tree, why_not);
  if (root.empty()) GTEST_SKIP() << why_not;
  const auto at = [&root](const std::string& relative) { return WithSystemSeparators(root + kSep + relative); };
  ASSERT_TRUE(Search(at("R")).ok());
  EXPECT_THAT(Items(FoundFolders), ElementsAre(at("R/A"), at("R/out"), at("R/A/loop")));
  // The link out of the tree leads to a folder not yet seen, and is followed.
  EXPECT_THAT(Items(FoundFiles), ElementsAre(at("R/A/a.msg"), at("R/out/o.msg")));
}

#ifndef _WIN32
// Beyond PATH_MAX (4096 bytes) the POSIX calls walk the path a stretch at a time.
TEST_F(SearchTest, PosixPathsBeyondPathMaxAreSearched) {
  int dir = open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  std::string path = tree.root();
  for (int i = 0; i < 20; ++i) {
    const std::string name(250, static_cast<char>('a' + i));
    ASSERT_EQ(mkdirat(dir, name.c_str(), 0755), 0) << "level " << i;
    const int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(dir);
    ASSERT_GE(next, 0) << "level " << i;
    dir = next;
    path += "/" + name;
  }
  close(openat(dir, "deep.msg", O_CREAT | O_WRONLY, 0644));
  close(dir);
  const std::string file = path + "/deep.msg";
  ASSERT_GT(file.size(), 5000u);

  ASSERT_TRUE(Search(tree.root()).ok());
  EXPECT_EQ(FoundFolders.Count(), 20u);
  EXPECT_THAT(Items(FoundFiles), ElementsAre(file));
  EXPECT_TRUE(FolderExists(path));
  EXPECT_EQ(RemoveFile(file), 0);
  EXPECT_FALSE(FileExists(file));
}
#endif

}  // namespace
}  // namespace baleport
