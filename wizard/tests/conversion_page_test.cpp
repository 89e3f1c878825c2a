// The conversion page's initial state, and its controls as the run drives them.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "wizard/frm_migate_all.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

class ConversionPageTest : public WizardTest {
 protected:
  frmMigateAll& page() { return wizard_->MigateAll(); }

  void ExpectInitialState() {
    EXPECT_EQ(page().windowTitle(), "Conversion Status");
    EXPECT_EQ(page().lblCount1->text(), "Conversion Not Started Yet...");
    EXPECT_EQ(page().lblProgress->text(), "0% Complete");
    EXPECT_EQ(page().ProgressBar1->value(), 0);
    EXPECT_EQ(page().ProgressBar1->maximum(), 100);
    EXPECT_EQ(page().FrameConversion->title(), " Details ");
    EXPECT_EQ(page().LblCurrentDBX->text(), "Converting Messages...");
    EXPECT_EQ(page().ChkDelete->checkState(), Qt::Unchecked);
    EXPECT_FALSE(page().CmdSkip->isEnabled());
    EXPECT_TRUE(page().CmdStartConversion->isEnabled());
    EXPECT_FALSE(page().CmdStopMigration->isVisibleTo(&page()));
    EXPECT_TRUE(page().CmdStartConversion->isVisibleTo(&page()));
  }
};

TEST_F(ConversionPageTest, LoadsInItsInitialState) {
  ExpectInitialState();
  EXPECT_EQ(page().CmdStopMigration->geometry(), page().CmdStartConversion->geometry());
  EXPECT_EQ(page().CmdStartConversion->text(), "Sta&rt Conversion");
  EXPECT_EQ(page().CmdStopMigration->text(), "S&top Conversion");
  EXPECT_EQ(page().CmdSkip->toolTip(), "Cancel Conversion of Current Folder");
  EXPECT_EQ(page().CmdStopMigration->toolTip(), "Stops Complete Conversion");
  EXPECT_EQ(page().lblDeleteHelp->toolTip(), "Click to Know More...");
}

TEST_F(ConversionPageTest, CaptionsShowDoubledAmpersandsOnce) {
  PageControls& controls = page();
  controls.SetCaption(CaptionControl::lblCount1, "Migrating 2 items from /mail/R&&D/");
  controls.SetCaption(CaptionControl::FrameConversion,
                      "Reading Messages && Email Metadata - (1 of 2) File(s)");
  controls.SetCaption(CaptionControl::frmMigateAll, "Converting 2 of 6 Folders");
  EXPECT_EQ(page().lblCount1->text(), "Migrating 2 items from /mail/R&D/");
  // A group box shows "&&" as one "&" itself.
  EXPECT_EQ(page().FrameConversion->title(), "Reading Messages && Email Metadata - (1 of 2) File(s)");
  EXPECT_EQ(page().windowTitle(), "Converting 2 of 6 Folders");
}

TEST_F(ConversionPageTest, DrivesTheButtonsProgressAndDeleteBox) {
  PageControls& controls = page();
  controls.SetButtonVisible(ButtonControl::CmdStopMigration, true);
  controls.SetButtonEnabled(ButtonControl::CmdSkip, true);
  controls.SetButtonEnabled(ButtonControl::CmdStartConversion, false);
  EXPECT_TRUE(page().CmdStopMigration->isVisibleTo(&page()));
  EXPECT_TRUE(page().CmdSkip->isEnabled());
  EXPECT_FALSE(page().CmdStartConversion->isEnabled());

  controls.SetProgressValue(41.6f);
  EXPECT_EQ(page().ProgressBar1->value(), 42);

  EXPECT_EQ(controls.DeleteSourceValue(), 0);
  page().ChkDelete->click();
  EXPECT_EQ(controls.DeleteSourceValue(), 1);
  controls.SetDeleteSourceValue(0);
  EXPECT_FALSE(page().ChkDelete->isChecked());
}

TEST_F(ConversionPageTest, AClosedPageIsShownAgainInItsInitialState) {
  page().show();
  PageControls& controls = page();
  controls.SetCaption(CaptionControl::lblCount1, "Migrating 2 items from /mail/");
  controls.SetButtonVisible(ButtonControl::CmdStopMigration, true);
  controls.SetDeleteSourceValue(1);
  controls.ClosePage();
  EXPECT_FALSE(page().isVisible());

  app::testing::InsideNextModal look([&] {
    ExpectInitialState();
    page().close();
  });
  page().ShowModal(nullptr);
  EXPECT_TRUE(look.ran());
}

TEST_F(ConversionPageTest, TheSaveDialogAndMessageBoxesGoThroughTheDesktop) {
  PageControls& controls = page();
  desktop_.save_names = {"", "/out/Inbox.pst"};
  SaveDialogRequest request;
  request.filter = "Outlook Data File(s) (*.pst)|*.pst";
  request.proposedFileName = "Inbox6.12.26 9.5.03.pst";
  EXPECT_EQ(controls.ShowSaveDialog(request), std::nullopt);
  EXPECT_EQ(controls.ShowSaveDialog(request), "/out/Inbox.pst");
  ASSERT_EQ(desktop_.save_requests.size(), 2u);
  EXPECT_EQ(desktop_.save_requests[0].filter, "Outlook Data File(s) (*.pst)|*.pst");
  EXPECT_EQ(desktop_.save_requests[0].proposed_name, "Inbox6.12.26 9.5.03.pst");

  desktop_.answers = {app::MessageAnswer::kNo};
  MessageBoxRequest confirm;
  confirm.text = "Do you really want to \"Skip\" conversion of this folder ?";
  confirm.title = "Confirm Skip";
  confirm.buttons = MessageButtons::kYesNo;
  EXPECT_EQ(controls.ShowMessage(confirm), MessageAnswer::kNo);
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].title, "Confirm Skip");
  EXPECT_EQ(desktop_.messages[0].icon, app::MessageIcon::kNone);
  EXPECT_EQ(desktop_.messages[0].buttons, app::MessageButtons::kYesNo);
}

}  // namespace
}  // namespace baleport::testing
