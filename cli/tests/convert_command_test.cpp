// `baleport convert`, `list` and `check` run in-process on real folder trees; every store
// written is read back by the checker and every independent reader. What the run itself does
// (folders mirrored, sources deleted, failures logged) is tested with it (conversion/tests).
#include "cli/convert_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "cli/store_commands.h"
#include "conversion/tests/failed_in_log.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

using pst::testing::VerifiedMessageCount;
using ::testing::HasSubstr;
using testing::FailedInLog;
using testing::WriteMessageFile;
namespace fs = std::filesystem;

class ConvertCommandTest : public ::testing::Test {
 protected:
  int Convert(const ConvertOptions& options) {
    out_.str("");
    errors_.str("");
    return RunConvert(options, out_, errors_);
  }
  static ConvertOptions Single(const std::string& folder, const std::string& store) {
    ConvertOptions o;
    o.folder = folder;
    o.storePath = store;
    return o;
  }
  ConvertOptions Each(std::vector<std::string> only = {}) const {
    ConvertOptions o;
    o.each = source_.root();
    o.outputFolder = output_.root();
    o.only = std::move(only);
    return o;
  }

  testing::TestTree source_;
  testing::TestTree output_;
  std::ostringstream out_, errors_;
};

// A name holding "\\" is one store folder, apart from a real "a/b"; list shows the tree with
// its counts, and check and every reader find no error.
TEST_F(ConvertCommandTest, AFolderTreeBecomesOneStoreThatListAndCheckRead) {
  WriteMessageFile(source_.Path("top.msg"), "Top");
  WriteMessageFile(source_.Folder("Clients/Ω Omega/2024") + "/deep.msg", "Deep", true);
  WriteMessageFile(source_.Folder("a\\b") + "/x.msg", "X");
  WriteMessageFile(source_.Folder("a/b") + "/z.msg", "Z");
  const std::string store = output_.Path("mail.pst");
  ASSERT_EQ(Convert(Single(source_.root(), store)), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr(source_.root() + " -> " + store + ": 4 converted, 0 failed\n"));
  std::ostringstream listed, none;
  EXPECT_EQ(RunList(store, listed, none), 0) << none.str();
  EXPECT_THAT(listed.str(), ::testing::AllOf(HasSubstr("\nTop of Personal Folders  1 item\n"),
                                             HasSubstr("\n  Clients  0 items\n    Ω Omega  0 items\n      2024  1 item\n"),
                                             HasSubstr("\n  a\\b  1 item\n"), HasSubstr("\n  a  0 items\n    b  1 item\n")));
  EXPECT_EQ(RunCheck(store, listed, none), 0) << listed.str() << none.str();
  EXPECT_EQ(VerifiedMessageCount(store), 4u);
}

// Without -o the proposed name is used in the current folder; --only picks the subfolders of --each.
TEST_F(ConvertCommandTest, TheStoresGoWhereTheOptionsSay) {
  WriteMessageFile(source_.Folder("Box") + "/one.msg", "One");
  WriteMessageFile(source_.Folder("Почта") + "/c.msg", "C");
  const fs::path before = fs::current_path();
  fs::current_path(output_.root());
  const int status = Convert(Single(fs::relative(source_.Path("Box"), output_.root()).string(), ""));
  fs::current_path(before);
  ASSERT_EQ(status, 0) << errors_.str();
  std::vector<std::string> stores;
  for (const auto& entry : fs::directory_iterator(output_.root())) {
    if (entry.path().extension() == ".pst") stores.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(stores.size(), 1u);
  EXPECT_TRUE(stores[0].starts_with("Box")) << stores[0];
  EXPECT_EQ(VerifiedMessageCount(output_.Path(stores[0])), 1u);

  ASSERT_EQ(Convert(Each({"Почта"})), 0) << errors_.str();
  EXPECT_EQ(VerifiedMessageCount(output_.Path("Почта.pst")), 1u);
  EXPECT_FALSE(fs::exists(output_.Path("Box.pst")));
}

// Bad usage, and a store path that is a folder: one line naming it and why, exit 2, and nothing
// written (stores that cannot be written or are no stores: the bad-input proof).
TEST_F(ConvertCommandTest, BadUsageAndStoresThatCannotBeOpenedExitWithTwoWritingNothing) {
  WriteMessageFile(source_.Folder("A") + "/a.msg", "A");
  WriteMessageFile(source_.Folder("B") + "/b.msg", "B");
  const std::string folder = output_.Folder("a-folder");
  output_.Folder("B.pst");
  ConvertOptions noSubfolders = Each(), twoOutputs = Each({"A"}), noJobs = Each({"A"});
  ConvertOptions jobsOfOne = Single(source_.Path("A"), "");
  noSubfolders.each = source_.Path("A");
  twoOutputs.storePath = output_.Path("x.pst");
  noJobs.jobs = 0;
  jobsOfOne.jobs = 2;
  struct Case {
    ConvertOptions options;
    std::string said;
  };
  const Case cases[] = {{ConvertOptions{}, "give either FOLDER or --each"},
                             {Single(source_.Path("missing"), ""), "no folder at " + source_.Path("missing")},
                             {Each({"Nope"}), "--only Nope"},
                             {noSubfolders, "has no subfolders"},
                             {twoOutputs, "-o goes with FOLDER"},
                             {noJobs, "-j needs"},
                             {jobsOfOne, "-j goes with --each"},
                             {Single(source_.Path("A"), folder), folder + ": a folder, not a store file"},
                             {Each(), output_.Path("B.pst") + ": a folder"}};  // before A.pst is written
  std::set<fs::path> before(fs::recursive_directory_iterator(output_.root()), {});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    EXPECT_EQ(Convert(c.options), 2);
    EXPECT_EQ(out_.str(), "");
    EXPECT_THAT(errors_.str(), ::testing::AllOf(::testing::StartsWith("baleport convert: "), HasSubstr(c.said)));
  }
  EXPECT_EQ(std::set<fs::path>(fs::recursive_directory_iterator(output_.root()), {}), before) << "no log, no store";

  const std::string notStore = output_.File("not-a-store.pst");
  EXPECT_EQ(RunList(notStore, out_, errors_), 2);
  EXPECT_THAT(errors_.str(), HasSubstr(notStore));
  EXPECT_EQ(RunCheck(notStore, out_, errors_), 1);
}

