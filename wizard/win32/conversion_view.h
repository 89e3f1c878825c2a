// The conversion page's Win32 window: its controls, the PageControls through which the
// conversion run drives them, and the page logic (conversion/conversion_page.h) its events are
// handed to.
#pragma once

#include "app/win32/page_window.h"
#include "conversion/conversion_page.h"
#include "conversion/page_controls.h"
#include "wizard/pages/close_as_stop.h"
#include "wizard/win32/win32_wizard.h"

namespace baleport::win32 {

enum ConversionControlId : int {
  kLblCount1 = 201, kCmdSkip, kLblProgress, kProgressBar1, kFrameConversion, kLblCurrentDBX, kChkDelete,
  kLblDeleteHelp, kChkSkipExisting, kCmdStartConversion, kCmdStopMigration,
};

class ConversionView : public app::win32::PageWindow, public PageControls {
 public:
  ConversionView(Win32Wizard& wizard, StoreLibrary& library);

  // PageControls. After the page has closed, the run's remaining changes reach the hidden
  // controls only; the next show loads the page afresh.
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
  void ProcessPendingEvents() override { app::win32::PumpPendingMessages(); }

 protected:
  void Form_Load() override;
  bool Form_Unload() override;
  void Command(int id, int code) override;

 private:
  HWND Control(int id) const { return GetDlgItem(hwnd(), id); }
  HWND Button(ButtonControl button) const;

  Win32Wizard& wizard_;
  ConversionPage logic_;
  CloseAsStop close_;
};

}  // namespace baleport::win32
