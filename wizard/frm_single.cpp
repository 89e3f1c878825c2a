#include "wizard/frm_single.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/fonts.h"
#include "app/icons.h"
#include "wizard/wizard.h"

namespace baleport {

using app::kLightGrey;
using app::kLightYellow;
using app::kWhite;

frmSingle::frmSingle(Wizard& wizard)
    : PageWindow(QStringLiteral("Single Folder Conversion Mode"), QSize(579, 250),
                 TitleButtons::kCloseOnly),
      logic_(wizard.pages().single) {
  setWindowIcon(app::DriveArrowIcon());
  setFont(app::Tahoma(9));

  app::AddHeaderBand(this, QStringLiteral("Single Folder Conversion"), QColor(128, 128, 128),
                     QStringLiteral("Convert single folder of .msg messages to respective Outlook .pst file"));

  new app::Shape(this, QRect(16, 64, 545, 33), kLightYellow, kLightGrey);
  app::AddPicture(this, app::InformationImage(), QPoint(24, 72));
  app::AddLabel(this, QStringLiteral("Make sure, folder you are trying to select is not hidden"),
                QRect(48, 72, 473, 17), app::Tahoma(8.25), QColor(0, 0, 0), kLightYellow);

  app::AddPicture(this, app::FolderImage(), QPoint(16, 117));
  app::AddLabel(this, QStringLiteral("Select folder having all .msg message files"),
                QRect(40, 117, 361, 24), app::Tahoma(9));
  lblSingleMailbox = new app::LinkLabel(this, QRect(408, 119, 33, 16), app::Tahoma(9));

  txtSourceMailbox = new QLineEdit(this);
  txtSourceMailbox->setGeometry(16, 144, 441, 27);
  CmdAddFolder = new QPushButton(QStringLiteral("Select..."), this);
  CmdAddFolder->setGeometry(464, 144, 97, 26);

  new app::Shape(this, QRect(-8, 208, 713, 57), kWhite, kLightGrey);
  CmdNext = new QPushButton(QStringLiteral("&Next >"), this);
  CmdNext->setGeometry(448, 216, 113, 26);
  CmdNext->setFont(app::Tahoma(8.25));

  setTabOrder(CmdAddFolder, CmdNext);
  setTabOrder(CmdNext, txtSourceMailbox);

  connect(txtSourceMailbox, &QLineEdit::textChanged, this, [this](const QString& text) {
    logic_.txtSourceMailbox_Change(text.toStdString());
    CmdNext->setEnabled(logic_.nextEnabled());
  });
  connect(CmdAddFolder, &QPushButton::clicked, this, [this] { logic_.CmdAddFolder_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { logic_.CmdNext_Click(); });
  connect(lblSingleMailbox, &app::LinkLabel::clicked, this, [this] { logic_.lblSingleMailbox_Click(); });
}

void frmSingle::Form_Load() {
  logic_.Form_Load();
  CmdAddFolder->setFocus();
}

void frmSingle::Refresh() {
  const QString text = QString::fromStdString(logic_.sourceMailbox());
  if (txtSourceMailbox->text() != text) txtSourceMailbox->setText(text);
  CmdNext->setEnabled(logic_.nextEnabled());
}

}  // namespace baleport
