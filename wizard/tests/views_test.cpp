// The Qt views over the page logic: what the user does in a widget reaches the logic, and
// what the logic decides shows in the widgets. The pages' behaviour is tested on the logic
// (wizard/pages/tests).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "wizard/frm_multiple.h"
#include "wizard/frm_single.h"
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
  single.txtSourceMailbox->setText("  ");
  EXPECT_FALSE(single.CmdNext->isEnabled());

  const QString mail = MakeFolder("mail");
  single.txtSourceMailbox->setText(mail);
  EXPECT_EQ(wizard_->pages().SourceMailbox(), mail.toStdString());
  InsideNextModal step([] { QApplication::activeModalWidget()->close(); });
  single.CmdNext->click();
  EXPECT_TRUE(step.ran());
}

TEST_F(ViewsTest, TheListShowsTheRowsAndHandsTicksAndTheOutputFolderToTheLogic) {
  for (const char* name : {"a", "b", "c", "d", "e"}) MakeFolder(QString("five/") + name);
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.folder_picks = {MakeFolder("five")};
  multiple.CmdAddFolder->click();
  QTreeWidget* lv = multiple.lv;
  ASSERT_EQ(lv->topLevelItemCount(), 5);
  EXPECT_EQ(lv->topLevelItem(1)->text(0), "b");
  EXPECT_EQ(lv->topLevelItem(1)->toolTip(1), QDir::toNativeSeparators(root_.filePath("five/b")));
  EXPECT_FALSE(lv->topLevelItem(1)->icon(0).isNull());
  EXPECT_TRUE(multiple.chkSelectAll->isEnabled());

  lv->topLevelItem(3)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(wizard_->pages().Row(4).checked);
  multiple.chkSelectAll->click();
  EXPECT_EQ(lv->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(multiple.chkSelectAll->text(), "Uncheck All");
  multiple.txtOutputFolder->setText("/srv/out");
  EXPECT_EQ(wizard_->pages().OutputFolder(), "/srv/out");

  wizard_->pages().MarkRowTaken(2);
  EXPECT_NE(lv->topLevelItem(1)->foreground(0).color(), lv->topLevelItem(0)->foreground(0).color());
}

// Sets environment variables for one test and puts them back after it.
class ScopedEnvironment {
 public:
  void Set(const char* name, const QString& value) {
    saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnvironment() {
    for (const Saved& saved : saved_) {
      if (saved.was_set) qputenv(saved.name, saved.value); else qunsetenv(saved.name);
    }
  }

 private:
  struct Saved {
    const char* name;
    QByteArray value;
    bool was_set;
  };
  std::vector<Saved> saved_;
};

// Many Linux systems have no ~/Desktop: the output folder is then the desktop the XDG user
// dirs name, or else the home folder.
TEST_F(ViewsTest, TheDefaultOutputIsTheXdgDesktopOrElseHome) {
  ScopedEnvironment environment;
  const QString home = MakeFolder("home");
  environment.Set("HOME", home);
  environment.Set("XDG_CONFIG_HOME", MakeFolder("home/.config"));
  EXPECT_EQ(wizard_->DesktopFolder(), home.toStdString());

  QFile user_dirs(root_.filePath("home/.config/user-dirs.dirs"));
  ASSERT_TRUE(user_dirs.open(QIODevice::WriteOnly));
  user_dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  user_dirs.close();
  EXPECT_EQ(wizard_->DesktopFolder(), home.toStdString()) << "named, but not there";
  const QString desktop = MakeFolder("home/Schreibtisch");
  EXPECT_EQ(wizard_->DesktopFolder(), desktop.toStdString());
  EXPECT_EQ(wizard_->Multiple().txtOutputFolder->text(), desktop);
}

}  // namespace
}  // namespace baleport::testing
