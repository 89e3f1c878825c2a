// `baleport convert`, `list` and `check` run in-process on real folder trees; every store
// written is read back by the checker, pffinfo, readpst and pypff.
#include "cli/convert_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

using pst::testing::ReadAll;
using pst::testing::VerifiedDump;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::FailedInLog;
using testing::WriteBrokenFile;
using testing::WriteMessageFile;
namespace fs = std::filesystem;

class ConvertCommandTest : public ::testing::Test {
 protected:
  int Convert(const ConvertOptions& options) {
    out_.str("");
    errors_.str("");
    return RunConvert(options, out_, errors_);
  }
  ConvertOptions Single(const std::string& folder, const std::string& store) {
    ConvertOptions o;
    o.folder = folder;
    o.storePath = store;
    return o;
  }

  testing::TestTree source_;
  testing::TestTree output_;
  std::ostringstream out_, errors_;
};

// A name holding "\\" is one store folder, apart from a real "a/b" (the store form's separator
// once made it two nested ones).
TEST_F(ConvertCommandTest, AFolderTreeBecomesOneStoreWithInboxAndSentMapped) {
  WriteMessageFile(source_.Path("top.msg"), "Top");
  WriteMessageFile(source_.Folder("Inbox") + "/in.msg", "In", true);
  WriteMessageFile(source_.Folder("Sent") + "/out.msg", "Out");
  WriteMessageFile(source_.Folder("Clients/Ω Omega/2024") + "/deep.msg", "Deep");
  WriteMessageFile(source_.Folder("a\\b") + "/x.msg", "X");
  WriteMessageFile(source_.Folder("a/b") + "/z.msg", "Z");
  const std::string store = output_.Path("mail.pst");
  ASSERT_EQ(Convert(Single(source_.root(), store)), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Migrating 6 items from " + source_.root() + "/\n"));
  EXPECT_THAT(out_.str(), HasSubstr(source_.root() + " -> " + store + ": 6 converted, 0 failed\n"));

  const std::string dump = VerifiedDump(store);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Inbox items=1"));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Sent Items items=1"));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/a\\b items=1"));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/a/b items=1"));
  EXPECT_THAT(dump, HasSubstr("| In | "));

  std::ostringstream listed, none;
  EXPECT_EQ(RunList(store, listed, none), 0) << none.str();
  EXPECT_THAT(listed.str(), HasSubstr("\nTop of Personal Folders  1 item\n"));
  EXPECT_THAT(listed.str(), HasSubstr("\n  Sent Items  1 item\n"));
  EXPECT_THAT(listed.str(), HasSubstr("\n  Clients  0 items\n    Ω Omega  0 items\n      2024  1 item\n"));
  EXPECT_THAT(listed.str(), HasSubstr("\n  a\\b  1 item\n"));
  EXPECT_THAT(listed.str(), HasSubstr("\n  a  0 items\n    b  1 item\n"));
  std::ostringstream checked;
  EXPECT_EQ(RunCheck(store, checked, none), 0) << checked.str() << none.str();
  EXPECT_THAT(checked.str(), HasSubstr("0 errors"));
}

TEST_F(ConvertCommandTest, WithoutOutputTheProposedNameIsUsedInTheCurrentFolder) {
  WriteMessageFile(source_.Folder("Box") + "/one.msg", "One");
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
  VerifiedDump(output_.Path(stores[0]));
}

TEST_F(ConvertCommandTest, EachSubfolderBecomesAStoreOfItsName) {
  WriteMessageFile(source_.Folder("Alpha/Inbox") + "/a.msg", "A");
  WriteMessageFile(source_.Folder("Beta") + "/b.msg", "B");
  WriteMessageFile(source_.Folder("Почта") + "/c.msg", "C");
  ConvertOptions o;
  o.each = source_.root();
  o.outputFolder = output_.root();
  o.only = {"Alpha", "Почта"};
  ASSERT_EQ(Convert(o), 0) << errors_.str();
  EXPECT_THAT(VerifiedDump(output_.Path("Alpha.pst")), HasSubstr("F /Top of Personal Folders/Inbox items=1"));
  EXPECT_THAT(VerifiedDump(output_.Path("Почта.pst")), HasSubstr("| C |"));
  EXPECT_FALSE(fs::exists(output_.Path("Beta.pst")));
}

