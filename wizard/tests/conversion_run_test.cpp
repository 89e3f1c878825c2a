// Skip, Stop and the close box clicked while a run goes, through the pages, with scripted
// dialogs, into the in-memory store (the real store: real_store_test.cpp). What each answer
// does to the run is the conversion page's (conversion/tests); here, that it reaches the run.
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "app/event_pump.h"
#include "support/pending_events.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::MessageAnswer;
using app::testing::InsideNextModal;
using ConversionRunTest = WizardTest;

// The close box is Stop only while Stop can be clicked.
TEST_F(ConversionRunTest, SkipStopAndTheCloseBoxReachTheRun) {
  struct Case {
    const char* name;
    bool skip;
    bool closeBox;
    MessageAnswer answer;
    const char* question;
    bool openAfterRun;  // Yes to Stop closes the page
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Skip, Yes", true, false, MessageAnswer::kYes, "Confirm Skip", true},
           {"Stop, Yes", false, false, MessageAnswer::kYes, "Confirm Stop", false},
           {"close box, No", false, true, MessageAnswer::kNo, "Confirm Stop", true},
           {"close box, Yes", false, true, MessageAnswer::kYes, "Confirm Stop", false}}) {
    SCOPED_TRACE(c.name);
    library_.files.clear();
    desktop_.messages.clear();
    for (const char* file : {"A/1", "A/2", "A/3", "B/1", "B/2"}) {
      MakeFolder(QString("root/") + file[0]);
      ASSERT_TRUE(QFile(root_.filePath(QString("root/") + file + ".msg")).open(QIODevice::WriteOnly));
    }
    // The multiple-folder page with both rows ticked, then Next and Start.
    wizard_->Run();
    wizard_->Start().OptMultiple->click();
    wizard_->Start().CmdNext->click();
    frmMultiple& multiple = wizard_->Multiple();
    desktop_.folder_picks.push_back(MakeFolder("root"));
    multiple.CmdAddFolder->click();
    for (int row : {0, 1}) multiple.lv->topLevelItem(row)->setCheckState(0, Qt::Checked);
    multiple.txtOutputFolder->setText(MakeFolder("out"));
    desktop_.answers = {c.answer};

    frmMigateAll& page = wizard_->MigateAll();
    QPushButton* button = c.skip ? page.CmdSkip : page.CmdStopMigration;
    bool clicked = false;
    SetPendingEventsHandler([&] {
      if (!clicked && button->isVisible() && button->isEnabled()) {
        clicked = true;
        c.closeBox ? static_cast<void>(page.close()) : button->click();
      }
      QCoreApplication::processEvents();
    });
    bool openAfterRun = false;
    InsideNextModal onConversion([&] {
      page.CmdStartConversion->click();
      openAfterRun = page.isVisible();
      page.close();
    });
    multiple.CmdNext->click();
    app::InstallEventPump();
    ASSERT_TRUE(onConversion.ran());
    ASSERT_TRUE(clicked);
    EXPECT_EQ(openAfterRun, c.openAfterRun);
    EXPECT_EQ(desktop_.messages[0].title, c.question);
    const auto store = [this](const char* name) { return root_.filePath(QString("out/") + name + ".pst").toStdString(); };
    EXPECT_EQ(library_.ItemSources(store("A"), "").size() < 3, c.answer == MessageAnswer::kYes);
    EXPECT_EQ(library_.files.count(store("B")) == 1, c.skip || c.answer == MessageAnswer::kNo);
    EXPECT_EQ(desktop_.messages.back().icon, app::MessageIcon::kInformation);  // the completion box still comes
    EXPECT_TRUE(multiple.isVisible());
    multiple.close();
  }
}

}  // namespace
}  // namespace baleport::testing
