// baleport-screenshots FOLDER: renders each wizard page, as a user would see it at that
// step, to FOLDER/<page>.png at the page's client size. Runs without a display.
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWidget>
#include <cstdio>

#include "app/testing/scripted_desktop.h"
#include "app/testing/test_application.h"
#include "conversion/testing/fake_store.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/wizard.h"

namespace {

bool Save(QWidget& page, const QDir& folder, const QString& name) {
  page.show();
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  if (!page.grab().save(path)) {
    std::fprintf(stderr, "baleport-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s (%dx%d)\n", qPrintable(path), page.width(), page.height());
  page.hide();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: baleport-screenshots FOLDER\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  baleport::app::testing::EnsureApplication();
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "baleport-screenshots: cannot create %s\n", argv[1]);
    return 1;
  }

  // A small mailbox tree for the folder list.
  QTemporaryDir mail(QDir::tempPath() + QStringLiteral("/Mailboxes-XXXXXX"));
  for (const char* name : {"Accounts", "Management", "Sales", "Support", "Archive 2019"}) {
    QDir(mail.path()).mkpath(QString::fromLatin1(name));
  }

  baleport::app::testing::ScriptedDesktop desktop;
  baleport::FakeStoreLibrary no_conversion;
  baleport::Wizard wizard(desktop, no_conversion);
  bool ok = Save(wizard.Start(), folder, QStringLiteral("frmStart"));

  baleport::frmSingle& single = wizard.Single();
  desktop.folder_picks.push_back(QDir::toNativeSeparators(mail.filePath(QStringLiteral("Sales"))));
  single.CmdAddFolder->click();
  ok = Save(single, folder, QStringLiteral("frmSingle")) && ok;

  baleport::frmMultiple& multiple = wizard.Multiple();
  desktop.folder_picks.push_back(QDir::toNativeSeparators(mail.path()));
  multiple.CmdAddFolder->click();
  multiple.lv->topLevelItem(1)->setCheckState(0, Qt::Checked);
  multiple.lv->topLevelItem(3)->setCheckState(0, Qt::Checked);
  ok = Save(multiple, folder, QStringLiteral("frmMultiple")) && ok;

  ok = Save(wizard.MigateAll(), folder, QStringLiteral("frmMigateAll")) && ok;
  return ok ? 0 : 1;
}
