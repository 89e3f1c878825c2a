// The run end to end on real folder trees, over the fake store and a recording page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "conversion/conversion_page.h"
#include "conversion/testing/fake_store.h"
#include "conversion/testing/recording_page.h"
#include "files/tests/failing_api.h"
#include "files/tests/test_tree.h"
#include "support/path_separator.h"
#include "support/testing/read_all.h"

namespace baleport {
namespace {

using testing::ReadAll;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

constexpr char kStamp[] = "6.12.26 9.5.03";  // no leading zeros but in year and seconds

class ConversionRunTest : public ::testing::Test {
 protected:
  ConversionRunTest() {
    options_.downgradeGuideAddress = "https://guide.test/help/downgrade-office-2010-to-32-bit.pdf";
    options_.localTime = [] {
      std::tm time{};
      time.tm_mday = 6;
      time.tm_mon = 11;
      time.tm_year = 126;
      time.tm_hour = 9;
      time.tm_min = 5;
      time.tm_sec = 3;
      return time;
    };
    page_.onClose = [this] { conversion_->Form_QueryUnload(); };
  }

  ConversionPage& Conversion() {
    if (!conversion_) {
      conversion_ = std::make_unique<ConversionPage>(page_, selection_, store_, options_);
      conversion_->Form_Load();
      // Ticked by the user once the page has loaded.
      if (deleteSources_) page_.deleteSourceValue = 1;
    }
    return *conversion_;
  }

  // Converts `source` in single-folder mode into the store at `storePath`.
  const RunReport& ConvertSingle(const std::string& source, const std::string& storePath) {
    selection_.singleMode = true;
    selection_.sourceMailbox = source;
    page_.saveDialogAnswer = storePath;
    Conversion().CmdStartConversion_Click();
    return conversion_->lastRun();
  }

  const RunReport& ConvertChecked(const std::vector<FolderRow>& rows, const std::string& outputFolder) {
    selection_.singleMode = false;
    selection_.rows = rows;
    selection_.outputFolder = outputFolder;
    Conversion().CmdStartConversion_Click();
    return conversion_->lastRun();
  }

  const MessageBoxRequest& CompletionBox() const { return page_.messages.back(); }

  testing::TestTree tree_;
  RecordingPage page_;
  FixedSelection selection_;
  FakeStoreLibrary store_;
  ConversionOptions options_;
  bool deleteSources_ = false;
  std::unique_ptr<ConversionPage> conversion_;
};

TEST_F(ConversionRunTest, SingleFolderRunConvertsEveryMessageAndLogsNothingButItsFirstLine) {
  tree_.File("Box/a.msg");
  tree_.File("Box/b.MSG");
  tree_.File("Box/c.msg");
  tree_.File("Box/notes.txt");
  const std::string storePath = tree_.Path("Box.pst");
  const RunReport& report = ConvertSingle(tree_.Path("Box"), storePath);

  ASSERT_EQ(page_.saveDialogs.size(), 1u);
  EXPECT_EQ(page_.saveDialogs[0].proposedFileName, std::string("Box") + kStamp + ".pst");
  EXPECT_EQ(store_.journal.front(), "LogonPstStore " + storePath + " Box : Created - " + kStamp);
  EXPECT_THAT(page_.CaptionsOf(CaptionControl::lblProgress),
              ElementsAre("0% Complete", "33% Complete", "67% Complete", "100% Complete"));
  EXPECT_EQ(page_.progressValue, 100.0f);

  EXPECT_THAT(store_.ItemSources(storePath, ""),
              ElementsAre(tree_.Path("Box/a.msg"), tree_.Path("Box/b.MSG"), tree_.Path("Box/c.msg")));
  EXPECT_EQ(store_.FolderAt(storePath, "")->items[0].messageFlags, kMessageFlagRead);
  EXPECT_TRUE(store_.FolderAt(storePath, "")->items[0].committed);
  EXPECT_EQ(store_.journal.back(), "Logoff");
  EXPECT_EQ(ReadAll(tree_.Path("Box.log")), "---- Log Starts -----\r\n");

  EXPECT_EQ(report.folders.at(0).converted, 3);
  EXPECT_TRUE(report.AllConverted());
  EXPECT_EQ(CompletionBox().icon, MessageIcon::kInformation);
  EXPECT_TRUE(page_.enabled[ButtonControl::CmdStartConversion]);
  EXPECT_FALSE(page_.visible[ButtonControl::CmdStopMigration]);
  EXPECT_FALSE(page_.enabled[ButtonControl::CmdSkip]);
  EXPECT_EQ(page_.closeCount, 0);
}

TEST_F(ConversionRunTest, FailedImportsAreLoggedRemovedKeptOnDiskAndReported) {
  const std::string good = tree_.File("Box/a.msg");
  const std::string broken = tree_.File("Box/broken.msg");
  const std::string unsaved = tree_.File("Box/unsaved.msg");
  store_.FailOn(FakeOp::kImport, "not a message file", "broken");
  store_.FailOn(FakeOp::kSave, "disk full", "unsaved");
  deleteSources_ = true;
  ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));

