#include "wizard/win32/conversion_view.h"

#include <commctrl.h>

#include <cmath>

namespace baleport::win32 {

using app::win32::Look;

ConversionView::ConversionView(Win32Wizard& wizard, StoreLibrary& library)
    : PageWindow("Conversion Status", 578, 261, TitleButtons::kCloseOnly, kEnvelopeIcon),
      wizard_(wizard),
      logic_(*this, wizard.pages(), library, ConversionOptions{}) {
  // Captions keep the access-key convention: Windows shows "&&" as "&".
  AddControl(L"STATIC", "", SS_LEFT, {8, 8, 625, 25}, kLblCount1, {9.75, true, L"Tahoma", RGB(0, 0, 0), RGB(255, 255, 255)});
  AddButton("X", {544, 16, 25, 21}, kCmdSkip);
  SetLook(Control(kCmdSkip), {9.75, true});
  AddControl(L"STATIC", "", SS_LEFT, {8, 40, 401, 17}, kLblProgress, {11.25});
  AddControl(PROGRESS_CLASSW, "", 0, {8, 64, 561, 17}, kProgressBar1);
  AddControl(L"BUTTON", "", BS_GROUPBOX, {8, 96, 561, 81}, kFrameConversion);
  AddControl(L"STATIC", "", SS_LEFT, {21, 115, 521, 49}, kLblCurrentDBX, {9, false, L"Tahoma", RGB(128, 128, 128)});
  AddControl(L"BUTTON", "Delete Source file(s), during conversion...", BS_3STATE | WS_TABSTOP, {32, 184, 249, 17},
             kChkDelete, {9, false, L"Tahoma", RGB(128, 0, 0)});
  AddLink({280, 184, 33, 16}, kLblDeleteHelp, 9);
  // Where the store is chosen: a re-run into it leaves out the messages it already holds.
  AddControl(L"BUTTON", "Skip messages already in the store", BS_AUTOCHECKBOX | WS_TABSTOP, {328, 184, 241, 17},
             kChkSkipExisting);
  AddButton("Sta&rt Conversion", {208, 216, 161, 37}, kCmdStartConversion);
  SetLook(Control(kCmdStartConversion), {9.75, false, L"Verdana"});
  AddButton("S&top Conversion", {208, 216, 161, 37}, kCmdStopMigration);
  SetLook(Control(kCmdStopMigration), {9.75, false, L"Verdana"});
}

void ConversionView::Form_Load() {
  // The page as it is created, and as it comes back on the show after a close.
  SetText(hwnd(), "Conversion Status");
  SetText(Control(kLblCount1), "Conversion Not Started Yet...");
  SetText(Control(kLblProgress), "0% Complete");
  SetProgressRange(0, 100);
  SetProgressValue(0);
  SetText(Control(kFrameConversion), " Details ");
  SetText(Control(kLblCurrentDBX), "Converting Messages...");
  SetDeleteSourceValue(0);
  SendMessageW(Control(kChkSkipExisting), BM_SETCHECK, BST_UNCHECKED, 0);
  wizard_.pages().skipExisting = false;
  SetButtonEnabled(ButtonControl::CmdSkip, false);
  SetButtonEnabled(ButtonControl::CmdStartConversion, true);
  SetButtonVisible(ButtonControl::CmdStartConversion, true);
  SetButtonEnabled(ButtonControl::CmdStopMigration, true);
  SetButtonVisible(ButtonControl::CmdStopMigration, false);
  close_.Reset();
  logic_.Form_Load();
}

bool ConversionView::Form_Unload() {
  HWND stop = Control(kCmdStopMigration);
  return close_.Unload(logic_, IsWindowVisible(stop) && IsWindowEnabled(stop));
}

void ConversionView::Command(int id, int code) {
  if (code != BN_CLICKED && code != STN_CLICKED) return;
  switch (id) {
    case kCmdStartConversion: logic_.CmdStartConversion_Click(); break;
    case kCmdSkip: logic_.CmdSkip_Click(); break;
    case kCmdStopMigration: logic_.CmdStopMigration_Click(); break;
    case kChkDelete: SetDeleteSourceValue(DeleteSourceValue() == 1 ? 0 : 1); break;  // grayed is the run's alone
    case kLblDeleteHelp: wizard_.OpenHelp("#delete-source-files"); break;
    case kChkSkipExisting:
      wizard_.pages().skipExisting = SendMessageW(Control(kChkSkipExisting), BM_GETCHECK, 0, 0) == BST_CHECKED;
      break;
  }
}

void ConversionView::SetCaption(CaptionControl control, const std::string& caption) {
  switch (control) {
    case CaptionControl::frmMigateAll: SetText(hwnd(), caption); break;
    case CaptionControl::lblCount1: SetText(Control(kLblCount1), caption); break;
    case CaptionControl::lblProgress: SetText(Control(kLblProgress), caption); break;
    case CaptionControl::LblCurrentDBX: SetText(Control(kLblCurrentDBX), caption); break;
    case CaptionControl::FrameConversion: SetText(Control(kFrameConversion), caption); break;
  }
}

void ConversionView::SetProgressRange(int minimum, int maximum) {
  SendMessageW(Control(kProgressBar1), PBM_SETRANGE32, minimum, maximum);
}

void ConversionView::SetProgressValue(float value) {
  SendMessageW(Control(kProgressBar1), PBM_SETPOS, static_cast<WPARAM>(std::lround(value)), 0);
}

HWND ConversionView::Button(ButtonControl button) const {
  switch (button) {
    case ButtonControl::CmdStartConversion: return Control(kCmdStartConversion);
    case ButtonControl::CmdStopMigration: return Control(kCmdStopMigration);
    case ButtonControl::CmdSkip: break;
  }
  return Control(kCmdSkip);
}

void ConversionView::SetButtonEnabled(ButtonControl button, bool enabled) { EnableWindow(Button(button), enabled); }

void ConversionView::SetButtonVisible(ButtonControl button, bool visible) {
  ShowWindow(Button(button), visible ? SW_SHOW : SW_HIDE);
}

int ConversionView::DeleteSourceValue() {
  switch (SendMessageW(Control(kChkDelete), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return 1;
    case BST_INDETERMINATE: return 2;
    default: return 0;
  }
}

void ConversionView::SetDeleteSourceValue(int value) {
  SendMessageW(Control(kChkDelete), BM_SETCHECK,
               value == 1 ? BST_CHECKED : value == 2 ? BST_INDETERMINATE : BST_UNCHECKED, 0);
}

std::optional<std::string> ConversionView::ShowSaveDialog(const SaveDialogRequest& request) {
  return wizard_.AskSaveFileName(hwnd(), request);
}

MessageAnswer ConversionView::ShowMessage(const MessageBoxRequest& request) {
  // A box raised while the page is closed has no page to sit over.
  return wizard_.ShowMessageOn(IsVisible() ? hwnd() : nullptr, request);
}

void ConversionView::ClosePage() {
  if (close_.RunCloses()) Close();
}

}  // namespace baleport::win32
