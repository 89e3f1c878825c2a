// The wizard's flow between the Qt pages: which page is modal over which, and the exit question.
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

class NavigationTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    wizard_->Run();
  }
  frmStart& start() { return wizard_->Start(); }
};

TEST_F(NavigationTest, SingleModeShowsTheSinglePageModalOverTheVisibleStartPage) {
  InsideNextModal step([&] {
    frmSingle& single = wizard_->Single();
    EXPECT_EQ(QApplication::activeModalWidget(), &single);  // the start page takes no input
    EXPECT_TRUE(start().isVisible());
    single.close();
  });
  start().CmdNext->click();  // returns only once the single-folder page has closed
  EXPECT_TRUE(step.ran());
  EXPECT_FALSE(wizard_->Single().isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(NavigationTest, MultipleModeHidesTheStartPageAndItsCloseBoxComesBack) {
  start().OptMultiple->click();
  EXPECT_TRUE(start().OptMultiple->font().bold());
  EXPECT_FALSE(start().OptSingle->font().bold());
  start().CmdNext->click();
  EXPECT_TRUE(wizard_->Multiple().isVisible());
  EXPECT_FALSE(start().isVisible());
  wizard_->Multiple().close();
  EXPECT_TRUE(start().isVisible());
  EXPECT_FALSE(wizard_->Multiple().isVisible());
}

TEST_F(NavigationTest, BothSelectionPagesOpenTheConversionPageModal) {
  // Opens the conversion page from `page`, notes what is shown, and closes it again.
  const auto next_shows_conversion_page = [&](QWidget& page, QPushButton* next) {
    bool page_visible = false;
    InsideNextModal step([&] {
      EXPECT_EQ(QApplication::activeModalWidget(), &wizard_->MigateAll());
      page_visible = page.isVisible();
      wizard_->MigateAll().close();
    });
    next->click();
    EXPECT_TRUE(step.ran());
    EXPECT_TRUE(page_visible);
  };

  desktop_.folder_picks = {MakeFolder("mail")};
  InsideNextModal single_step([&] {
    frmSingle& single = wizard_->Single();
    single.CmdAddFolder->click();
    next_shows_conversion_page(single, single.CmdNext);
    single.close();
  });
  start().CmdNext->click();
  EXPECT_TRUE(single_step.ran());

  MakeFolder("root/Alpha");
  desktop_.folder_picks = {MakeFolder("root")};
  start().OptMultiple->click();
  start().CmdNext->click();
  frmMultiple& multiple = wizard_->Multiple();
  multiple.CmdAddFolder->click();
  multiple.lv->topLevelItem(0)->setCheckState(0, Qt::Checked);
  next_shows_conversion_page(multiple, multiple.CmdNext);
}

TEST_F(NavigationTest, TheExitQuestionEndsTheProgramOnlyOnYes) {
  desktop_.answers = {app::MessageAnswer::kNo, app::MessageAnswer::kYes};
  start().close();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].default_answer, app::MessageAnswer::kYes);
  EXPECT_TRUE(start().isVisible());
  EXPECT_FALSE(desktop_.ended);
  start().close();
  EXPECT_TRUE(desktop_.ended);
  EXPECT_FALSE(start().isVisible());
}

}  // namespace
}  // namespace baleport::testing
