#include "wizard/frm_multiple.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>

#include "app/addresses.h"
#include "app/fonts.h"
#include "app/icons.h"
#include "support/path_separator.h"
#include "support/pending_events.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_start.h"
#include "wizard/subfolders.h"
#include "wizard/typed_folder.h"
#include "wizard/wizard.h"

namespace baleport {

using app::kLightGrey;
using app::kLightYellow;
using app::kWhite;

frmMultiple::frmMultiple(Wizard& wizard)
    : PageWindow(QStringLiteral("Multiple Folder Conversion Mode"), QSize(706, 472),
                 TitleButtons::kMinimizeAndClose),
      wizard_(wizard) {
  setWindowIcon(app::DriveArrowIcon());
  setFont(app::Tahoma(9));

  app::AddHeaderBand(this, QStringLiteral("Multiple Folder Conversion"), QColor(128, 128, 128),
                     QStringLiteral("Convert one by one all folders to respective Outlook .pst files"));

  app::AddPicture(this, app::FolderImage(), QPoint(16, 72));
  app::AddLabel(this,
                QStringLiteral("Select top folder having all sub-folders inside it containing .msg files"),
                QRect(40, 72, 385, 24), app::Tahoma(9));
  CmdAddFolder = new QPushButton(QStringLiteral("Select..."), this);
  CmdAddFolder->setGeometry(448, 67, 97, 26);
  lblSelectRootFolder = new app::LinkLabel(this, QRect(552, 72, 33, 16), app::Tahoma(8.25));

  auto* frame = new QGroupBox(QStringLiteral(" Select Folders"), this);
  frame->setGeometry(16, 104, 673, 273);
  frame->setFont(app::Tahoma(9, true));
  chkSelectAll = new QCheckBox(QStringLiteral("Check All"), frame);
  chkSelectAll->setGeometry(23, 24, 201, 17);
  chkSelectAll->setFont(app::Tahoma(9));
  lv = new QTreeWidget(frame);
  lv->setGeometry(16, 48, 641, 209);
  lv->setFont(app::Tahoma(9));
  lv->setColumnCount(2);
  lv->setHeaderLabels({QStringLiteral("User"), QStringLiteral("Mailbox Folder")});
  lv->header()->setStretchLastSection(false);
  lv->setColumnWidth(0, 200);
  lv->setColumnWidth(1, 440);
  lv->setRootIsDecorated(false);
  lv->setUniformRowHeights(true);
  lv->setEditTriggers(QAbstractItemView::NoEditTriggers);

  app::AddLabel(this, QStringLiteral("Output Folder:"), QRect(16, 392, 105, 23), app::Tahoma(9));
  txtOutputFolder = new QLineEdit(this);
  txtOutputFolder->setGeometry(112, 384, 481, 27);
  cmdChange = new QPushButton(QStringLiteral("Change..."), this);
  cmdChange->setGeometry(600, 384, 89, 26);

  new app::Shape(this, QRect(0, 432, 713, 57), kWhite, kLightGrey);
  cmdBack = new QPushButton(QStringLiteral("< Bac&k"), this);
  cmdBack->setGeometry(472, 440, 89, 26);
  cmdBack->setFont(app::Tahoma(8.25));
  CmdNext = new QPushButton(QStringLiteral("&Next >"), this);
  CmdNext->setGeometry(576, 440, 113, 26);
  CmdNext->setFont(app::Tahoma(8.25));

  setTabOrder(CmdNext, lv);
  setTabOrder(lv, CmdAddFolder);
  setTabOrder(CmdAddFolder, chkSelectAll);
  setTabOrder(chkSelectAll, cmdChange);
  setTabOrder(cmdChange, txtOutputFolder);
  setTabOrder(txtOutputFolder, cmdBack);

  connect(CmdAddFolder, &QPushButton::clicked, this, &frmMultiple::CmdAddFolder_Click);
  // toggled, not clicked: a change made by the page runs the handler too.
  connect(chkSelectAll, &QCheckBox::toggled, this, &frmMultiple::chkSelectAll_Click);
  connect(cmdChange, &QPushButton::clicked, this, &frmMultiple::cmdChange_Click);
  connect(CmdNext, &QPushButton::clicked, this, &frmMultiple::CmdNext_Click);
  connect(cmdBack, &QPushButton::clicked, this, &frmMultiple::cmdBack_Click);
  connect(lblSelectRootFolder, &app::LinkLabel::clicked, this,
          &frmMultiple::lblSelectRootFolder_Click);
}

void frmMultiple::Form_Load() {
  lv->clear();
  lv->setAlternatingRowColors(false);
  {
    const QSignalBlocker quiet(chkSelectAll);
    chkSelectAll->setChecked(false);
  }
  chkSelectAll->setText(QStringLiteral("Check All"));
  txtOutputFolder->setText(SpecialFolderPath());
  chkSelectAll->setEnabled(false);
  CmdNext->setFocus();
}

bool frmMultiple::Form_Unload() {
  cmdBack_Click();
  return false;
}

QString frmMultiple::SpecialFolderPath() {
  // Qt reads the desktop the user's XDG user dirs name, and names ~/Desktop when they name
  // none, which many systems do not have.
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return QDir::toNativeSeparators(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
}

void frmMultiple::CmdAddFolder_Click() {
  QString root =
      wizard_.desktop().BrowseForFolder(this, QStringLiteral("Choose Source Folder..."));
  if (root.isEmpty()) return;
  if (!root.endsWith(QChar(kPathSeparator))) root += QChar(kPathSeparator);
  const Result<std::vector<Subfolder>> subfolders = ListSubfolders(root);
  if (!subfolders.ok()) {
    wizard_.ShowWarning(this, QString::fromStdString(subfolders.status().message()));
    return;
  }

  lv->clear();
  lv->update();
  for (const Subfolder& subfolder : *subfolders) {
    ProcessPendingEvents();
    auto* row = new QTreeWidgetItem(lv);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setText(0, subfolder.name);
    row->setIcon(0, app::PersonImage());
    row->setCheckState(0, Qt::Unchecked);
    const QString shown_path = root + subfolder.name;
    row->setText(1, shown_path);
    row->setIcon(1, app::FolderImage());
    row->setToolTip(1, shown_path);
    lv->update();
  }
  AltLVBackground(lv, kWhite, kLightYellow);
  chkSelectAll->setChecked(false);
  chkSelectAll->setEnabled(true);
}

void frmMultiple::chkSelectAll_Click() {
  const bool check = chkSelectAll->isChecked();
  // The caption is set within each row's step, so an empty list leaves it as it was.
  for (int i = 0; i < lv->topLevelItemCount(); ++i) {
    ProcessPendingEvents();
    lv->topLevelItem(i)->setCheckState(0, check ? Qt::Checked : Qt::Unchecked);
    chkSelectAll->setText(check ? QStringLiteral("Uncheck All") : QStringLiteral("Check All"));
  }
}

void frmMultiple::cmdChange_Click() {
  const QString folder =
      wizard_.desktop().BrowseForFolder(this, QStringLiteral("Choose Output Folder..."));
  if (!folder.isEmpty()) txtOutputFolder->setText(folder);
}

void frmMultiple::CmdNext_Click() {
  bool any_checked = false;
  for (int i = 0; i < lv->topLevelItemCount() && !any_checked; ++i) {
    ProcessPendingEvents();
    any_checked = lv->topLevelItem(i)->checkState(0) == Qt::Checked;
  }
  if (any_checked) {
    if (const QString problem = TypedFolderProblem(txtOutputFolder->text().trimmed()); !problem.isEmpty()) {
      wizard_.ShowWarning(this, problem);
      return;
    }
    wizard_.MigateAll().ShowModal(this);
    return;
  }
  app::MessageRequest none;
  none.text = QStringLiteral("No Folders Selected !\r\nPlease Select alteast one folder to convert.");
  none.title = QStringLiteral("Select Folder(s) to Convert");
  none.icon = app::MessageIcon::kInformation;
  wizard_.desktop().ShowMessage(this, none);
}

void frmMultiple::cmdBack_Click() {
  wizard_.Start().ShowModeless();
  hide();
}

void frmMultiple::lblSelectRootFolder_Click() {
  wizard_.desktop().OpenDocument(app::HelpPageAddress() + QStringLiteral("#select-root-folder"));
}

void frmMultiple::AltLVBackground(QTreeWidget* list, QColor first, QColor second) {
  if (list->topLevelItemCount() == 0) return;
  ProcessPendingEvents();
  QPalette palette = list->palette();
  palette.setColor(QPalette::Base, first);
  palette.setColor(QPalette::AlternateBase, second);
  list->setPalette(palette);
  list->setAlternatingRowColors(true);
}

void frmMultiple::MarkRowTaken(int position) {
  QTreeWidgetItem* row = lv->topLevelItem(position - 1);
  if (!row) return;
  row->setForeground(0, QColor(0, 128, 0));
  row->setIcon(0, QIcon(row->icon(0).pixmap(16, QIcon::Disabled)));
}

}  // namespace baleport