  EXPECT_EQ(ReadAll(tree_.Path("out.log")),
            "---- Log Starts -----\r\nBAD : " + broken + "\r\nBAD : " + unsaved + "\r\n");
  EXPECT_THAT(store_.ItemSources(tree_.Path("out.pst"), ""), ElementsAre(good));
  EXPECT_THAT(store_.journal, ::testing::Contains("Delete " + unsaved));
  EXPECT_FALSE(fs::exists(good));
  EXPECT_TRUE(fs::exists(broken));
  EXPECT_TRUE(fs::exists(unsaved));
  EXPECT_EQ(CompletionBox().text, "1 of 3 messages converted, 2 failed.\r\n" + tree_.Path("Box") +
                                      ": 1 of 3 converted, 2 failed (first failure: importing " + broken +
                                      ": not a message file)\r\nFailed messages are listed in:\r\n" +
                                      tree_.Path("out.log"));
}

TEST_F(ConversionRunTest, SourceFilesAreDeletedOnlyAfterTheirItemsAreCommitted) {
  for (const char* name : {"a", "b", "c", "d", "e"}) tree_.File(std::string("Box/") + name + ".msg");
  options_.commitEvery = 2;
  deleteSources_ = true;
  std::vector<std::string> missingAtCommit;
  int commits = 0;
  store_.onCommit = [&](FakeStoreFile& file) {
    ++commits;
    for (const FakeItem& item : file.root.items) {
      if (!item.committed && !fs::exists(item.source)) missingAtCommit.push_back(item.source);
    }
  };
  ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));
  EXPECT_EQ(commits, 4);  // the folders, then batches of 2, 2 and 1
  EXPECT_THAT(missingAtCommit, ::testing::IsEmpty());
  EXPECT_FALSE(fs::exists(tree_.Path("Box/e.msg")));
  EXPECT_TRUE(fs::is_empty(tree_.Path("Box")));
}

TEST_F(ConversionRunTest, AFailedCommitKeepsTheSourcesAndCountsTheMessagesAsFailed) {
  const std::string a = tree_.File("Box/a.msg");
  store_.FailOn(FakeOp::kCommit, "cannot write the store: no space left on device");
  deleteSources_ = true;
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));
  EXPECT_TRUE(fs::exists(a));
  EXPECT_EQ(report.folders[0].failed, 1);
  EXPECT_EQ(ReadAll(tree_.Path("out.log")), "---- Log Starts -----\r\nBAD : " + a + "\r\n");
  EXPECT_THAT(CompletionBox().text, HasSubstr("committing " + a + ": cannot write the store: no space left on device"));
}

