// The wizard's end-to-end run: the bundled example mailbox through the pages into real
// stores, which the checker and every independent reader then open.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "app/testing/scripted_desktop.h"
#include "app/testing/test_application.h"
#include "conversion/store/pst_store_library.h"
#include "pst/tests/store_testing.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_start.h"
#include "wizard/wizard.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

class RealStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app::testing::EnsureApplication();
    wizard_ = std::make_unique<Wizard>(desktop_, library_);
    wizard_->Run();
  }
  void TearDown() override {
    EXPECT_TRUE(desktop_.unscripted.isEmpty()) << desktop_.unscripted.join(u'\n').toStdString();
  }

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

  QTemporaryDir out_;
  app::testing::ScriptedDesktop desktop_;
  PstStoreLibrary library_;
  std::unique_ptr<Wizard> wizard_;
};

TEST_F(RealStoreTest, MultipleFolderModeMakesAStorePerTickedFolderOnceHoweverOftenRun) {
  wizard_->Start().OptMultiple->click();
  wizard_->Start().CmdNext->click();
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.folder_picks = {QStringLiteral(BALEPORT_EXAMPLE_MAILBOX)};
  multiple.CmdAddFolder->click();
  multiple.chkSelectAll->click();
  multiple.txtOutputFolder->setText(out_.path());
  // Run again with the skip choice: every message is already there, none twice.
  for (const bool skipExisting : {false, true}) {
    ConvertFrom(multiple.CmdNext, skipExisting);
    EXPECT_EQ(LastMessage(),
              "All Folders Converted Successfully.\r\nOpen Converted PST file(s) in Outlook to View Individual files.");
  }
  EXPECT_EQ(pst::testing::VerifiedMessageCount(out_.filePath("Inbox.pst").toStdString()), 3u);
  EXPECT_EQ(pst::testing::VerifiedMessageCount(out_.filePath("Projects.pst").toStdString()), 2u);
  EXPECT_EQ(pst::testing::VerifiedMessageCount(out_.filePath("Sent.pst").toStdString()), 3u);
}

}  // namespace
}  // namespace baleport::testing
