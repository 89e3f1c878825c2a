// The wizard's end-to-end run: the bundled example mailbox through the multiple-folder page into
// real stores, which the checker and every independent reader then open. What each click does
// to a run is the conversion page's (conversion/tests); here, that the Qt pages reach it.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/event_pump.h"
#include "conversion/store/pst_store_library.h"
#include "pst/tests/store_testing.h"
#include "support/pending_events.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_start.h"
#include "wizard/tests/wizard_fixture.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

class RealStoreTest : public WizardTestOver<PstStoreLibrary> {
 protected:
  // "Sta&rt Conversion" on the conversion page that `next` opens, with "Skip messages
  // already in the store" ticked as asked; the page is closed after.
  void ConvertFrom(QPushButton* next, bool skipExisting) {
    InsideNextModal on_conversion([&] {
      wizard_->MigateAll().ChkSkipExisting->setChecked(skipExisting);
      wizard_->MigateAll().CmdStartConversion->click();
      wizard_->MigateAll().close();
    });
    next->click();
    EXPECT_TRUE(on_conversion.ran());
  }
  std::string Store(const char* name) { return root_.filePath(QString(name) + ".pst").toStdString(); }
};

// The conversion page's close box is Stop while a run goes: Yes ends it in the first folder.
// Run again with the skip choice, every message is in its store once.
TEST_F(RealStoreTest, MultipleFolderRunStoppedByTheCloseBoxThenRunAgainSkippingWhatIsThere) {
  wizard_->Run();
  wizard_->Start().OptMultiple->click();
  wizard_->Start().CmdNext->click();
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.folder_picks = {QStringLiteral(BALEPORT_EXAMPLE_MAILBOX)};
  multiple.CmdAddFolder->click();
  multiple.chkSelectAll->click();
  multiple.txtOutputFolder->setText(root_.path());

  frmMigateAll& page = wizard_->MigateAll();
  desktop_.answers = {app::MessageAnswer::kYes};
  bool closed = false;
  SetPendingEventsHandler([&] {
    if (!closed && page.CmdStopMigration->isVisible() && page.CmdStopMigration->isEnabled()) {
      closed = true;
      page.close();
    }
    QCoreApplication::processEvents();
  });
  ConvertFrom(multiple.CmdNext, false);
  app::InstallEventPump();
  ASSERT_TRUE(closed);
  EXPECT_EQ(desktop_.messages.front().title, "Confirm Stop");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Store("Sent")))) << "the run went on after Stop";

  ConvertFrom(multiple.CmdNext, true);
  EXPECT_EQ(desktop_.messages.back().text,
            "All Folders Converted Successfully.\r\nOpen Converted PST file(s) in Outlook to View Individual files.");
  for (const auto& [name, count] : {std::pair{"Inbox", 3u}, {"Projects", 2u}, {"Sent", 3u}}) {
    EXPECT_EQ(pst::testing::VerifiedMessageCount(Store(name)), count) << name;
  }
}

}  // namespace
}  // namespace baleport::testing