// A source is deleted only when it is still the file that was read, and lies in the chosen
// folder once links are followed; otherwise it is kept and the box says why.
TEST_F(ConversionRunTest, OnlySourcesStillAsReadAndInsideTheFolderAreDeleted) {
  const std::string replaced = tree_.File("Box/a.msg");
  const std::string kept = tree_.File("Box/b.msg");
  const std::string outside = tree_.File("Elsewhere/o.msg");
  fs::create_directory_symlink(tree_.Path("Elsewhere"), tree_.Path("Box/link"));
  deleteSources_ = true;
  options_.commitEvery = 10;
  page_.onYield = [&] {
    // Once a.msg has been read, and before its commit, the user saves new mail at its path.
    if (page_.captions[CaptionControl::LblCurrentDBX] != "Converting Messages... from (" + kept + ")") return;
    if (ReadAll(replaced) == "new mail") return;
    std::ofstream(replaced + ".new") << "new mail";
    fs::rename(replaced + ".new", replaced);
  };
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));

  EXPECT_EQ(report.folders[0].converted, 3);
  EXPECT_EQ(report.folders[0].notDeleted, 2);
  EXPECT_EQ(ReadAll(replaced), "new mail");
  EXPECT_FALSE(fs::exists(kept));
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_THAT(CompletionBox().text, HasSubstr(replaced + ": kept: it changed after it was read"));
  EXPECT_THAT(store_.ItemSources(tree_.Path("out.pst"), "\\link"), ElementsAre(tree_.Path("Box/link/o.msg")));
}

// When the log cannot take a failure, the box names it instead of pointing at the log.
TEST_F(ConversionRunTest, FailuresTheLogCannotHoldAreNamedInTheBox) {
  const std::string broken = tree_.File("Box/broken.msg");
  const std::string lost = tree_.File("Box/lost.msg");
  store_.FailOn(FakeOp::kImport, "not a message file", "broken");
  page_.onYield = [&] {
    if (page_.captions[CaptionControl::LblCurrentDBX] != "Converting Messages... from (" + lost + ")") return;
    if (fs::is_directory(tree_.Path("out.log"))) return;
    fs::remove(tree_.Path("out.log"));
    fs::create_directory(tree_.Path("out.log"));
  };
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));

  EXPECT_EQ(report.folders[0].failed, 2);
  EXPECT_THAT(report.folders[0].unlogged, ElementsAre(lost));
  EXPECT_THAT(CompletionBox().text, Not(HasSubstr("listed in")));
  EXPECT_THAT(CompletionBox().text,
              HasSubstr("1 failed message(s) of " + tree_.Path("Box") + " are not in " + tree_.Path("out.log") +
                        " (cannot open the log: opening for update " + tree_.Path("out.log") +
                        " failed: Is a directory):\r\n" + lost));
}

TEST_F(ConversionRunTest, FoldersMirrorTheSourceTree) {
  for (const char* file :
       {"Box/Inbox/i.msg", "Box/Inbox/Projects/2019/p.msg", "Box/Sent/s.msg", "Box/Sent/Old/o.msg", "Box/B/b.msg",
        "Box/a/a.msg", "Box/A/A.msg", "Box/Work/Inbox/w.msg", "Box/Work/Calendar/c.msg", "Box/Work/Calendar/Old/co.msg",
        "Box/Hot!/h.msg", "Box/Hot!/Sub/hs.msg", "Box/Zürich/z.msg"}) {
    tree_.File(file);
  }
  store_.inboxName = "Posteingang";
  store_.sentName = "Gesendete Elemente";
  const std::string storePath = tree_.Path("out.pst");
  const RunReport& report = ConvertSingle(tree_.Path("Box"), storePath);

  std::vector<std::string> added;
  for (const std::string& line : store_.journal) {
    if (line.starts_with("Add folder ")) added.push_back(line.substr(11));
  }
  // Sorted, so \A before \B before \a; reserved names, "!" names and the mapped
  // defaults are not created; Old's missing parent Calendar is never made up.
  EXPECT_THAT(added, ElementsAre("\\A", "\\B", "\\Posteingang\\Projects", "\\Posteingang\\Projects\\2019",
                                 "\\Gesendete Elemente\\Old", "\\Work", "\\Work\\Inbox", "\\Zürich", "\\a"));
  const auto in = [&](const std::string& folder) { return store_.ItemSources(storePath, folder); };
  EXPECT_THAT(in("\\Posteingang"), ElementsAre(tree_.Path("Box/Inbox/i.msg")));
  EXPECT_THAT(in("\\Posteingang\\Projects\\2019"), ElementsAre(tree_.Path("Box/Inbox/Projects/2019/p.msg")));
  EXPECT_THAT(in("\\Gesendete Elemente"), ElementsAre(tree_.Path("Box/Sent/s.msg")));
  EXPECT_THAT(in("\\Gesendete Elemente\\Old"), ElementsAre(tree_.Path("Box/Sent/Old/o.msg")));
  EXPECT_THAT(in("\\Work\\Inbox"), ElementsAre(tree_.Path("Box/Work/Inbox/w.msg")));
  EXPECT_THAT(in("\\Zürich"), ElementsAre(tree_.Path("Box/Zürich/z.msg")));
  // Messages of folders that are never created fail and are logged.
  EXPECT_EQ(report.folders[0].failed, 4);
  const std::string log = ReadAll(tree_.Path("out.log"));
  for (const char* file :
       {"Box/Work/Calendar/c.msg", "Box/Work/Calendar/Old/co.msg", "Box/Hot!/h.msg", "Box/Hot!/Sub/hs.msg"}) {
    EXPECT_THAT(log, HasSubstr("BAD : " + tree_.Path(file) + "\r\n"));
  }
}