// Quiet: only what went wrong, on standard error. Exactly the converted files are deleted; the
// files that are not messages (the bad-input proof tries many more) stay and are logged.
TEST_F(ConvertCommandTest, QuietDeletingRunSaysOnlyWhatFailedAndDeletesWhatIsConverted) {
  const std::string good = WriteMessageFile(source_.Path("good.msg"), "Good");
  const std::string nested = WriteMessageFile(source_.Folder("Inbox") + "/nested.msg", "Nested");
  const std::set<std::string> broken = {WriteBrokenFile(source_.Path("bad.msg")), source_.File("Inbox/empty.msg")};
  const std::string other = source_.File("notes.txt");
  ConvertOptions o = Single(source_.root(), output_.Path("mixed.pst"));
  o.deleteSource = true;
  o.quiet = true;
  ASSERT_EQ(Convert(o), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_THAT(errors_.str(),
              HasSubstr("2 of 4 messages of " + source_.root() + " failed, listed in " + output_.Path("mixed.log")));
  EXPECT_EQ(FailedInLog(output_.Path("mixed.log")), broken);
  EXPECT_FALSE(fs::exists(good));
  EXPECT_FALSE(fs::exists(nested));
  for (const std::string& kept : broken) EXPECT_TRUE(fs::exists(kept)) << kept;
  EXPECT_TRUE(fs::exists(other));
  EXPECT_THAT(VerifiedDump(output_.Path("mixed.pst")), HasSubstr("F /Top of Personal Folders/Inbox items=1"));
}

TEST_F(ConvertCommandTest, BadUsageAndStoresThatCannotBeOpenedExitWithTwo) {
  WriteMessageFile(source_.Folder("A") + "/a.msg", "A");
  EXPECT_EQ(Convert(ConvertOptions{}), 2);
  EXPECT_EQ(Convert(Single(source_.Path("missing"), "")), 2);
  EXPECT_THAT(errors_.str(), HasSubstr("no folder at " + source_.Path("missing")));
  ConvertOptions each;
  each.each = source_.root();
  each.outputFolder = output_.root();
  each.only = {"Nope"};
  EXPECT_EQ(Convert(each), 2);
  EXPECT_THAT(errors_.str(), HasSubstr("--only Nope"));
  each.only.clear();
  each.storePath = output_.Path("x.pst");
  EXPECT_EQ(Convert(each), 2);
  each.storePath.clear();
  each.each = source_.Path("A");
  EXPECT_EQ(Convert(each), 2);
  EXPECT_THAT(errors_.str(), HasSubstr("has no subfolders"));
  each.each = source_.root();
  each.jobs = 0;
  EXPECT_EQ(Convert(each), 2);
  each.jobs = 1;
  ConvertOptions single = Single(source_.Path("A"), output_.Path("x.pst"));
  single.jobs = 2;
  EXPECT_EQ(Convert(single), 2) << "-j without --each";

  // A store path that cannot be a store: one line naming it and why, and nothing written (more
  // such paths in the bad-input proof).
  const std::string folder = output_.Folder("a-folder");
  const std::string readOnly = output_.Folder("read-only");
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
  std::vector<std::pair<std::string, std::string>> refused = {
      {folder, folder + ": a folder, not a store file"},
      {readOnly + "/x.pst", readOnly + ": cannot write in this folder"}};
  if (::geteuid() == 0) refused.pop_back();  // root writes anywhere
  auto outputFiles = [this] {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(output_.root())) names.insert(entry.path().string());
    return names;
  };
  const std::set<std::string> before = outputFiles();
  for (const auto& [store, reason] : refused) {
    EXPECT_EQ(Convert(Single(source_.Path("A"), store)), 2) << store;
    const std::string said = errors_.str();
    EXPECT_THAT(said, ::testing::StartsWith("baleport convert: "));
    EXPECT_THAT(said, HasSubstr(reason));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(out_.str(), "");
  }
  EXPECT_EQ(outputFiles(), before) << "no log, no store";
  fs::create_directory(output_.Path("A.pst"));
  EXPECT_EQ(Convert(each), 2) << "with --each, each store is checked before the first is written";
  EXPECT_THAT(errors_.str(), HasSubstr(output_.Path("A.pst") + ": a folder"));
  fs::permissions(readOnly, fs::perms::owner_all);

  const std::string notStore = output_.File("not-a-store.pst");
  std::ostringstream out, errors;
  EXPECT_EQ(RunList(notStore, out, errors), 2);
  EXPECT_THAT(errors.str(), HasSubstr(notStore));
  EXPECT_EQ(RunCheck(notStore, out, errors), 1);
}

