// The wizard's end-to-end run: the bundled example mailbox through the pages into real
// stores, which the checker and every independent reader then open.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "conversion/store/pst_store_library.h"
#include "pst/tests/store_testing.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

class RealStoreTest : public WizardTestOver<PstStoreLibrary> {
 protected:
  // "Sta&rt Conversion" on the conversion page that `next` opens, with "Skip messages
  // already in the store" ticked as asked; the page is closed after.
  void ConvertFrom(QPushButton* next, bool skipExisting) {
    InsideNextModal on_conversion([&] {
      wizard_->MigateAll().ChkSkipExisting->setChecked(skipExisting);
      wizard_->MigateAll().CmdStartConversion->click();
      wizard_->MigateAll().close();
    });
    next->click();
    EXPECT_TRUE(on_conversion.ran());
  }

  QString LastMessage() { return desktop_.messages.empty() ? QString() : desktop_.messages.back().text; }
};

TEST_F(RealStoreTest, MultipleFolderModeMakesAStorePerTickedFolderOnceHoweverOftenRun) {
  wizard_->Run();
  wizard_->Start().OptMultiple->click();
  wizard_->Start().CmdNext->click();
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.folder_picks = {QStringLiteral(BALEPORT_EXAMPLE_MAILBOX)};
  multiple.CmdAddFolder->click();
  multiple.chkSelectAll->click();
  multiple.txtOutputFolder->setText(root_.path());
  // Run again with the skip choice: every message is already there, none twice.
  for (const bool skipExisting : {false, true}) {
    ConvertFrom(multiple.CmdNext, skipExisting);
    EXPECT_EQ(LastMessage(),
              "All Folders Converted Successfully.\r\nOpen Converted PST file(s) in Outlook to View Individual files.");
  }
  EXPECT_EQ(pst::testing::VerifiedMessageCount(root_.filePath("Inbox.pst").toStdString()), 3u);
  EXPECT_EQ(pst::testing::VerifiedMessageCount(root_.filePath("Projects.pst").toStdString()), 2u);
  EXPECT_EQ(pst::testing::VerifiedMessageCount(root_.filePath("Sent.pst").toStdString()), 3u);
}

}  // namespace
}  // namespace baleport::testing
