// The run over the real store engine on real folder trees; every store it writes is read
// back by the checker, pffinfo, readpst and pypff. The command line's tests (cli/tests) run
// the same run through more cases: existing stores, broken files, deleted sources.
#include "conversion/store/pst_store_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "conversion/conversion_page.h"
#include "conversion/testing/recording_page.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

using pst::testing::ReadAll;
using pst::testing::VerifiedDump;
using ::testing::HasSubstr;

class PstRunTest : public ::testing::Test {
 protected:
  PstRunTest() {
    page_.onClose = [this] { conversion_->Form_QueryUnload(); };
    conversion_ = std::make_unique<ConversionPage>(page_, selection_, library_);
  }

  const RunReport& ConvertSingle(const std::string& source, const std::string& storePath) {
    conversion_->Form_Load();
    selection_.singleMode = true;
    selection_.sourceMailbox = source;
    page_.saveDialogAnswer = storePath;
    conversion_->CmdStartConversion_Click();
    return conversion_->lastRun();
  }

  std::string Line(const std::string& folder, int items) const {
    return "F /Top of Personal Folders" + folder + " items=" + std::to_string(items);
  }

  testing::TestTree source_;
  testing::TestTree output_;
  RecordingPage page_;
  FixedSelection selection_;
  PstStoreLibrary library_;
  std::unique_ptr<ConversionPage> conversion_;
};

TEST_F(PstRunTest, TheTreeIsMirroredWithInboxAndSentOnTheStoresOwnFolders) {
  testing::WriteMessageFile(source_.Path("top.msg"), "At the top");
  source_.Folder("Inbox");
  testing::WriteMessageFile(source_.Path("Inbox/in.msg"), "Received", true);
  source_.Folder("Sent");
  testing::WriteMessageFile(source_.Path("Sent/out.msg"), "Sent one");
  source_.Folder("Projects/2019");
  testing::WriteMessageFile(source_.Path("Projects/2019/deep.msg"), "Deep down", false, 0, true);
  source_.Folder("Переписка");
  testing::WriteMessageFile(source_.Path("Переписка/ru.msg"), "Привет");

  const std::string store = output_.Path("mail.pst");
  const RunReport& report = ConvertSingle(source_.root(), store);
  ASSERT_EQ(report.folders.size(), 1u);
  EXPECT_EQ(report.folders[0].outcome, FolderOutcome::kConverted) << report.folders[0].reason;
  EXPECT_EQ(report.folders[0].converted, 5);
  EXPECT_TRUE(report.AllConverted()) << CompletionText(report);

  const std::string dump = VerifiedDump(store);
  EXPECT_THAT(dump, HasSubstr(Line("", 1)));
  EXPECT_THAT(dump, HasSubstr(Line("/Inbox", 1)));
  EXPECT_THAT(dump, HasSubstr(Line("/Sent Items", 1)));
  EXPECT_THAT(dump, HasSubstr(Line("/Projects/2019", 1)));
  EXPECT_THAT(dump, HasSubstr(Line("/Переписка", 1)));
  EXPECT_THAT(dump, HasSubstr("M /Top of Personal Folders/Inbox | Received | "));
  EXPECT_THAT(dump, HasSubstr("M /Top of Personal Folders/Переписка | Привет | "));
  EXPECT_EQ(dump.find("/Top of Personal Folders/Sent items="), std::string::npos) << dump;

  // Read, with the paper clip exactly where there is an attachment, and a draft still one.
  auto opened = pst::testing::Must(pst::Store::Open(store));
  const auto inbox =
      pst::testing::Must(opened->ListMessages(pst::testing::Must(opened->FindFolder(opened->ipm_subtree(), "Inbox"))));
  const auto top = pst::testing::Must(opened->ListMessages(opened->ipm_subtree()));
  ASSERT_EQ(inbox.size(), 1u);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(inbox[0].flags, 0x11u);
  EXPECT_EQ(top[0].flags, 0x01u);
  const auto projects = pst::testing::Must(opened->FindFolder(opened->ipm_subtree(), "Projects"));
  const auto deep = pst::testing::Must(opened->ListMessages(pst::testing::Must(opened->FindFolder(projects, "2019"))));
  ASSERT_EQ(deep.size(), 1u);
  EXPECT_EQ(deep[0].flags, 0x09u);
  EXPECT_EQ(pst::testing::Must(opened->GetFolder(opened->ipm_subtree())).unread_count, 0u);
}

// The "Outlook Error" box keeps its text; the engine's reason goes into its details.
TEST_F(PstRunTest, AFileThatIsNotAStoreIsRefusedWithTheEnginesReason) {
  testing::WriteMessageFile(source_.Path("one.msg"), "One");
  const std::string notStore = output_.File("notes.pst");
  const std::string before = ReadAll(notStore);
  const RunReport& report = ConvertSingle(source_.root(), notStore);
  ASSERT_EQ(report.folders.size(), 1u);
  EXPECT_EQ(report.folders[0].outcome, FolderOutcome::kStoreError);
  ASSERT_GE(page_.messages.size(), 1u);
  EXPECT_EQ(page_.messages[0].title, "Outlook Error");
  EXPECT_THAT(page_.messages[0].details, HasSubstr(notStore));
  EXPECT_EQ(ReadAll(notStore), before);  // untouched
}

}  // namespace
}  // namespace baleport