// A folder that cannot be read once ended the search with nothing converted: the rest of
// the tree converts, the folder is logged and reported, and nothing of it is deleted.
TEST_F(ConversionRunTest, AnUnreadableFolderIsLoggedAndTheRestConverts) {
  const std::string a = tree_.File("Box/a.msg");
  const std::string locked = tree_.File("Box/Locked/l.msg");
  const std::string other = tree_.File("Box/Other/o.msg");
  testing::FailingApiInPlace recorded;
  recorded.api.unlistableFolder = tree_.Path("Box/Locked");
  deleteSources_ = true;
  const std::string storePath = tree_.Path("out.pst");
  const RunReport& report = ConvertSingle(tree_.Path("Box"), storePath);

  ASSERT_EQ(report.folders.size(), 1u);
  EXPECT_EQ(report.folders[0].outcome, FolderOutcome::kConverted);
  EXPECT_EQ(report.folders[0].converted, 2);
  EXPECT_FALSE(report.AllConverted());
  EXPECT_THAT(store_.ItemSources(storePath, ""), ElementsAre(a));
  EXPECT_THAT(store_.ItemSources(storePath, "\\Other"), ElementsAre(other));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(other));
  EXPECT_TRUE(fs::exists(locked));
  EXPECT_EQ(ReadAll(tree_.Path("out.log")), "---- Log Starts -----\r\nBAD FOLDER : " + tree_.Path("Box/Locked") +
                                                 " : cannot be read: Access is denied (system error 5)\r\n");
  EXPECT_EQ(CompletionBox().text, "2 of 2 messages converted, 0 failed.\r\n" + tree_.Path("Box") +
                                      ": 2 of 2 converted, 0 failed; the folder " + tree_.Path("Box/Locked") +
                                      " cannot be read: Access is denied (system error 5)");
}

// Folder creation and message placement agree on a name holding "\\": one folder, beside
// the folder "a" and its "b".
TEST_F(ConversionRunTest, ANameWithABackslashIsOneFolderForItsMessages) {
  if (kPathSeparator == '\\') GTEST_SKIP() << "names cannot hold \\ on this system";
  const std::string x = tree_.File("Box/a\\b/x.msg");
  const std::string y = tree_.File("Box/a/y.msg");
  const std::string z = tree_.File("Box/a/b/z.msg");
  const std::string inbox = tree_.File("Box/Inbox\\old/i.msg");
  const std::string storePath = tree_.Path("out.pst");
  const RunReport& report = ConvertSingle(tree_.Path("Box"), storePath);
  EXPECT_EQ(report.folders[0].failed, 0) << CompletionBox().text;
  FakeFolder& root = store_.files[storePath].root;
  ASSERT_NE(root.Child("a\\b"), nullptr);
  ASSERT_NE(root.Child("a"), nullptr);
  ASSERT_NE(root.Child("a")->Child("b"), nullptr);
  ASSERT_NE(root.Child("Inbox\\old"), nullptr) << "not the Inbox's subfolder";
  EXPECT_TRUE(root.Child("a\\b")->children.empty());
  EXPECT_EQ(root.Child("a\\b")->items.at(0).source, x);
  EXPECT_EQ(root.Child("a")->items.at(0).source, y);
  ASSERT_EQ(root.Child("a")->Child("b")->items.size(), 1u);
  EXPECT_EQ(root.Child("a")->Child("b")->items[0].source, z);
  EXPECT_EQ(root.Child("Inbox\\old")->items.at(0).source, inbox);
  // Shown as the store form, name by name.
  EXPECT_THAT(page_.CaptionsOf(CaptionControl::LblCurrentDBX), ::testing::Contains("Reading Folder(s)... \\a\\b"));
}

