// Skip, Stop and the close box clicked while a run goes, through the pages, with scripted
// dialogs, into the in-memory store (real stores: real_store_test.cpp).
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "app/event_pump.h"
#include "support/pending_events.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

// Clicks `button` (or does `action` instead) at the first of the run's yields at which the
// user could click it: the button is shown and enabled.
class ClickDuringRun {
 public:
  explicit ClickDuringRun(QPushButton* button, std::function<void()> action = {}) {
    SetPendingEventsHandler([this, button, action] {
      if (!clicked_ && button->isVisible() && button->isEnabled()) {
        clicked_ = true;
        action ? action() : button->click();
      }
      QCoreApplication::processEvents();
    });
  }
  ~ClickDuringRun() { app::InstallEventPump(); }
  bool clicked() const { return clicked_; }

 private:
  bool clicked_ = false;
};

class ConversionRunTest : public WizardTest {
 protected:
  void MakeMessages(const QString& folder, int count) {
    MakeFolder(folder);
    for (int i = 1; i <= count; ++i) {
      QFile file(root_.filePath(folder + QString("/message %1.msg").arg(i)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }

  // The messages imported from `folder` itself.
  int Imports(const QString& folder) {
    const std::string prefix = "Import " + root_.filePath(folder).toStdString() + "/";
    return static_cast<int>(std::count_if(
        library_.journal.begin(), library_.journal.end(), [&](const std::string& line) {
          return line.rfind(prefix, 0) == 0 && line.find('/', prefix.size()) == std::string::npos;
        }));
  }

  // From the start page to the multiple-folder page, with `root` listed, its first two rows
  // ticked, and the output folder set.
  frmMultiple& ListedAndTicked(const QString& root) {
    wizard_->Run();
    wizard_->Start().OptMultiple->click();
    wizard_->Start().CmdNext->click();
    frmMultiple& multiple = wizard_->Multiple();
    desktop_.folder_picks.push_back(MakeFolder(root));
    multiple.CmdAddFolder->click();
    for (int row : {0, 1}) multiple.lv->topLevelItem(row)->setCheckState(0, Qt::Checked);
    multiple.txtOutputFolder->setText(MakeFolder("out"));
    return multiple;
  }

  // "&Next >" on the multiple-folder page, then "Sta&rt Conversion"; tells whether the page
  // was still open after the run.
  bool RunFromMultiplePage(frmMultiple& multiple) {
    bool open_after_run = false;
    InsideNextModal on_conversion([&] {
      frmMigateAll& page = wizard_->MigateAll();
      page.CmdStartConversion->click();
      open_after_run = page.isVisible();
      page.close();
    });
    multiple.CmdNext->click();
    EXPECT_TRUE(on_conversion.ran());
    return open_after_run;
  }

  std::string Store(const QString& name) { return root_.filePath("out/" + name + ".pst").toStdString(); }

  const app::MessageRequest& LastMessage() { return desktop_.messages.back(); }
};

// Skip, Stop and the close box clicked while the run goes: each asks its question and the
// answer reaches the run; the close box is Stop only while Stop can be clicked. What each
// answer does to the run is the conversion page's (conversion/tests).
TEST_F(ConversionRunTest, SkipStopAndTheCloseBoxReachTheRun) {
  using app::MessageAnswer;
  struct Case {
    const char* name;
    bool skip;
    bool closeBox;
    MessageAnswer answer;
    const char* question;
    bool openAfterRun;  // Yes to Stop closes the page
    bool secondFolder;  // converted
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Skip, Yes", true, false, MessageAnswer::kYes, "Confirm Skip", true, true},
           {"Stop, Yes", false, false, MessageAnswer::kYes, "Confirm Stop", false, false},
           {"close box, No", false, true, MessageAnswer::kNo, "Confirm Stop", true, true},
           {"close box, Yes", false, true, MessageAnswer::kYes, "Confirm Stop", false, false}}) {
    SCOPED_TRACE(c.name);
    library_.files.clear();
    library_.journal.clear();
    desktop_.messages.clear();
    MakeMessages("root/A", 3);
    MakeMessages("root/B", 2);
    frmMultiple& multiple = ListedAndTicked("root");
    desktop_.answers = {c.answer};
    frmMigateAll& page = wizard_->MigateAll();
    ClickDuringRun click(c.skip ? page.CmdSkip : page.CmdStopMigration,
                         c.closeBox ? std::function<void()>([&page] { page.close(); }) : std::function<void()>());
    EXPECT_EQ(RunFromMultiplePage(multiple), c.openAfterRun);
    ASSERT_TRUE(click.clicked());
    EXPECT_EQ(desktop_.messages[0].title, c.question);
    EXPECT_EQ(Imports("root/A") < 3, c.answer == MessageAnswer::kYes);
    EXPECT_EQ(library_.files.count(Store("B")) == 1, c.secondFolder);
    EXPECT_EQ(LastMessage().icon, app::MessageIcon::kInformation);  // the completion box still comes
    EXPECT_TRUE(multiple.isVisible());
    multiple.close();
  }
}

}  // namespace
}  // namespace baleport::testing
