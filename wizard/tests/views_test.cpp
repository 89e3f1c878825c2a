// The Qt views over the page logic: what the user does in a widget reaches the logic, what the
// logic decides shows in the widgets, and the windows are shown as it asks. The pages'
// behaviour is tested on the logic (wizard/pages/tests); the multiple-folder page's widgets
// are driven by the end-to-end run (real_store_test.cpp).
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

using ViewsTest = WizardTest;

TEST_F(ViewsTest, TheSingleBoxFollowsPicksAndTypingAndNextFollowsTheBox) {
  frmSingle& single = wizard_->Single();
  EXPECT_FALSE(single.CmdNext->isEnabled());
  desktop_.folder_picks = {"/data/mail"};
  single.CmdAddFolder->click();
  EXPECT_EQ(single.txtSourceMailbox->text(), "/data/mail");
  EXPECT_TRUE(single.CmdNext->isEnabled());

  const QString mail = MakeFolder("mail");
  single.txtSourceMailbox->setText(mail);
  EXPECT_EQ(wizard_->pages().SourceMailbox(), mail.toStdString());
  InsideNextModal step([] { QApplication::activeModalWidget()->close(); });
  single.CmdNext->click();
  EXPECT_TRUE(step.ran());
}

TEST_F(ViewsTest, TheStartPageCloseBoxAsks) {
  wizard_->Run();
  desktop_.answers = {app::MessageAnswer::kNo, app::MessageAnswer::kYes};
  wizard_->Start().close();
  EXPECT_TRUE(wizard_->Start().isVisible());
  wizard_->Start().close();
  EXPECT_TRUE(desktop_.ended);
  EXPECT_FALSE(wizard_->Start().isVisible());
  EXPECT_EQ(desktop_.messages.at(0).default_answer, app::MessageAnswer::kYes);
}

// A label shows a doubled "&" once (a group box does so itself); a closed conversion page is
// shown again in its initial state.
TEST_F(ViewsTest, TheConversionPageShowsCaptionsAndStartsAfresh) {
  frmMigateAll& page = wizard_->MigateAll();
  page.show();
  const QString initial = page.lblCount1->text();
  PageControls& controls = page;
  controls.SetCaption(CaptionControl::lblCount1, "Migrating 2 items from /mail/R&&D/");
  controls.SetCaption(CaptionControl::FrameConversion, "Reading Messages && Email Metadata");
  EXPECT_EQ(page.lblCount1->text(), "Migrating 2 items from /mail/R&D/");
  EXPECT_EQ(page.FrameConversion->title(), "Reading Messages && Email Metadata");
  controls.SetProgressValue(50);
  controls.SetButtonVisible(ButtonControl::CmdStopMigration, true);
  controls.SetDeleteSourceValue(1);
  controls.ClosePage();
  EXPECT_FALSE(page.isVisible());

  InsideNextModal look([&] {
    EXPECT_EQ(page.lblCount1->text(), initial);
    EXPECT_EQ(page.ProgressBar1->value(), 0);
    EXPECT_EQ(page.ChkDelete->checkState(), Qt::Unchecked);
    EXPECT_FALSE(page.CmdStopMigration->isVisibleTo(&page));
    EXPECT_TRUE(page.CmdStartConversion->isVisibleTo(&page));
    page.close();
  });
  page.ShowModal(nullptr);
  EXPECT_TRUE(look.ran());
}

// Many Linux systems have no ~/Desktop: the output folder is then the desktop the XDG user
// dirs name, or else the home folder.
TEST_F(ViewsTest, TheDefaultOutputIsTheXdgDesktopOrElseHome) {
  const QByteArray homeBefore = qgetenv("HOME");
  const bool configSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
  const QString home = MakeFolder("home");
  qputenv("HOME", home.toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", MakeFolder("home/.config").toLocal8Bit());
  QFile user_dirs(root_.filePath("home/.config/user-dirs.dirs"));
  ASSERT_TRUE(user_dirs.open(QIODevice::WriteOnly));
  user_dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  user_dirs.close();
  EXPECT_EQ(wizard_->DesktopFolder(), home.toStdString()) << "named, but not there";
  const QString desktop = MakeFolder("home/Schreibtisch");
  EXPECT_EQ(wizard_->Multiple().txtOutputFolder->text(), desktop);
  qputenv("HOME", homeBefore);
  if (configSet) qputenv("XDG_CONFIG_HOME", configBefore); else qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace baleport::testing