TEST_F(ConversionRunTest, MissingParentAttemptsEndWhenTheSameNameComesBack) {
  tree_.File("Box/Work/Calendar/Old/x.msg");
  ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));
  // \Work is created; \Work\Calendar is reserved, so Old's parent stays missing: the
  // first attempt tries to add "Calendar" at the top (taken), the second reports the
  // same name and the attempts end.
  EXPECT_THAT(store_.FolderPaths(tree_.Path("out.pst")), ::testing::Contains("\\Work"));
  EXPECT_EQ(store_.FolderAt(tree_.Path("out.pst"), "\\Work")->children.size(), 0u);
  EXPECT_THAT(CompletionBox().text, HasSubstr("Folder \"Calendar\" does not exist"));
}

// Whatever goes wrong around the messages, the run is no success and the box says what.
TEST_F(ConversionRunTest, FailuresAroundTheMessagesAreNoSuccessAndNamedInTheBox) {
  struct Case {
    std::optional<FakeOp> op;
    const char* error;
    bool unlistableSource;
    std::string said;
  };
  const std::string box = tree_.Path("Box");
  for (const Case& c : std::vector<Case>{
           {FakeOp::kLogoff, "the store file is locked", false,
            "; closing the store " + tree_.Path("out.pst") + ": the store file is locked"},
           {FakeOp::kCreateSession, "the store engine is not available", false,
            "creating the message-store session: the store engine is not available"},
           {std::nullopt, "", true, "the folder " + box + " cannot be read"}}) {
    SCOPED_TRACE(c.said);
    conversion_.reset();
    store_ = FakeStoreLibrary();
    page_.messages.clear();
    tree_.File("Box/a.msg");
    if (c.op) store_.FailOn(*c.op, c.error);
    testing::FailingApiInPlace recorded;
    if (c.unlistableSource) recorded.api.unlistableFolder = box;
    const RunReport& report = ConvertSingle(box, tree_.Path("out.pst"));
    EXPECT_FALSE(report.AllConverted());
    std::string shown;
    for (const MessageBoxRequest& m : page_.messages) shown += m.text + m.details;
    EXPECT_THAT(shown, HasSubstr(c.said));
    if (c.op != FakeOp::kLogoff) EXPECT_FALSE(store_.files.contains(tree_.Path("out.pst")));
  }
}

TEST_F(ConversionRunTest, CancelledSaveDialogClosesThePageAndOpensNoStore) {
  tree_.File("Box/a.msg");
  selection_.singleMode = true;
  selection_.sourceMailbox = tree_.Path("Box");
  page_.saveDialogAnswer = std::nullopt;
  Conversion().CmdStartConversion_Click();
  EXPECT_EQ(page_.closeCount, 1);
  EXPECT_TRUE(store_.journal.empty());
  EXPECT_THAT(selection_.takenRows, ::testing::IsEmpty());  // green is for written stores only
  EXPECT_EQ(CompletionBox().text, "0 of 1 messages converted, 0 failed.\r\n" + tree_.Path("Box") +
                                      ": not converted: no store file was chosen");
}

TEST_F(ConversionRunTest, LogThatCannotStartAbandonsTheFolderAndTheNextOneIsTried) {
  tree_.File("Root/A/a.msg");
  tree_.File("Root/B/b.msg");
  ConvertChecked({{true, "A", tree_.Path("Root/A")}, {true, "B", tree_.Path("Root/B")}}, tree_.Path("gone"));
  // The page closes at the first folder; closing it this way does not end the run.
  EXPECT_EQ(page_.closeCount, 1);
  EXPECT_TRUE(store_.journal.empty());
  EXPECT_THAT(selection_.takenRows, ::testing::IsEmpty());  // green is for written stores only
  EXPECT_EQ(CompletionBox().text, "0 of 2 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") +
                                      ": not converted: cannot start the log: creating " + tree_.Path("gone/A.log") +
                                      " failed: No such file or directory\r\n" + tree_.Path("Root/B") +
                                      ": not converted: cannot start the log: creating " + tree_.Path("gone/B.log") +
                                      " failed: No such file or directory");
}

