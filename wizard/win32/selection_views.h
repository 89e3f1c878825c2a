// The Win32 views of the three selection pages, thin over their logic (wizard/pages/): the
// controls at the pages' places, their clicks handed to the logic, its state shown again.
#pragma once

#include "app/win32/page_window.h"
#include "wizard/pages/wizard_pages.h"

namespace baleport::win32 {

// Control ids; the tests click through them.
enum ControlId : int {
  kOptSingle = 101, kOptMultiple, kLblSingleHelp, kLblMultipleHelp, kCmdHelp, kCmdNext,
  kLblSingleMailbox, kTxtSourceMailbox, kCmdAddFolder,
  kLblSelectRootFolder, kChkSelectAll, kLv, kTxtOutputFolder, kCmdChange, kCmdBack,
};

// Resource ids of the icons (app/win32/baleport.rc).
enum IconId : int { kEnvelopeIcon = 1, kDriveArrowIcon = 2, kPersonIcon = 3, kFolderIcon = 4 };

class StartView : public app::win32::PageWindow {
 public:
  explicit StartView(StartPage& logic);
  void Refresh();

 protected:
  void Form_Load() override;
  bool Form_Unload() override { return logic_.Form_Unload(); }
  void Command(int id, int code) override;

 private:
  StartPage& logic_;
  HWND single_, multiple_;
};

class SingleView : public app::win32::PageWindow {
 public:
  explicit SingleView(SinglePage& logic);
  void Refresh();

 protected:
  void Form_Load() override;
  void Command(int id, int code) override;

 private:
  SinglePage& logic_;
  HWND box_, next_;
};

class MultipleView : public app::win32::PageWindow {
 public:
  explicit MultipleView(MultiplePage& logic);
  void Refresh();

 protected:
  void Form_Load() override;
  bool Form_Unload() override { return logic_.Form_Unload(); }
  void Command(int id, int code) override;
  LRESULT Notify(NMHDR* header) override;

 private:
  MultiplePage& logic_;
  HWND check_all_, list_, output_;
  bool refreshing_ = false;  // the list's own notifications of a refresh are not the user's
};

}  // namespace baleport::win32
