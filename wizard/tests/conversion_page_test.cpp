// The conversion page's captions as the run sets them, and its state when shown again.
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
};

TEST_F(ConversionPageTest, CaptionsShowDoubledAmpersandsOnce) {
  PageControls& controls = page();
  controls.SetCaption(CaptionControl::lblCount1, "Migrating 2 items from /mail/R&&D/");
  controls.SetCaption(CaptionControl::FrameConversion,
                      "Reading Messages && Email Metadata - (1 of 2) File(s)");
  EXPECT_EQ(page().lblCount1->text(), "Migrating 2 items from /mail/R&D/");
  // A group box shows "&&" as one "&" itself.
  EXPECT_EQ(page().FrameConversion->title(), "Reading Messages && Email Metadata - (1 of 2) File(s)");
}

TEST_F(ConversionPageTest, AClosedPageIsShownAgainInItsInitialState) {
  EXPECT_EQ(page().CmdStopMigration->geometry(), page().CmdStartConversion->geometry());
  page().show();
  const QString initial = page().lblCount1->text();
  PageControls& controls = page();
  controls.SetCaption(CaptionControl::lblCount1, "Migrating 2 items from /mail/");
  controls.SetProgressValue(50);
  controls.SetButtonVisible(ButtonControl::CmdStopMigration, true);
  controls.SetDeleteSourceValue(1);
  controls.ClosePage();
  EXPECT_FALSE(page().isVisible());

  app::testing::InsideNextModal look([&] {
    EXPECT_EQ(page().lblCount1->text(), initial);
    EXPECT_EQ(page().ProgressBar1->value(), 0);
    EXPECT_EQ(page().ChkDelete->checkState(), Qt::Unchecked);
    EXPECT_FALSE(page().CmdSkip->isEnabled());
    EXPECT_FALSE(page().CmdStopMigration->isVisibleTo(&page()));
    EXPECT_TRUE(page().CmdStartConversion->isVisibleTo(&page()));
    page().close();
  });
  page().ShowModal(nullptr);
  EXPECT_TRUE(look.ran());
}

}  // namespace
}  // namespace baleport::testing