TEST_F(ConversionRunTest, StoreErrorsShowTheOutlookErrorBoxWithTheReason) {
  tree_.File("Root/A/a.msg");
  tree_.File("Root/B/b.msg");
  store_.FailOn(FakeOp::kLogonPstStore, "cannot create " + tree_.Path("A.pst") + ": permission denied", "A.pst");
  store_.FailOn(FakeOp::kGetDefaultFolder, "not a Unicode store", "5");
  // The log of another run into B.pst, which this run cannot open.
  std::ofstream(tree_.Path("B.log"), std::ios::binary) << "---- Log Starts -----\r\nBAD : /mail/x.msg\r\n";
  const RunReport& report =
      ConvertChecked({{true, "A", tree_.Path("Root/A")}, {true, "B", tree_.Path("Root/B")}}, tree_.Path(""));

  ASSERT_EQ(page_.messages.size(), 3u);  // one box per folder, then the completion box
  EXPECT_EQ(page_.messages[0].text, page_.messages[1].text);
  EXPECT_EQ(page_.messages[0].details, "opening the store " + tree_.Path("A.pst") + ": cannot create " +
                                           tree_.Path("A.pst") + ": permission denied");
  EXPECT_EQ(page_.messages[1].details, "finding the Sent Items of " + tree_.Path("B.pst") + ": not a Unicode store");
  // A refused run leaves the files beside the store as they were.
  EXPECT_FALSE(fs::exists(tree_.Path("A.log")));
  EXPECT_EQ(ReadAll(tree_.Path("B.log")), "---- Log Starts -----\r\nBAD : /mail/x.msg\r\n");
  EXPECT_FALSE(page_.enabled[ButtonControl::CmdStartConversion]);
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kStoreError);
  EXPECT_THAT(selection_.takenRows, ::testing::IsEmpty());
  EXPECT_THAT(CompletionBox().text, HasSubstr(tree_.Path("Root/B") + ": not converted: finding the Sent Items"));
}

TEST_F(ConversionRunTest, MultipleFoldersQueueEveryCheckedRow) {
  tree_.File("Root/A/a.msg");
  tree_.Folder("Root/Empty");
  tree_.File("Root/C/c.msg");
  tree_.Folder("Out");
  // An existing store is added to, and its log begun again.
  ASSERT_TRUE(fs::exists(tree_.Path("Out")));
  store_.files[tree_.Path("Out/C.pst")].root.children.push_back(
      std::make_unique<FakeFolder>(FakeFolder{"Earlier", {}, {}}));
  std::ofstream(tree_.Path("Out/C.log")) << "---- Log Starts -----\r\nBAD : /old.msg\r\n";
  std::vector<std::string> windowCaptions;
  const RunReport& report = ConvertChecked({{false, "X", tree_.Path("Root/X")},
                                            {true, "A", tree_.Path("Root/A")},
                                            {true, "Empty", tree_.Path("Root/Empty")},
                                            {false, "Y", tree_.Path("Root/Y")},
                                            {true, "C", tree_.Path("Root/C")},
                                            {false, "Z", tree_.Path("Root/Z")}},
                                           "  " + tree_.Path("Out") + " ");

  EXPECT_THAT(selection_.takenRows, ElementsAre(2, 5));  // not the folder without messages
  EXPECT_THAT(store_.ItemSources(tree_.Path("Out/A.pst"), ""), ElementsAre(tree_.Path("Root/A/a.msg")));
  EXPECT_THAT(store_.ItemSources(tree_.Path("Out/C.pst"), ""), ElementsAre(tree_.Path("Root/C/c.msg")));
  EXPECT_THAT(store_.FolderPaths(tree_.Path("Out/C.pst")), ::testing::Contains("\\Earlier"));
  EXPECT_EQ(ReadAll(tree_.Path("Out/C.log")), "---- Log Starts -----\r\n");
  EXPECT_FALSE(store_.files.contains(tree_.Path("Out/Empty.pst")));
  ASSERT_EQ(report.folders.size(), 3u);
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kNoMessages);
  EXPECT_TRUE(report.AllConverted());
}

