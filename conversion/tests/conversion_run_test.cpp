// The run end to end on real folder trees, over the fake store and a recording page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "conversion/conversion_page.h"
#include "conversion/testing/fake_store.h"
#include "conversion/testing/recording_page.h"
#include "files/tests/test_tree.h"
#include "support/testing/read_all.h"

namespace baleport {
namespace {

using testing::ReadAll;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
namespace fs = std::filesystem;

constexpr char kStamp[] = "6.12.26 9.5.03";  // no leading zeros but in year and seconds
constexpr char kLogStart[] = "---- Log Starts -----\r\n";

class ConversionRunTest : public ::testing::Test {
 protected:
  ConversionRunTest() {
    options_.localTime = [] {
      std::tm time{};
      std::tie(time.tm_year, time.tm_mon, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec) =
          std::tuple(126, 11, 6, 9, 5, 3);
      return time;
    };
    Fresh();
  }

  // A new page, store and run, as for each case of a table.
  void Fresh() {
    conversion_.reset();
    page_ = RecordingPage();
    page_.onClose = [this] { conversion_->Form_QueryUnload(); };
    page_.saveDialogAnswer = tree_.Path("out.pst");
    store_ = FakeStoreLibrary();
    store_.onCommit = [this](FakeStoreFile& file) { committed_ = file.root.items.size(); };
    selection_.takenRows.clear();
  }

  ConversionPage& Conversion() {
    if (!conversion_) {
      conversion_ = std::make_unique<ConversionPage>(page_, selection_, store_, options_);
      conversion_->Form_Load();
      if (deleteSources_) page_.deleteSourceValue = 1;  // ticked once the page has loaded
    }
    return *conversion_;
  }