// A second run into the same store recognises the messages it holds by their source files'
// content: --skip-existing leaves them out, --delete-source deletes their files as if just
// converted. A file of the same subject but other content is new; two files of the same
// content are two messages.
TEST_F(ConvertCommandTest, ARunAgainFindsTheMessagesAlreadyInTheStore) {
  const std::vector<std::string> sources = {WriteMessageFile(source_.Folder("Inbox") + "/a.msg", "A"),
                                            WriteMessageFile(source_.Path("Inbox/twin1.msg"), "Twin"),
                                            WriteMessageFile(source_.Path("Inbox/twin2.msg"), "Twin")};
  const std::string store = output_.Path("mail.pst");
  ASSERT_EQ(Convert(Single(source_.root(), store)), 0) << errors_.str();
  WriteMessageFile(source_.Path("Inbox/a-attached.msg"), "A", true);
  ConvertOptions again = Single(source_.root(), store);
  again.skipExisting = true;
  ASSERT_EQ(Convert(again), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": 1 converted, 3 already there, 0 failed"));
  again.skipExisting = false;
  again.deleteSource = true;
  ASSERT_EQ(Convert(again), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": 0 converted, 4 already there, 0 failed"));
  EXPECT_TRUE(fs::is_empty(source_.Path("Inbox")));
}

// Nothing at a path is opened unless it is a regular file, so a FIFO cannot hold the run;
// stores and logs are readable by their owner only; a quiet run says only what failed.
TEST_F(ConvertCommandTest, OnlyRegularFilesAreOpenedWhatIsWrittenIsPrivateAndQuietRunsSayWhatFailed) {
  WriteMessageFile(source_.Path("good.msg"), "Good");
  const std::string fifo = source_.Path("x.msg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string fifoStore = output_.Path("fifo.pst");
  ASSERT_EQ(::mkfifo(fifoStore.c_str(), 0600), 0);
  EXPECT_EQ(Convert(Single(source_.root(), fifoStore)), 2);
  EXPECT_THAT(errors_.str(), HasSubstr(fifoStore + ": not a regular file"));

  const mode_t mask = ::umask(022);
  const std::string store = output_.Path("mail.pst");
  ConvertOptions quiet = Single(source_.root(), store);
  quiet.quiet = true;
  EXPECT_EQ(Convert(quiet), 1);
  ::umask(mask);
  EXPECT_EQ(out_.str(), "");
  EXPECT_THAT(errors_.str(), HasSubstr("1 of 2 messages of " + source_.root() + " failed, listed in " +
                                       output_.Path("mail.log") + "; the first: importing " + fifo + ": "));
  EXPECT_THAT(FailedInLog(output_.Path("mail.log")), ::testing::ElementsAre(fifo));
  for (const std::string& path : {store, output_.Path("mail.log")}) {
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write) << path;
  }
}

}  // namespace
}  // namespace baleport
