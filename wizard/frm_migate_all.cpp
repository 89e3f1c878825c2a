#include "wizard/frm_migate_all.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "app/addresses.h"
#include "app/fonts.h"
#include "support/pending_events.h"
#include "wizard/wizard.h"

namespace baleport {

frmMigateAll::frmMigateAll(Wizard& wizard, StoreLibrary& library)
    : PageWindow(QStringLiteral("Conversion Status"), QSize(578, 261),
                 TitleButtons::kCloseOnly),
      wizard_(wizard),
      logic_(*this, wizard.pages(), library, ConversionOptions{}) {
  setFont(app::Tahoma(9));

  lblCount1 = app::AddLabel(this, QString(), QRect(8, 8, 625, 25), app::Tahoma(9.75, true),
                            QColor(0, 0, 0), QColor(255, 255, 255));
  CmdSkip = new QPushButton(QStringLiteral("X"), this);
  CmdSkip->setGeometry(544, 16, 25, 21);
  CmdSkip->setFont(app::Tahoma(9.75, true));
  CmdSkip->setToolTip(QStringLiteral("Cancel Conversion of Current Folder"));
  lblProgress = app::AddLabel(this, QString(), QRect(8, 40, 401, 17), app::Tahoma(11.25));
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setGeometry(8, 64, 561, 17);
  ProgressBar1->setTextVisible(false);

  FrameConversion = new QGroupBox(this);
  FrameConversion->setGeometry(8, 96, 561, 81);
  LblCurrentDBX = app::AddLabel(FrameConversion, QString(), QRect(13, 19, 521, 49),
                                app::Tahoma(9), QColor(128, 128, 128));

  ChkDelete = new QCheckBox(QStringLiteral("Delete Source file(s), during conversion..."), this);
  ChkDelete->setGeometry(32, 184, 249, 17);
  app::SetTextColour(ChkDelete, QColor(128, 0, 0));
  lblDeleteHelp = new app::LinkLabel(this, QRect(280, 184, 33, 16), app::Tahoma(9));
  ChkSkipExisting = new QCheckBox(QStringLiteral("Skip messages already in the store"), this);
  ChkSkipExisting->setGeometry(328, 184, 241, 17);

  CmdStartConversion = new QPushButton(QStringLiteral("Sta&rt Conversion"), this);
  CmdStartConversion->setGeometry(208, 216, 161, 37);
  CmdStartConversion->setFont(app::Verdana(9.75));
  CmdStopMigration = new QPushButton(QStringLiteral("S&top Conversion"), this);
  CmdStopMigration->setGeometry(CmdStartConversion->geometry());
  CmdStopMigration->setFont(app::Verdana(9.75));
  CmdStopMigration->setToolTip(QStringLiteral("Stops Complete Conversion"));

  connect(CmdStartConversion, &QPushButton::clicked, this,
          [this] { logic_.CmdStartConversion_Click(); });
  connect(CmdSkip, &QPushButton::clicked, this, [this] { logic_.CmdSkip_Click(); });
  connect(CmdStopMigration, &QPushButton::clicked, this,
          [this] { logic_.CmdStopMigration_Click(); });
  connect(lblDeleteHelp, &app::LinkLabel::clicked, this, &frmMigateAll::lblDeleteHelp_Click);
  connect(ChkSkipExisting, &QCheckBox::toggled, this, [this](bool on) { wizard_.pages().skipExisting = on; });
}

void frmMigateAll::Form_Load() {
  // The page as it is created, and as it comes back on the show after a close.
  setWindowTitle(QStringLiteral("Conversion Status"));
  lblCount1->setText(QStringLiteral("Conversion Not Started Yet..."));
  lblProgress->setText(QStringLiteral("0% Complete"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  FrameConversion->setTitle(QStringLiteral(" Details "));
  LblCurrentDBX->setText(QStringLiteral("Converting Messages..."));
  ChkDelete->setCheckState(Qt::Unchecked);
  ChkSkipExisting->setCheckState(Qt::Unchecked);
  wizard_.pages().skipExisting = false;
  CmdSkip->setEnabled(false);
  CmdStartConversion->setEnabled(true);
  CmdStartConversion->setVisible(true);
  CmdStopMigration->setEnabled(true);
  CmdStopMigration->setVisible(false);
  close_.Reset();
  logic_.Form_Load();
}

bool frmMigateAll::Form_Unload() {
  return close_.Unload(logic_, CmdStopMigration->isVisible() && CmdStopMigration->isEnabled());
}

void frmMigateAll::lblDeleteHelp_Click() {
  wizard_.desktop().OpenDocument(app::HelpPageAddress() + QStringLiteral("#delete-source-files"));
}

void frmMigateAll::SetCaption(CaptionControl control, const std::string& caption) {
  const QString text = QString::fromStdString(caption);
  switch (control) {
    case CaptionControl::frmMigateAll: setWindowTitle(text); break;
    case CaptionControl::lblCount1: lblCount1->setText(app::WithoutAccessKeys(text)); break;
    case CaptionControl::lblProgress: lblProgress->setText(app::WithoutAccessKeys(text)); break;
    case CaptionControl::LblCurrentDBX:
      LblCurrentDBX->setText(app::WithoutAccessKeys(text));
      break;
    case CaptionControl::FrameConversion: FrameConversion->setTitle(text); break;
  }
}

void frmMigateAll::SetProgressRange(int minimum, int maximum) {
  ProgressBar1->setRange(minimum, maximum);
}

void frmMigateAll::SetProgressValue(float value) {
  ProgressBar1->setValue(static_cast<int>(std::lround(value)));
}

QPushButton* frmMigateAll::Button(ButtonControl button) {
  switch (button) {
    case ButtonControl::CmdStartConversion: return CmdStartConversion;
    case ButtonControl::CmdStopMigration: return CmdStopMigration;
    case ButtonControl::CmdSkip: break;
  }
  return CmdSkip;
}

void frmMigateAll::SetButtonEnabled(ButtonControl button, bool enabled) {
  Button(button)->setEnabled(enabled);
}

void frmMigateAll::SetButtonVisible(ButtonControl button, bool visible) {
  Button(button)->setVisible(visible);
}

int frmMigateAll::DeleteSourceValue() {
  switch (ChkDelete->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
  }
  return 0;
}

void frmMigateAll::SetDeleteSourceValue(int value) {
  ChkDelete->setCheckState(value == 1   ? Qt::Checked
                           : value == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
}

std::optional<std::string> frmMigateAll::ShowSaveDialog(const SaveDialogRequest& request) {
  const QString chosen = wizard_.desktop().AskSaveFileName(
      this, {QString::fromStdString(request.filter),
             QString::fromStdString(request.proposedFileName),
             QString::fromStdString(request.title)});
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

MessageAnswer frmMigateAll::ShowMessage(const MessageBoxRequest& request) {
  // A box raised while the page is closed has no page to sit over.
  return FromQtAnswer(wizard_.desktop().ShowMessage(isVisible() ? this : nullptr, ToQtMessage(request)));
}

void frmMigateAll::ClosePage() {
  if (close_.RunCloses()) close();
}

void frmMigateAll::ProcessPendingEvents() { baleport::ProcessPendingEvents(); }

}  // namespace baleport