TEST_F(ConversionRunTest, ConfirmedSkipEndsTheFolderAndTheNextOneFollows) {
  for (const char* file : {"Root/A/1.msg", "Root/A/2.msg", "Root/A/3.msg", "Root/A/4.msg", "Root/B/b.msg"}) {
    tree_.File(file);
  }
  page_.onYield = [&] {
    if (page_.captions[CaptionControl::lblProgress] == "50% Complete") Conversion().CmdSkip_Click();
  };
  deleteSources_ = true;
  const RunReport& report =
      ConvertChecked({{true, "A", tree_.Path("Root/A")}, {true, "B", tree_.Path("Root/B")}}, tree_.Path(""));

  EXPECT_EQ(page_.messages[0].title, "Confirm Skip");
  EXPECT_EQ(page_.messages[0].buttons, MessageButtons::kYesNo);
  // Three messages of A were handled before the question; they are committed and deleted.
  EXPECT_EQ(store_.ItemSources(tree_.Path("A.pst"), "").size(), 3u);
  EXPECT_TRUE(fs::exists(tree_.Path("Root/A/4.msg")));
  EXPECT_FALSE(fs::exists(tree_.Path("Root/A/3.msg")));
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kConverted);
  EXPECT_EQ(CompletionBox().text, "4 of 5 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") +
                                      ": skipped, 3 of 4 converted, 0 failed");
}

TEST_F(ConversionRunTest, AnsweringNoGoesOnAndAsksAgainOnTheNextClick) {
  for (const char* file : {"Box/1.msg", "Box/2.msg", "Box/3.msg"}) tree_.File(file);
  page_.onYield = [&] {
    const std::string& progress = page_.captions[CaptionControl::lblProgress];
    if (progress == "33% Complete" || progress == "67% Complete") Conversion().CmdSkip_Click();
  };
  page_.answer = [](const MessageBoxRequest&) { return MessageAnswer::kNo; };
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));
  EXPECT_EQ(page_.messages.size(), 3u);  // two questions, then the completion box
  EXPECT_EQ(report.folders[0].converted, 3);
}

TEST_F(ConversionRunTest, ConfirmedStopClosesThePageAfterCommittingAndLeavesTheRestAlone) {
  for (const char* file : {"Root/A/1.msg", "Root/A/2.msg", "Root/A/3.msg", "Root/B/b.msg", "Root/C/c.msg"})
    tree_.File(file);
  bool clicked = false;
  page_.onYield = [&] {
    // Clicked while the second message is being imported: answered after it.
    if (page_.captions[CaptionControl::lblProgress] == "33% Complete" && !clicked) {
      clicked = true;
      Conversion().CmdStopMigration_Click();
      Conversion().CmdSkip_Click();  // asked first, answered No below
    }
  };
  page_.answer = [](const MessageBoxRequest& box) {
    return box.title == "Confirm Stop" ? MessageAnswer::kYes : MessageAnswer::kNo;
  };
  deleteSources_ = true;
  ConvertChecked(
      {{true, "A", tree_.Path("Root/A")}, {true, "B", tree_.Path("Root/B")}, {true, "C", tree_.Path("Root/C")}},
      tree_.Path(""));

  ASSERT_GE(page_.messages.size(), 3u);
  EXPECT_EQ(page_.messages[0].title, "Confirm Skip");
  EXPECT_EQ(page_.messages[1].title, "Confirm Stop");
  EXPECT_GE(page_.closeCount, 1);
  EXPECT_FALSE(page_.enabled[ButtonControl::CmdStartConversion]);
  EXPECT_THAT(selection_.takenRows, ElementsAre(1));
  EXPECT_TRUE(store_.FolderAt(tree_.Path("A.pst"), "")->items.at(0).committed);
  EXPECT_FALSE(fs::exists(tree_.Path("Root/A/2.msg")));
  EXPECT_TRUE(fs::exists(tree_.Path("Root/A/3.msg")));
  EXPECT_EQ(CompletionBox().text, "2 of 3 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") +
                                      ": stopped, 2 of 3 converted, 0 failed");
}

