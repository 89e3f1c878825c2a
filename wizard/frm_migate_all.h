// The conversion page: its window and controls, the PageControls through which the
// conversion run drives them, and the page logic its events are handed to.
#pragma once

#include "app/controls.h"
#include "app/page_window.h"
#include "conversion/conversion_page.h"
#include "conversion/page_controls.h"
#include "wizard/pages/close_as_stop.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace baleport {

class Wizard;

class frmMigateAll : public app::PageWindow, public PageControls {
  Q_OBJECT

 public:
  frmMigateAll(Wizard& wizard, StoreLibrary& library);

  QLabel* lblCount1;
  QPushButton* CmdSkip;
  QLabel* lblProgress;
  QProgressBar* ProgressBar1;
  QGroupBox* FrameConversion;
  QLabel* LblCurrentDBX;
  QCheckBox* ChkDelete;
  app::LinkLabel* lblDeleteHelp;
  // Where the store is chosen: a re-run into it leaves out the messages it already holds.
  QCheckBox* ChkSkipExisting;
  QPushButton* CmdStartConversion;
  QPushButton* CmdStopMigration;

  void lblDeleteHelp_Click();

  // PageControls. After the page has closed, the run's remaining changes reach the hidden
  // widgets only; the next show loads the page afresh.
  void SetCaption(CaptionControl control, const std::string& caption) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressValue(float value) override;
  void SetButtonEnabled(ButtonControl button, bool enabled) override;
  void SetButtonVisible(ButtonControl button, bool visible) override;
  int DeleteSourceValue() override;
  void SetDeleteSourceValue(int value) override;
  std::optional<std::string> ShowSaveDialog(const SaveDialogRequest& request) override;
  MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
  void ClosePage() override;
  void ProcessPendingEvents() override;

 protected:
  void Form_Load() override;
  bool Form_Unload() override;

 private:
  QPushButton* Button(ButtonControl button);

  Wizard& wizard_;
  ConversionPage logic_;
  CloseAsStop close_;
};

}  // namespace baleport
