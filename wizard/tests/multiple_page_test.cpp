// The multiple-folder page: filling the list from a real folder tree, Check All, the
// alternating rows, the output folder and the "No Folders Selected !" message.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <vector>

#include "wizard/frm_multiple.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

class MultiplePageTest : public WizardTest {
 protected:
  frmMultiple& multiple() { return wizard_->Multiple(); }

  void PickRoot(const QString& root) {
    desktop_.folder_picks.push_back(root);
    multiple().CmdAddFolder->click();
  }

  // A root with three subfolders, one of them hidden, a deeper folder and a file.
  QString MakeTree() {
    MakeFolder("root/beta");
    MakeFolder("root/Alpha/Inner");
    MakeFolder("root/.gamma");
    QFile file(root_.filePath("root/note.msg"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return MakeFolder("root");
  }

  QStringList Column(int column) {
    QStringList texts;
    for (int i = 0; i < multiple().lv->topLevelItemCount(); ++i) {
      texts << multiple().lv->topLevelItem(i)->text(column);
    }
    return texts;
  }

  int CheckedRows() {
    int checked = 0;
    for (int i = 0; i < multiple().lv->topLevelItemCount(); ++i) {
      checked += multiple().lv->topLevelItem(i)->checkState(0) == Qt::Checked;
    }
    return checked;
  }
};

TEST_F(MultiplePageTest, LoadsEmptyWithCheckAllDisabledAndTheDesktopAsOutput) {
  EXPECT_EQ(multiple().lv->topLevelItemCount(), 0);
  EXPECT_FALSE(multiple().chkSelectAll->isChecked());
  EXPECT_FALSE(multiple().chkSelectAll->isEnabled());
  EXPECT_EQ(multiple().chkSelectAll->text(), "Check All");
  EXPECT_EQ(multiple().txtOutputFolder->text(), frmMultiple::SpecialFolderPath());
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
TEST_F(MultiplePageTest, TheDefaultOutputIsTheXdgDesktopOrElseHome) {
  ScopedEnvironment environment;
  const QString home = MakeFolder("home");
  environment.Set("HOME", home);
  environment.Set("XDG_CONFIG_HOME", MakeFolder("home/.config"));
  EXPECT_EQ(frmMultiple::SpecialFolderPath(), home);

  QFile user_dirs(root_.filePath("home/.config/user-dirs.dirs"));
  ASSERT_TRUE(user_dirs.open(QIODevice::WriteOnly));
  user_dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  user_dirs.close();
  EXPECT_EQ(frmMultiple::SpecialFolderPath(), home) << "named, but not there";
  const QString desktop = MakeFolder("home/Schreibtisch");
  EXPECT_EQ(frmMultiple::SpecialFolderPath(), desktop);
}

TEST_F(MultiplePageTest, ListsTheImmediateSubfoldersOfTheRoot) {
  const QString root = MakeTree();
  PickRoot(root);
  EXPECT_EQ(desktop_.picker_titles, QStringList{"Choose Source Folder..."});
  const QString r = root + QDir::separator();
  EXPECT_EQ(Column(0), QStringList({".gamma", "Alpha", "beta"}));
  EXPECT_EQ(Column(1), QStringList({r + ".gamma", r + "Alpha", r + "beta"}));
  QTreeWidgetItem* row = multiple().lv->topLevelItem(1);
  EXPECT_EQ(row->toolTip(1), r + "Alpha");
  EXPECT_EQ(row->checkState(0), Qt::Unchecked);
  EXPECT_FALSE(row->icon(0).isNull());
  EXPECT_FALSE(row->icon(1).isNull());
  EXPECT_TRUE(multiple().chkSelectAll->isEnabled());

  ASSERT_EQ(wizard_->RowCount(), 3);
  row->setCheckState(0, Qt::Checked);
  const FolderRow selected = wizard_->Row(2);
  EXPECT_TRUE(selected.checked);
  EXPECT_EQ(selected.name, "Alpha");
  EXPECT_EQ(selected.path, (r + "Alpha").toStdString());
}

TEST_F(MultiplePageTest, ARootEndingInASeparatorGetsNoSecondOne) {
  PickRoot(QDir::rootPath());  // the file system's root, like a drive root
  QStringList expected;
  for (const QString& name : QDir::root().entryList(
           QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
           QDir::Name | QDir::IgnoreCase)) {
    expected << QDir::toNativeSeparators(QDir::rootPath()) + name;
  }
  ASSERT_FALSE(expected.isEmpty());
  EXPECT_EQ(Column(1), expected);

  MakeFolder("root/Mail");
  PickRoot(MakeFolder("root") + QDir::separator());
  EXPECT_EQ(Column(1), QStringList{QDir::toNativeSeparators(root_.filePath("root/Mail"))});
}

TEST_F(MultiplePageTest, ACancelledPickChangesNothing) {
  PickRoot(MakeTree());
  multiple().lv->topLevelItem(0)->setCheckState(0, Qt::Checked);
  PickRoot("");
  EXPECT_EQ(Column(0).size(), 3);
  EXPECT_EQ(CheckedRows(), 1);
}

TEST_F(MultiplePageTest, CheckAllTicksEveryRowAndTogglesItsCaption) {
  PickRoot(MakeTree());
  multiple().chkSelectAll->click();
  EXPECT_EQ(CheckedRows(), 3);
  EXPECT_EQ(multiple().chkSelectAll->text(), "Uncheck All");
  multiple().chkSelectAll->click();
  EXPECT_EQ(CheckedRows(), 0);
  EXPECT_EQ(multiple().chkSelectAll->text(), "Check All");
}

TEST_F(MultiplePageTest, ANewRootClearsTheTicksAndCheckAll) {
  const QString tree = MakeTree();
  PickRoot(tree);
  multiple().chkSelectAll->click();
  PickRoot(tree);
  EXPECT_EQ(CheckedRows(), 0);
  EXPECT_FALSE(multiple().chkSelectAll->isChecked());
  EXPECT_EQ(multiple().chkSelectAll->text(), "Check All");

  // With no rows to step through, the caption is left as it was.
  multiple().chkSelectAll->click();
  PickRoot(MakeFolder("empty"));
  EXPECT_EQ(multiple().lv->topLevelItemCount(), 0);
  EXPECT_FALSE(multiple().chkSelectAll->isChecked());
  EXPECT_TRUE(multiple().chkSelectAll->isEnabled());
  EXPECT_EQ(multiple().chkSelectAll->text(), "Uncheck All");
}

TEST_F(MultiplePageTest, NextWithoutATickedRowSaysNoFoldersSelected) {
  PickRoot(MakeFolder("empty"));
  multiple().CmdNext->click();
  PickRoot(MakeTree());
  multiple().CmdNext->click();
  ASSERT_EQ(desktop_.messages.size(), 2u);
  for (const app::MessageRequest& message : desktop_.messages) {
    EXPECT_EQ(message.text, "No Folders Selected !\r\nPlease Select alteast one folder to convert.");
    EXPECT_EQ(message.title, "Select Folder(s) to Convert");
    EXPECT_EQ(message.icon, app::MessageIcon::kInformation);
    EXPECT_EQ(message.buttons, app::MessageButtons::kOk);
  }
  EXPECT_EQ(Column(0).size(), 3);
}

TEST_F(MultiplePageTest, ATypedOutputFolderThatIsNotThereIsNamedAtNext) {
  PickRoot(MakeTree());
  multiple().lv->topLevelItem(0)->setCheckState(0, Qt::Checked);
  const QString missing = QDir::toNativeSeparators(root_.filePath("gone"));
  multiple().txtOutputFolder->setText(missing);
  multiple().CmdNext->click();  // opens no page: the click would not return until it closed
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text,
            "The folder " + missing + " cannot be used: No such file or directory.");
  EXPECT_EQ(desktop_.messages[0].icon, app::MessageIcon::kWarning);
}

TEST_F(MultiplePageTest, RowsAlternateWhiteAndLightYellow) {
  for (const char* name : {"a", "b", "c", "d", "e"}) MakeFolder(QString("five/") + name);
  PickRoot(MakeFolder("five"));
  QTreeWidget* lv = multiple().lv;
  multiple().show();
  const QImage shown = lv->viewport()->grab().toImage();
  const int x = lv->viewport()->width() - 4;  // beyond any text
  std::vector<std::string> colours;
  for (int i = 0; i < lv->topLevelItemCount(); ++i) {
    const int y = lv->visualItemRect(lv->topLevelItem(i)).center().y();
    colours.push_back(shown.pixelColor(x, y).name().toStdString());
  }
  const std::string white = "#ffffff", yellow = "#ffffc0";
  EXPECT_EQ(colours, (std::vector<std::string>{white, yellow, white, yellow, white}));
  multiple().hide();
}

TEST_F(MultiplePageTest, ChangeSetsTheOutputFolderUnlessCancelled) {
  desktop_.folder_picks = {"", "/srv/out"};
  const QString desktop_folder = multiple().txtOutputFolder->text();
  multiple().cmdChange->click();
  EXPECT_EQ(multiple().txtOutputFolder->text(), desktop_folder);
  multiple().cmdChange->click();
  EXPECT_EQ(multiple().txtOutputFolder->text(), "/srv/out");
  EXPECT_EQ(wizard_->OutputFolder(), "/srv/out");
  EXPECT_EQ(desktop_.picker_titles, QStringList({"Choose Output Folder...", "Choose Output Folder..."}));
}

TEST_F(MultiplePageTest, AMissingRootIsReportedAndTheListKept) {
  PickRoot(MakeTree());
  const QString missing = root_.filePath("gone");
  PickRoot(missing);
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_TRUE(desktop_.messages[0].text.contains(missing)) << desktop_.messages[0].text.toStdString();
  EXPECT_EQ(Column(0).size(), 3);
}

}  // namespace
}  // namespace baleport::testing