TEST_F(ConversionRunTest, ClosingThePageEndsTheRunAfterTheCurrentMessage) {
  for (const char* file : {"Root/A/1.msg", "Root/A/2.msg", "Root/A/3.msg", "Root/B/b.msg"}) tree_.File(file);
  page_.onYield = [&] {
    if (page_.captions[CaptionControl::LblCurrentDBX] ==
            "Converting Messages... from (" + tree_.Path("Root/A/2.msg") + ")" &&
        page_.closeCount == 0) {
      page_.ClosePage();  // the user closes the window
    }
  };
  ConvertChecked({{true, "A", tree_.Path("Root/A")}, {true, "B", tree_.Path("Root/B")}}, tree_.Path(""));
  EXPECT_EQ(store_.ItemSources(tree_.Path("A.pst"), "").size(), 2u);
  EXPECT_TRUE(store_.FolderAt(tree_.Path("A.pst"), "")->items.at(1).committed);
  EXPECT_FALSE(store_.files.contains(tree_.Path("B.pst")));
  EXPECT_EQ(page_.messages.size(), 1u);  // no questions; the completion box
  EXPECT_EQ(CompletionBox().text, "2 of 3 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") +
                                      ": stopped when the page was closed, 2 of 3 converted, 0 failed");
}

TEST_F(ConversionRunTest, StopWhileASkipIsPendingClosesThePageWithoutQuestions) {
  for (const char* file : {"Box/1.msg", "Box/2.msg", "Box/3.msg"}) tree_.File(file);
  bool clicked = false;
  page_.onYield = [&] {
    if (page_.captions[CaptionControl::lblProgress] == "33% Complete" && !clicked) {
      clicked = true;
      Conversion().CmdSkip_Click();
      Conversion().CmdStopMigration_Click();
    }
  };
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("out.pst"));
  EXPECT_EQ(page_.closeCount, 1);
  EXPECT_EQ(page_.messages.size(), 1u);
  EXPECT_EQ(report.folders[0].outcome, FolderOutcome::kPageClosed);
  EXPECT_EQ(report.folders[0].converted, 2);
}

TEST_F(ConversionRunTest, MessageWhoseLogCannotBeOpenedCountsAsFailedAndKeepsItsSource) {
  const std::string a = tree_.File("Box/a.msg");
  tree_.Folder("Out");
  page_.onYield = [&] {
    if (page_.captions[CaptionControl::LblCurrentDBX] == "Creating Outlook Folders...")
      fs::remove_all(tree_.Path("Out"));
  };
  deleteSources_ = true;
  const RunReport& report = ConvertSingle(tree_.Path("Box"), tree_.Path("Out/out.pst"));
  EXPECT_EQ(report.folders[0].failed, 1);
  EXPECT_TRUE(fs::exists(a));
  EXPECT_THAT(store_.ItemSources(tree_.Path("Out/out.pst"), ""), ::testing::IsEmpty());
  EXPECT_THAT(CompletionBox().text, HasSubstr("cannot open the log: creating " + tree_.Path("Out/out.log")));
}

TEST_F(ConversionRunTest, SourceAtTheRootOfItsTreeMapsItsTopFoldersDirectly) {
  // A source folder given with its trailing separator behaves as a drive root does.
  tree_.File("Box/Inbox/i.msg");
  tree_.File("Box/Sent/Old/o.msg");
  tree_.File("Box/Notebook/n.msg");
  const std::string storePath = tree_.Path("out.pst");
  ConvertSingle(tree_.Path("Box") + "/", storePath);
  EXPECT_THAT(store_.ItemSources(storePath, "\\Inbox"), ElementsAre(tree_.Path("Box/Inbox/i.msg")));
  EXPECT_THAT(store_.ItemSources(storePath, "\\Sent Items\\Old"), ElementsAre(tree_.Path("Box/Sent/Old/o.msg")));
  EXPECT_THAT(store_.ItemSources(storePath, "\\Notebook"), ElementsAre(tree_.Path("Box/Notebook/n.msg")));
  EXPECT_EQ(page_.saveDialogs[0].proposedFileName, std::string(kStamp) + ".pst");
}

}  // namespace
}  // namespace baleport
