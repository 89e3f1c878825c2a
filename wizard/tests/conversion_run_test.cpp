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

TEST_F(ConversionRunTest, SkipAsksAndYesGoesOnWithTheNextFolder) {
  for (const app::MessageAnswer answer : {app::MessageAnswer::kNo, app::MessageAnswer::kYes}) {
    SCOPED_TRACE(answer == app::MessageAnswer::kYes ? "Yes" : "No");
    library_.journal.clear();
    desktop_.messages.clear();
    MakeMessages("root/A", 3);
    MakeMessages("root/B", 2);
    frmMultiple& multiple = ListedAndTicked("root");
    desktop_.answers = {answer};
    ClickDuringRun skip(wizard_->MigateAll().CmdSkip);
    EXPECT_TRUE(RunFromMultiplePage(multiple));
    ASSERT_TRUE(skip.clicked());
    EXPECT_EQ(desktop_.messages[0].title, "Confirm Skip");
    EXPECT_EQ(Imports("root/A") == 3, answer == app::MessageAnswer::kNo);
    EXPECT_EQ(Imports("root/B"), 2);
    multiple.close();
  }
}

// Stop and the close box during a run ask the same question; Yes ends the run there and
// closes the page, No lets it finish.
TEST_F(ConversionRunTest, StopAndTheCloseBoxAskAndYesEndsTheRun) {
  for (const bool close_box : {false, true}) {
    for (const app::MessageAnswer answer : {app::MessageAnswer::kNo, app::MessageAnswer::kYes}) {
      SCOPED_TRACE(std::string(close_box ? "close box, " : "Stop, ") +
                   (answer == app::MessageAnswer::kYes ? "Yes" : "No"));
      library_.files.clear();
      desktop_.messages.clear();
      MakeMessages("root/A", 3);
      MakeMessages("root/B", 1);
      frmMultiple& multiple = ListedAndTicked("root");
      desktop_.answers = {answer};
      frmMigateAll& page = wizard_->MigateAll();
      ClickDuringRun stop(page.CmdStopMigration, close_box ? std::function<void()>([&page] { page.close(); })
                                                           : std::function<void()>());
      const bool open_after_run = RunFromMultiplePage(multiple);

      ASSERT_TRUE(stop.clicked());
      EXPECT_EQ(desktop_.messages[0].title, "Confirm Stop");
      EXPECT_EQ(open_after_run, answer == app::MessageAnswer::kNo);
      EXPECT_EQ(library_.files.count(Store("B")), answer == app::MessageAnswer::kNo ? 1u : 0u);
      EXPECT_EQ(LastMessage().icon, app::MessageIcon::kInformation);  // the completion box still comes
      EXPECT_TRUE(multiple.isVisible());
      multiple.close();
    }
  }
}

}  // namespace
}  // namespace baleport::testing
