#include "wizard/frm_multiple.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "app/fonts.h"
#include "app/icons.h"
#include "support/pending_events.h"
#include "wizard/wizard.h"

namespace baleport {

using app::kLightGrey;
using app::kLightYellow;
using app::kWhite;

frmMultiple::frmMultiple(Wizard& wizard)
    : PageWindow(QStringLiteral("Multiple Folder Conversion Mode"), QSize(706, 472),
                 TitleButtons::kMinimizeAndClose),
      logic_(wizard.pages().multiple) {
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

  connect(CmdAddFolder, &QPushButton::clicked, this, [this] { logic_.CmdAddFolder_Click(); });
  connect(chkSelectAll, &QCheckBox::toggled, this, [this](bool on) { logic_.chkSelectAll_Click(on); });
  connect(lv, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* row, int column) {
    if (column == 0) logic_.lv_ItemCheck(lv->indexOfTopLevelItem(row), row->checkState(0) == Qt::Checked);
  });
  connect(txtOutputFolder, &QLineEdit::textChanged, this,
          [this](const QString& text) { logic_.txtOutputFolder_Change(text.toStdString()); });
  connect(cmdChange, &QPushButton::clicked, this, [this] { logic_.cmdChange_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { logic_.CmdNext_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { logic_.cmdBack_Click(); });
  connect(lblSelectRootFolder, &app::LinkLabel::clicked, this,
          [this] { logic_.lblSelectRootFolder_Click(); });
}

void frmMultiple::Form_Load() {
  logic_.Form_Load();
  CmdNext->setFocus();
}

bool frmMultiple::Form_Unload() { return logic_.Form_Unload(); }

void frmMultiple::Refresh() {
  const QSignalBlocker quiet_list(lv);
  const QSignalBlocker quiet_check_all(chkSelectAll);
  const std::vector<ListRow>& rows = logic_.rows();
  if (lv->topLevelItemCount() != static_cast<int>(rows.size()) ||
      (!rows.empty() && lv->topLevelItem(0)->text(1).toStdString() != rows.front().folder)) {
    lv->clear();
    for (const ListRow& shown : rows) {
      ProcessPendingEvents();
      auto* row = new QTreeWidgetItem(lv);
      row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      row->setText(0, QString::fromStdString(shown.user));
      row->setIcon(0, app::PersonImage());
      row->setText(1, QString::fromStdString(shown.folder));
      row->setIcon(1, app::FolderImage());
      row->setToolTip(1, row->text(1));
    }
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* row = lv->topLevelItem(static_cast<int>(i));
    row->setCheckState(0, rows[i].checked ? Qt::Checked : Qt::Unchecked);
    if (rows[i].taken && row->foreground(0).color() != QColor(0, 128, 0)) {
      row->setForeground(0, QColor(0, 128, 0));
      row->setIcon(0, QIcon(row->icon(0).pixmap(16, QIcon::Disabled)));
    }
  }
  if (logic_.alternateColours() && !lv->alternatingRowColors()) {
    QPalette palette = lv->palette();
    palette.setColor(QPalette::Base, kWhite);
    palette.setColor(QPalette::AlternateBase, kLightYellow);
    lv->setPalette(palette);
  }
  lv->setAlternatingRowColors(logic_.alternateColours());
  chkSelectAll->setChecked(logic_.checkAll());
  chkSelectAll->setEnabled(logic_.checkAllEnabled());
  chkSelectAll->setText(QString::fromStdString(logic_.checkAllCaption()));
  const QString output = QString::fromStdString(logic_.outputFolder());
  if (txtOutputFolder->text() != output) txtOutputFolder->setText(output);
}

}  // namespace baleport
