// The single-folder page: its two states and what a pick, a cancel, typing and a close do.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

class SinglePageTest : public WizardTest {
 protected:
  frmSingle& single() { return wizard_->Single(); }

  // Clicks "&Next >" and tells whether a modal page opened (it is closed again at once).
  bool NextOpensAModalPage() {
    InsideNextModal step([] { QApplication::activeModalWidget()->close(); });
    single().CmdNext->click();
    return step.ran();
  }
};

TEST_F(SinglePageTest, StartsEmptyWithNextDisabledAndACancelledPickKeepsItSo) {
  EXPECT_EQ(single().windowTitle(), "Single Folder Conversion Mode");
  EXPECT_TRUE(single().txtSourceMailbox->text().isEmpty());
  EXPECT_FALSE(single().CmdNext->isEnabled());
  desktop_.folder_picks = {""};
  single().CmdAddFolder->click();
  EXPECT_TRUE(single().txtSourceMailbox->text().isEmpty());
  EXPECT_FALSE(single().CmdNext->isEnabled());
}

TEST_F(SinglePageTest, APickFillsTheBoxAndEnablesNextAndACancelLaterKeepsIt) {
  desktop_.folder_picks = {"/data/mail", ""};
  single().CmdAddFolder->click();
  EXPECT_EQ(desktop_.picker_titles, QStringList{"Choose Source Folder..."});
  EXPECT_EQ(single().txtSourceMailbox->text(), "/data/mail");
  EXPECT_TRUE(single().CmdNext->isEnabled());
  EXPECT_EQ(wizard_->SourceMailbox(), "/data/mail");

  single().CmdAddFolder->click();  // cancelled
  EXPECT_EQ(single().txtSourceMailbox->text(), "/data/mail");
  EXPECT_TRUE(single().CmdNext->isEnabled());
}

TEST_F(SinglePageTest, NextFollowsTheBoxAndTurnsDownWhatIsNoFolderInTheSystemsWords) {
  desktop_.folder_picks = {"/data/mail"};
  single().CmdAddFolder->click();
  single().txtSourceMailbox->setText("  ");
  EXPECT_FALSE(single().CmdNext->isEnabled());
  EXPECT_FALSE(NextOpensAModalPage());
  EXPECT_TRUE(desktop_.messages.empty());

  const QString missing = QDir::toNativeSeparators(root_.filePath("gone"));
  const QString file = QDir::toNativeSeparators(root_.filePath("mail.msg"));
  ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
  for (const QString& typed : {missing, file}) {
    single().txtSourceMailbox->setText(typed);
    EXPECT_TRUE(single().CmdNext->isEnabled());
    EXPECT_FALSE(NextOpensAModalPage());
  }
  ASSERT_EQ(desktop_.messages.size(), 2u);
  EXPECT_EQ(desktop_.messages[0].text, "The folder " + missing + " cannot be used: No such file or directory.");
  EXPECT_EQ(desktop_.messages[1].text, "The folder " + file + " cannot be used: Not a directory.");
  EXPECT_EQ(desktop_.messages[0].icon, app::MessageIcon::kWarning);

  single().txtSourceMailbox->setText(MakeFolder("mail"));
  EXPECT_TRUE(NextOpensAModalPage());
}

TEST_F(SinglePageTest, ClosingThePageDiscardsThePick) {
  wizard_->Run();
  desktop_.folder_picks = {"/data/mail"};
  InsideNextModal pick_and_close([&] {
    single().CmdAddFolder->click();
    single().close();
  });
  wizard_->Start().CmdNext->click();

  QString shown_text = "not shown";
  bool next_enabled = true;
  InsideNextModal look([&] {
    shown_text = single().txtSourceMailbox->text();
    next_enabled = single().CmdNext->isEnabled();
    single().close();
  });
  wizard_->Start().CmdNext->click();
  EXPECT_EQ(shown_text, "");
  EXPECT_FALSE(next_enabled);
}

}  // namespace
}  // namespace baleport::testing