  const RunReport& ConvertSingle(const std::string& source) {
    selection_.singleMode = true;
    selection_.sourceMailbox = source;
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

  // Rows A, B, ... for the folders Root/A, Root/B, ...
  std::vector<FolderRow> Rows(const std::string& names) const {
    std::vector<FolderRow> rows;
    for (const char name : names) rows.push_back({true, std::string(1, name), tree_.Path(std::string("Root/") + name)});
    return rows;
  }

  // Clicks made during the run once `caption` shows as the message being converted.
  void WhenConverting(const std::string& path, std::function<void()> click) {
    page_.onYield = [this, path, click, done = false]() mutable {
      if (!done && page_.captions[CaptionControl::LblCurrentDBX] == "Converting Messages... from (" + path + ")") {
        done = true;
        click();
      }
    };
  }

  const MessageBoxRequest& CompletionBox() const { return page_.messages.back(); }
  std::vector<std::string> InStore(const std::string& folder) {
    return store_.ItemSources(tree_.Path("out.pst"), folder);
  }

  testing::TestTree tree_;
  RecordingPage page_;
  FixedSelection selection_;
  FakeStoreLibrary store_;
  ConversionOptions options_;
  bool deleteSources_ = false;
  size_t committed_ = 0;  // items at the top when the store was last committed
  std::unique_ptr<ConversionPage> conversion_;
};

// A message that cannot be imported, saved or logged fails: its item is removed, its
// source kept, and the box names the failures the log could not take.
TEST_F(ConversionRunTest, FailedMessagesAreLoggedRemovedKeptOnDiskAndReported) {
  const std::string good = tree_.File("Box/a.msg");
  const std::string broken = tree_.File("Box/broken.msg");
  const std::string unlogged = tree_.File("Box/unlogged.msg");
  const std::string unsaved = tree_.File("Box/unsaved.msg");
  store_.FailOn(FakeOp::kImport, "not a message file", "broken");
  store_.FailOn(FakeOp::kSave, "disk full", "unsaved");
  deleteSources_ = true;
  const std::string log = tree_.Path("out.log");
  WhenConverting(unlogged, [&] {
    fs::rename(log, log + ".kept");
    fs::create_directory(log);
  });
  const RunReport& report = ConvertSingle(tree_.Path("Box"));

  EXPECT_EQ(page_.saveDialogs.at(0).proposedFileName, std::string("Box") + kStamp + ".pst");
  EXPECT_EQ(store_.files[tree_.Path("out.pst")].displayName, std::string("Box : Created - ") + kStamp);
  EXPECT_EQ(ReadAll(log + ".kept"), kLogStart + ("BAD : " + broken + "\r\n"));
  EXPECT_THAT(report.folders[0].unlogged, ElementsAre(unlogged, unsaved));
  EXPECT_THAT(InStore(""), ElementsAre(good));
  EXPECT_FALSE(fs::exists(good));
  for (const std::string& kept : {broken, unlogged, unsaved}) EXPECT_TRUE(fs::exists(kept)) << kept;
  EXPECT_THAT(CompletionBox().text,
              ::testing::StartsWith("1 of 4 messages converted, 3 failed.\r\n" + tree_.Path("Box") +
                                    ": 1 of 4 converted, 3 failed (first failure: importing " + broken +
                                    ": not a message file)\r\n"));
  EXPECT_THAT(CompletionBox().text, Not(HasSubstr("listed in")));
  EXPECT_THAT(CompletionBox().text, HasSubstr("2 failed message(s) of " + tree_.Path("Box") + " are not in " + log +
                                              " (cannot open the log: opening for update " + log + " failed: "));
  EXPECT_THAT(CompletionBox().text, ::testing::EndsWith("):\r\n" + unlogged + "\r\n" + unsaved));
}

// (Deleted only once committed: the crash proof's kills with --delete-source.)
TEST_F(ConversionRunTest, ASourceChangedAfterItWasReadIsKept) {
  tree_.Files({"Box/a.msg", "Box/b.msg", "Box/c.msg"});
  const std::string replaced = tree_.Path("Box/a.msg");
  options_.commitEvery = 2;
  deleteSources_ = true;
  // Once a.msg has been read, and before its commit, the user saves new mail at its path.
  WhenConverting(tree_.Path("Box/b.msg"), [&] {
    std::ofstream(replaced + ".new") << "new mail";
    fs::rename(replaced + ".new", replaced);
  });
  const RunReport& report = ConvertSingle(tree_.Path("Box"));
  EXPECT_EQ(report.folders[0].notDeleted, 1);
  EXPECT_EQ(ReadAll(replaced), "new mail");
  EXPECT_EQ(std::distance(fs::directory_iterator(tree_.Path("Box")), fs::directory_iterator()), 1);
  EXPECT_THAT(CompletionBox().text, HasSubstr(replaced + ": kept: it changed after it was read"));
}

TEST_F(ConversionRunTest, ASourceReachedThroughALinkOutOfTheFolderIsKept) {
  const std::string outside = tree_.File("Elsewhere/o.msg");
  tree_.Folder("Box");
  if (const std::error_code error = tree_.LinkFolder(tree_.Path("Elsewhere"), "Box/link")) {
    GTEST_SKIP() << "no folder link can be made here (" << error.message()
                 << "): Wine makes none, Windows only with the right to make symbolic links";
  }
  deleteSources_ = true;
  const RunReport& report = ConvertSingle(tree_.Path("Box"));
  EXPECT_EQ(report.folders[0].notDeleted, 1);
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_THAT(CompletionBox().text, HasSubstr(": kept: it lies outside " + tree_.Path("Box")));
  EXPECT_THAT(InStore("\\link"), ElementsAre(tree_.Path("Box/link/o.msg")));
}

// Sorted by UTF-16 units (\B before \a); only a top Inbox or Sent is mapped, and only whole
// names; reserved names and "!" names are not created, nor a missing parent that is reserved
// (Calendar of \Work\Calendar\Old).
TEST_F(ConversionRunTest, FoldersMirrorTheSourceTree) {
  tree_.Files({"Box/Inbox/i.msg", "Box/Inbox/Projects/2019/p.msg", "Box/Sent/s.msg", "Box/Sent/Old/o.msg",
               "Box/B/b.msg", "Box/a/a.msg", "Box/Work/Inbox/w.msg", "Box/Work/Calendar/c.msg",
               "Box/Work/Calendar/Old/co.msg", "Box/Hot!/h.msg", "Box/Hot!/Sub/hs.msg", "Box/Zürich/z.msg",
               "Box/Inboxes/x.msg", "Box/Work/Calendars/y.msg", "Box/Work/Emailed Contacts/e.msg"});
  store_.inboxName = "Posteingang";
  store_.sentName = "Gesendete Elemente";
  const RunReport& report = ConvertSingle(tree_.Path("Box"));

  std::vector<std::string> made;  // the folders holding something
  const std::function<void(const FakeFolder&, const std::string&)> walk = [&](const FakeFolder& folder,
                                                                              const std::string& path) {
    for (const auto& child : folder.children) {
      if (!child->items.empty() || !child->children.empty()) walk(*child, made.emplace_back(path + "\\" + child->name));
    }
  };
  walk(store_.files[tree_.Path("out.pst")].root, "");
  EXPECT_THAT(made, ElementsAre("\\Posteingang", "\\Posteingang\\Projects", "\\Posteingang\\Projects\\2019",
                                "\\Gesendete Elemente", "\\Gesendete Elemente\\Old", "\\B", "\\Inboxes", "\\Work",
                                "\\Work\\Calendars", "\\Work\\Inbox", "\\Zürich", "\\a"));
  EXPECT_THAT(InStore("\\Posteingang\\Projects\\2019"), ElementsAre(tree_.Path("Box/Inbox/Projects/2019/p.msg")));
  EXPECT_THAT(InStore("\\Gesendete Elemente"), ElementsAre(tree_.Path("Box/Sent/s.msg")));
  // Messages of folders that are never created fail and are logged.
  EXPECT_EQ(report.folders[0].failed, 5);
  const std::string log = ReadAll(tree_.Path("out.log"));
  for (const char* file :
       {"Box/Work/Calendar/c.msg", "Box/Work/Calendar/Old/co.msg", "Box/Hot!/h.msg", "Box/Hot!/Sub/hs.msg",
        "Box/Work/Emailed Contacts/e.msg"}) {
    EXPECT_THAT(log, HasSubstr("BAD : " + tree_.Path(file) + "\r\n"));
  }
  EXPECT_THAT(report.folders[0].failures, ::testing::Contains(HasSubstr("Folder \"Calendar\" does not exist")));
}

// (A folder that cannot be listed: the search's tests and the bad-input proof.)
TEST_F(ConversionRunTest, FailuresAroundTheMessagesAreNoSuccessAndNamedInTheBox) {
  struct Case {
    std::optional<FakeOp> op;
    const char* error;
    std::string said;
    bool cancelled = false;  // the save dialog is cancelled
  };
  const std::string box = tree_.Path("Box");
  for (const Case& c : std::vector<Case>{
           {FakeOp::kLogoff, "the store file is locked",
            "; closing the store " + tree_.Path("out.pst") + ": the store file is locked"},
           {std::nullopt, "", box + ": not converted: no store file was chosen", true}}) {
    SCOPED_TRACE(c.said);
    Fresh();
    tree_.File("Box/a.msg");
    if (c.op) store_.FailOn(*c.op, c.error);
    if (c.cancelled) page_.saveDialogAnswer = std::nullopt;
    EXPECT_FALSE(ConvertSingle(box).AllConverted());
    std::string shown;
    for (const MessageBoxRequest& m : page_.messages) shown += m.text + m.details;
    EXPECT_THAT(shown, HasSubstr(c.said));
    EXPECT_EQ(store_.files.contains(tree_.Path("out.pst")), c.op == FakeOp::kLogoff);
  }
}

TEST_F(ConversionRunTest, ALogThatCannotStartAbandonsTheFolderAndTheNextOneIsTried) {
  tree_.Files({"Root/A/a.msg", "Root/B/b.msg"});
  ConvertChecked(Rows("AB"), tree_.Path("gone"));
  EXPECT_EQ(page_.closeCount, 1);
  EXPECT_TRUE(store_.files.empty());
  EXPECT_THAT(selection_.takenRows, IsEmpty());  // green is for written stores only
  for (const char* name : {"A", "B"}) {
    EXPECT_THAT(CompletionBox().text, HasSubstr(tree_.Path(std::string("Root/") + name) +
                                                ": not converted: cannot start the log: creating " +
                                                tree_.Path(std::string("gone/") + name + ".log") + " failed: "));
  }
}

TEST_F(ConversionRunTest, StoreErrorsShowTheOutlookErrorBoxWithTheReason) {
  tree_.Files({"Root/A/a.msg", "Root/B/b.msg"});
  store_.FailOn(FakeOp::kLogonPstStore, "cannot create " + tree_.Path("A.pst") + ": permission denied", "A.pst");
  store_.FailOn(FakeOp::kGetDefaultFolder, "not a Unicode store", "5");
  // The log of another run into B.pst, which this run cannot open.
  const std::string earlierLog = kLogStart + std::string("BAD : /mail/x.msg\r\n");
  std::ofstream(tree_.Path("B.log"), std::ios::binary) << earlierLog;
  const RunReport& report = ConvertChecked(Rows("AB"), tree_.Path(""));

  ASSERT_EQ(page_.messages.size(), 3u);  // one box per folder, then the completion box
  EXPECT_EQ(page_.messages[0].title, "Outlook Error");
  EXPECT_EQ(page_.messages[0].text, page_.messages[1].text);
  EXPECT_EQ(page_.messages[0].details, "opening the store " + tree_.Path("A.pst") + ": cannot create " +
                                           tree_.Path("A.pst") + ": permission denied");
  EXPECT_EQ(page_.messages[1].details, "finding the Sent Items of " + tree_.Path("B.pst") + ": not a Unicode store");
  // A refused run leaves the files beside the store as they were.
  EXPECT_FALSE(fs::exists(tree_.Path("A.log")));
  EXPECT_EQ(ReadAll(tree_.Path("B.log")), earlierLog);
  EXPECT_FALSE(page_.enabled[ButtonControl::CmdStartConversion]);
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kStoreError);
  EXPECT_THAT(selection_.takenRows, IsEmpty());
}

TEST_F(ConversionRunTest, MultipleFoldersQueueEveryCheckedRow) {
  tree_.Files({"Root/A/a.msg", "Root/C/c.msg"});
  tree_.Folder("Root/Empty");
  tree_.Folder("Out");
  // An existing store is added to, and its log begun again.
  store_.files[tree_.Path("Out/C.pst")].root.children.push_back(
      std::make_unique<FakeFolder>(FakeFolder{"Earlier", {}, {}}));
  std::ofstream(tree_.Path("Out/C.log"), std::ios::binary) << kLogStart << "BAD : /old.msg\r\n";
  const RunReport& report = ConvertChecked({{false, "X", tree_.Path("Root/X")},
                                            {true, "A", tree_.Path("Root/A")},
                                            {true, "Empty", tree_.Path("Root/Empty")},
                                            {false, "Y", tree_.Path("Root/Y")},
                                            {true, "C", tree_.Path("Root/C")}},
                                           "  " + tree_.Path("Out") + " ");

  EXPECT_THAT(selection_.takenRows, ElementsAre(2, 5));  // not the folder without messages
  EXPECT_THAT(store_.ItemSources(tree_.Path("Out/A.pst"), ""), ElementsAre(tree_.Path("Root/A/a.msg")));
  EXPECT_THAT(store_.ItemSources(tree_.Path("Out/C.pst"), ""), ElementsAre(tree_.Path("Root/C/c.msg")));
  EXPECT_NE(store_.files[tree_.Path("Out/C.pst")].root.Child("Earlier"), nullptr);
  EXPECT_EQ(ReadAll(tree_.Path("Out/C.log")), kLogStart);
  EXPECT_FALSE(store_.files.contains(tree_.Path("Out/Empty.pst")));
  ASSERT_EQ(report.folders.size(), 3u);
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kNoMessages);
  EXPECT_TRUE(report.AllConverted());
  EXPECT_EQ(CompletionBox().icon, MessageIcon::kInformation);
  EXPECT_TRUE(page_.enabled[ButtonControl::CmdStartConversion]);
  EXPECT_FALSE(page_.visible[ButtonControl::CmdStopMigration]);
}

// The questions are answered after the message being converted; No goes on and asks again.
TEST_F(ConversionRunTest, ConfirmedSkipEndsTheFolderAndTheNextOneFollows) {
  tree_.Files({"Root/A/1.msg", "Root/A/2.msg", "Root/A/3.msg", "Root/A/4.msg", "Root/B/b.msg"});
  int asked = 0;
  std::set<std::string> clickedAt;
  page_.onYield = [&] {
    const std::string& now = page_.captions[CaptionControl::LblCurrentDBX];
    if ((now.ends_with("1.msg)") || now.ends_with("3.msg)")) && clickedAt.insert(now).second) {
      Conversion().CmdSkip_Click();
    }
  };
  page_.answer = [&](const MessageBoxRequest&) { return ++asked == 1 ? MessageAnswer::kNo : MessageAnswer::kYes; };
  deleteSources_ = true;
  const RunReport& report = ConvertChecked(Rows("AB"), tree_.Path(""));

  EXPECT_EQ(asked, 2);
  EXPECT_EQ(page_.messages[0].title, "Confirm Skip");
  EXPECT_EQ(page_.messages[0].buttons, MessageButtons::kYesNo);
  // Three messages of A were handled before the Yes; they are committed and deleted.
  EXPECT_EQ(store_.ItemSources(tree_.Path("A.pst"), "").size(), 3u);
  EXPECT_TRUE(fs::exists(tree_.Path("Root/A/4.msg")));
  EXPECT_FALSE(fs::exists(tree_.Path("Root/A/3.msg")));
  EXPECT_EQ(report.folders[1].outcome, FolderOutcome::kConverted);
  EXPECT_EQ(CompletionBox().text, "4 of 5 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") +
                                      ": skipped, 3 of 4 converted, 0 failed");
}

