// The run over the real store engine on a real folder tree; the store it writes is read back
// by the checker and every independent reader. The bad-input proofs (proof/) run it on stores
// and files that are not what they should be.
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

using pst::testing::VerifiedDump;
using ::testing::HasSubstr;

// Inbox and Sent land on the store's own folders; the paper clip is set exactly where there
// is an attachment, every item is read, and a draft stays one.
TEST(PstRunTest, TheTreeIsMirroredAndTheMessageFlagsKept) {
  testing::TestTree source, output;
  testing::WriteMessageFile(source.Path("top.msg"), "At the top");
  testing::WriteMessageFile(source.Folder("Inbox") + "/in.msg", "Received", true);
  testing::WriteMessageFile(source.Folder("Sent") + "/out.msg", "Sent one");
  testing::WriteMessageFile(source.Folder("Projects/2019") + "/deep.msg", "Deep down", false, 0, true);
  const std::string store = output.Path("mail.pst");
  RecordingPage page;
  page.saveDialogAnswer = store;
  FixedSelection selection;
  selection.sourceMailbox = source.root();
  PstStoreLibrary library;
  ConversionPage conversion(page, selection, library);
  conversion.Form_Load();
  conversion.CmdStartConversion_Click();
  EXPECT_EQ(conversion.lastRun().folders.at(0).converted, 4) << CompletionText(conversion.lastRun());

  const std::string dump = VerifiedDump(store);
  for (const char* folder : {"", "/Inbox", "/Sent Items", "/Projects/2019"}) {
    EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders" + std::string(folder) + " items=1"));
  }
  EXPECT_THAT(dump, HasSubstr("M /Top of Personal Folders/Inbox | Received | "));
  EXPECT_EQ(dump.find("/Top of Personal Folders/Sent items="), std::string::npos) << dump;

  auto opened = pst::testing::Must(pst::Store::Open(store));
  const auto flagsIn = [&](pst::FolderId folder) { return pst::testing::Must(opened->ListMessages(folder)).at(0).flags; };
  const auto root = opened->ipm_subtree();
  EXPECT_EQ(flagsIn(pst::testing::Must(opened->FindFolder(root, "Inbox"))), 0x11u);
  EXPECT_EQ(flagsIn(root), 0x01u);
  const auto projects = pst::testing::Must(opened->FindFolder(root, "Projects"));
  EXPECT_EQ(flagsIn(pst::testing::Must(opened->FindFolder(projects, "2019"))), 0x09u);
  EXPECT_EQ(pst::testing::Must(opened->GetFolder(root)).unread_count, 0u);
}

}  // namespace
}  // namespace baleport
