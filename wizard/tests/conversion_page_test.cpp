// The conversion page's initial state, and its captions as the run sets them.
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

TEST_F(ConversionPageTest, LoadsInItsInitialStateWithStopCoveringStart) {
  ExpectInitialState();
  EXPECT_EQ(page().CmdStopMigration->geometry(), page().CmdStartConversion->geometry());
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

}  // namespace
}  // namespace baleport::testing