// A confirmed Stop, a closed window, or Stop while a Skip is pending end the run after the
// current message, which is committed; no further folder is taken up.
TEST_F(ConversionRunTest, StopOrClosingThePageEndsTheRunAfterTheCurrentMessage) {
  struct Case {
    std::function<void(ConversionPage&)> click;
    std::vector<std::string> questions;
    std::string how;
  };
  for (const Case& c : std::vector<Case>{
           {[](ConversionPage& p) {
              p.CmdStopMigration_Click();
              p.CmdSkip_Click();  // asked first, answered No
            },
            {"Confirm Skip", "Confirm Stop"}, "stopped"},
           {[this](ConversionPage&) { page_.ClosePage(); }, {}, "stopped when the page was closed"},
           {[](ConversionPage& p) {
              p.CmdSkip_Click();
              p.CmdStopMigration_Click();
            },
            {}, "stopped when the page was closed"}}) {
    SCOPED_TRACE(c.how);
    Fresh();
    tree_.Files({"Root/A/1.msg", "Root/A/2.msg", "Root/A/3.msg", "Root/B/b.msg"});
    WhenConverting(tree_.Path("Root/A/2.msg"), [&] { c.click(Conversion()); });
    page_.answer = [](const MessageBoxRequest& box) {
      return box.title == "Confirm Stop" ? MessageAnswer::kYes : MessageAnswer::kNo;
    };
    deleteSources_ = true;
    ConvertChecked(Rows("AB"), tree_.Path(""));

    std::vector<std::string> asked;
    for (const MessageBoxRequest& box : page_.messages) asked.push_back(box.title);
    asked.pop_back();  // the completion box
    EXPECT_EQ(asked, c.questions);
    EXPECT_EQ(page_.closeCount, 1);
    EXPECT_THAT(selection_.takenRows, ElementsAre(1));
    EXPECT_EQ(committed_, 2u);
    EXPECT_FALSE(store_.files.contains(tree_.Path("B.pst")));
    EXPECT_FALSE(fs::exists(tree_.Path("Root/A/2.msg")));
    EXPECT_TRUE(fs::exists(tree_.Path("Root/A/3.msg")));
    EXPECT_EQ(CompletionBox().text, "2 of 3 messages converted, 0 failed.\r\n" + tree_.Path("Root/A") + ": " + c.how +
                                        ", 2 of 3 converted, 0 failed");
  }
}

}  // namespace
}  // namespace baleport
