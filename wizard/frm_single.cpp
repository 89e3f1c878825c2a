#include "wizard/frm_single.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/addresses.h"
#include "app/fonts.h"
#include "app/icons.h"
#include "wizard/frm_migate_all.h"
#include "wizard/typed_folder.h"
#include "wizard/wizard.h"

namespace baleport {

using app::kLightGrey;
using app::kLightYellow;
using app::kWhite;

frmSingle::frmSingle(Wizard& wizard)
    : PageWindow(QStringLiteral("Single Folder Conversion Mode"), QSize(579, 250),
                 TitleButtons::kCloseOnly),
      wizard_(wizard) {
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

  // Typing a path is as good as picking one.
  connect(txtSourceMailbox, &QLineEdit::textChanged, this,
          [this](const QString& text) { CmdNext->setEnabled(!text.trimmed().isEmpty()); });
  connect(CmdAddFolder, &QPushButton::clicked, this, &frmSingle::CmdAddFolder_Click);
  connect(CmdNext, &QPushButton::clicked, this, &frmSingle::CmdNext_Click);
  connect(lblSingleMailbox, &app::LinkLabel::clicked, this, &frmSingle::lblSingleMailbox_Click);
}

void frmSingle::Form_Load() {
  txtSourceMailbox->clear();
  CmdNext->setEnabled(false);
  CmdAddFolder->setFocus();
}

void frmSingle::CmdAddFolder_Click() {
  const QString folder =
      wizard_.desktop().BrowseForFolder(this, QStringLiteral("Choose Source Folder..."));
  if (!folder.isEmpty()) txtSourceMailbox->setText(folder);
}

void frmSingle::CmdNext_Click() {
  // The run searches the box's text as it stands.
  const QString folder = txtSourceMailbox->text();
  if (folder.trimmed().isEmpty()) return;
  if (const QString problem = TypedFolderProblem(folder); !problem.isEmpty()) {
    wizard_.ShowWarning(this, problem);
    return;
  }
  wizard_.MigateAll().ShowModal(nullptr);
}

void frmSingle::lblSingleMailbox_Click() {
  wizard_.desktop().OpenDocument(app::HelpPageAddress() + QStringLiteral("#select-folder"));
}

}  // namespace baleport
