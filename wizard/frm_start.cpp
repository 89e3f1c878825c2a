#include "wizard/frm_start.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/fonts.h"
#include "app/icons.h"
#include "wizard/wizard.h"

namespace baleport {

using app::kDarkGrey;
using app::kLightGrey;
using app::kWhite;

frmStart::frmStart(Wizard& wizard)
    : PageWindow(QStringLiteral("%1 v" BALEPORT_VERSION).arg(kAppTitle), QSize(618, 472),
                 TitleButtons::kCloseOnly),
      logic_(wizard.pages().start) {
  setWindowIcon(app::EnvelopeIcon());
  setFont(app::Tahoma(9));

  app::AddHeaderBand(this, QString::fromLatin1(kAppTitle), QColor(192, 0, 0));
  app::AddLabel(this,
                "Baleport supports conversion of .msg email messages to Outlook supported .pst "
                "files. Supports Outlook Version 2016 (32 Bit), 2013 (32 Bit), 2010 (32 Bit), "
                "2007, 2003 for conversion.",
                QRect(16, 64, 585, 40), app::Verdana(8.25));

  auto* frame = new QGroupBox(QStringLiteral(" I want to convert "), this);
  frame->setGeometry(16, 112, 585, 265);
  frame->setFont(app::Tahoma(9, true));

  OptSingle = new QRadioButton(QStringLiteral("Single MSG Folder"), frame);
  OptSingle->setGeometry(16, 40, 137, 33);
  lblSingleHelp = new app::LinkLabel(frame, QRect(152, 48, 25, 16), app::Tahoma(8.25));
  app::AddLabel(frame,
                "This option allows you to select a single folder having .msg messages and "
                "convert it to respective .pst file. To convert multiple folders, you need to "
                "select individual folders one after another.",
                QRect(32, 72, 537, 40), app::Tahoma(9), kDarkGrey);
  OptMultiple = new QRadioButton(QStringLiteral("Multiple Folders"), frame);
  OptMultiple->setGeometry(16, 120, 137, 33);
  lblMultipleHelp = new app::LinkLabel(frame, QRect(152, 128, 25, 16), app::Tahoma(8.25));
  app::AddLabel(frame,
                "This option allows you to select multiple folders and then convert them to "
                "respective Outlook .pst files. To convert multiple mailbox folders, you just "
                "need to to select top folder having all mailbox folders inside it.",
                QRect(32, 176, 529, 55), app::Tahoma(9), kDarkGrey);

  new app::Shape(this, QRect(-16, 432, 713, 57), kWhite, kLightGrey);
  CmdHelp = new QPushButton(QStringLiteral("&Help Manual"), this);
  CmdHelp->setGeometry(16, 440, 113, 26);
  CmdNext = new QPushButton(QStringLiteral("&Next >"), this);
  CmdNext->setGeometry(488, 440, 113, 26);

  setTabOrder(OptSingle, OptMultiple);
  setTabOrder(OptMultiple, CmdNext);
  setTabOrder(CmdNext, CmdHelp);

  connect(OptSingle, &QRadioButton::toggled, this, [this](bool on) {
    if (on) logic_.OptSingle_Click();
  });
  connect(OptMultiple, &QRadioButton::toggled, this, [this](bool on) {
    if (on) logic_.OptMultiple_Click();
  });
  connect(CmdNext, &QPushButton::clicked, this, [this] { logic_.CmdNext_Click(); });
  connect(CmdHelp, &QPushButton::clicked, this, [this] { logic_.CmdHelp_Click(); });
  connect(lblSingleHelp, &app::LinkLabel::clicked, this, [this] { logic_.lblSingleHelp_Click(); });
  connect(lblMultipleHelp, &app::LinkLabel::clicked, this, [this] { logic_.lblMultipleHelp_Click(); });
}

void frmStart::Form_Load() {
  logic_.Form_Load();
  OptSingle->setFocus();
}

void frmStart::Refresh() {
  const bool single = logic_.singleMode();
  (single ? OptSingle : OptMultiple)->setChecked(true);
  OptSingle->setFont(app::Tahoma(9, single));
  OptMultiple->setFont(app::Tahoma(9, !single));
}

bool frmStart::Form_Unload() { return logic_.Form_Unload(); }

}  // namespace baleport
