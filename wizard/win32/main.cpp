// baleport-gui.exe: the wizard on Windows. "--help" and "--version" are answered in a message
// box (a Windows program has no terminal); anything else opens the wizard.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cwchar>

#include "conversion/store/pst_store_library.h"
#include "support/pending_events.h"
#include "wizard/win32/conversion_view.h"
#include "wizard/win32/win32_wizard.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  if (std::wcsstr(command_line, L"--version")) {
    MessageBoxW(nullptr, L"baleport-gui " BALEPORT_VERSION_W, L"Tamsel Baleport", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  if (std::wcsstr(command_line, L"--help") || std::wcsstr(command_line, L"/?")) {
    MessageBoxW(nullptr, L"Usage: baleport-gui\r\nOpens the wizard that converts folders of .msg files to .pst stores.",
                L"Tamsel Baleport", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  // The folder picker and the shell need COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  baleport::SetPendingEventsHandler(baleport::app::win32::PumpPendingMessages);

  baleport::PstStoreLibrary stores;
  baleport::win32::Win32Wizard wizard([&stores](baleport::win32::Win32Wizard& owner) {
    return std::make_unique<baleport::win32::ConversionView>(owner, stores);
  });
  wizard.Run();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) baleport::app::win32::Deliver(message);
  CoUninitialize();
  return static_cast<int>(message.wParam);
}