// A second run into the same store recognises the messages it holds by their source files'
// content: --skip-existing leaves them out, --delete-source deletes their files as if just
// converted (a run killed between a commit and its deletions). A file of the same subject
// but other content is new; two files of the same content are two messages.
TEST_F(ConvertCommandTest, ARunAgainFindsTheMessagesAlreadyInTheStore) {
  const std::string a = WriteMessageFile(source_.Folder("Inbox") + "/a.msg", "A");
  const std::string twin1 = WriteMessageFile(source_.Path("Inbox/twin1.msg"), "Twin");
  const std::string twin2 = WriteMessageFile(source_.Path("Inbox/twin2.msg"), "Twin");
  const std::string store = output_.Path("mail.pst");
  ASSERT_EQ(Convert(Single(source_.root(), store)), 0) << errors_.str();

  const std::string other = WriteMessageFile(source_.Path("Inbox/a-attached.msg"), "A", true);
  ConvertOptions again = Single(source_.root(), store);
  again.skipExisting = true;
  ASSERT_EQ(Convert(again), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": 1 converted, 3 already there, 0 failed"));

  ConvertOptions deleting = Single(source_.root(), store);
  deleting.deleteSource = true;
  ASSERT_EQ(Convert(deleting), 0) << errors_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": 0 converted, 4 already there, 0 failed"));
  for (const std::string& path : {a, twin1, twin2, other}) EXPECT_FALSE(fs::exists(path)) << path;
  EXPECT_THAT(VerifiedDump(store), HasSubstr("F /Top of Personal Folders/Inbox items=4"));
}

// Nothing at a path is opened unless it is a regular file, so a FIFO cannot hold the run;
// stores and logs are readable by their owner only.
TEST_F(ConvertCommandTest, OnlyRegularFilesAreOpenedAndWhatIsWrittenIsPrivate) {
  const std::string good = WriteMessageFile(source_.Path("good.msg"), "Good");
  const std::string fifo = source_.Path("x.msg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string fifoStore = output_.Path("fifo.pst");
  ASSERT_EQ(::mkfifo(fifoStore.c_str(), 0600), 0);
  EXPECT_EQ(Convert(Single(source_.root(), fifoStore)), 2);
  EXPECT_THAT(errors_.str(), HasSubstr(fifoStore + ": not a regular file"));

  const mode_t mask = ::umask(022);
  const std::string store = output_.Path("mail.pst");
  EXPECT_EQ(Convert(Single(source_.root(), store)), 1);
  ::umask(mask);
  EXPECT_THAT(FailedInLog(output_.Path("mail.log")), ::testing::ElementsAre(fifo));
  EXPECT_THAT(VerifiedDump(store), HasSubstr("| Good |"));
  for (const std::string& path : {store, output_.Path("mail.log")}) {
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write) << path;
  }
}

// A store another run is writing is refused, and that run's log stays as it is.
TEST_F(ConvertCommandTest, ARefusedRunLeavesTheLogBesideTheStoreAlone) {
  WriteMessageFile(source_.Path("good.msg"), "Good");
  WriteBrokenFile(source_.Path("bad.msg"));
  const std::string store = output_.Path("mail.pst");
  ASSERT_EQ(Convert(Single(source_.root(), store)), 1);
  const std::string log = ReadAll(output_.Path("mail.log"));
  {
    auto writer = pst::Store::Open(store);
    ASSERT_TRUE(writer.ok()) << writer.status().message();
    EXPECT_EQ(Convert(Single(source_.root(), store)), 2);
  }
  EXPECT_THAT(errors_.str(), HasSubstr("another program is writing to it"));
  EXPECT_EQ(ReadAll(output_.Path("mail.log")), log);
}

}  // namespace
}  // namespace baleport
