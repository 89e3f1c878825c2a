// A single-folder conversion of the bundled example mailbox through the pages into a
// real store, which the independent readers then open.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/testing/scripted_desktop.h"
#include "app/testing/test_application.h"
#include "conversion/store/pst_store_library.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/wizard.h"

namespace baleport::testing {
namespace {

using app::testing::InsideNextModal;

// Runs a reader on the store; the output, or a failure naming the reader.
QString Read(const QString& reader, const QStringList& arguments) {
  QProcess process;
  process.start(reader, arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    ADD_FAILURE() << reader.toStdString() << " failed: "
                  << process.readAllStandardError().toStdString();
  }
  return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(RealStoreTest, TheExampleMailboxBecomesAStoreTheReadersOpen) {
  app::testing::EnsureApplication();
  QTemporaryDir out;
  const QString store = out.filePath("Mailbox.pst");
  app::testing::ScriptedDesktop desktop;
  desktop.folder_picks = {QStringLiteral(BALEPORT_EXAMPLE_MAILBOX)};
  desktop.save_names = {store};
  PstStoreLibrary library;
  Wizard wizard(desktop, library);
  wizard.Run();

  InsideNextModal on_single([&] {
    frmSingle& single = wizard.Single();
    single.CmdAddFolder->click();
    InsideNextModal on_conversion([&] {
      wizard.MigateAll().CmdStartConversion->click();
      wizard.MigateAll().close();
    });
    single.CmdNext->click();
    single.close();
  });
  wizard.Start().CmdNext->click();
  ASSERT_TRUE(on_single.ran());
  ASSERT_FALSE(desktop.messages.empty());
  EXPECT_EQ(desktop.messages.back().text,
            "Messages Converted Successfully.\r\nOpen Converted PST file in Outlook to View Converted Messages.");
  EXPECT_TRUE(desktop.unscripted.isEmpty()) << desktop.unscripted.join(u'\n').toStdString();

  Read("pffinfo", {store});
  const QString exported = out.filePath("readpst");
  QDir().mkpath(exported);
  Read("readpst", {"-q", "-e", "-o", exported, store});
  int messages = 0;
  for (QDirIterator it(exported, {"*.eml"}, QDir::Files, QDirIterator::Subdirectories);
       it.hasNext(); it.next()) {
    ++messages;
  }
  EXPECT_EQ(messages, 8);  // every .msg file of the example
}

}  // namespace
}  // namespace baleport::testing
