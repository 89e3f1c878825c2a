// baleport-screenshots.exe FOLDER: shows each wizard page as a user would see it at that step
// and writes its window, frame included, to FOLDER\<page>.bmp (`make screenshots-win`, under
// Wine on Xvfb).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>

#include "wizard/win32/conversion_view.h"
#include "conversion/testing/fake_store.h"

namespace {

using baleport::Page;

// The wizard with its folder pickers answered from a list made beforehand.
class PickingWizard final : public baleport::win32::Win32Wizard {
 public:
  using Win32Wizard::Win32Wizard;
  std::deque<std::string> folder_picks;
  std::string BrowseForFolder(Page, const std::string&) override {
    std::string pick = folder_picks.empty() ? "" : folder_picks.front();
    if (!folder_picks.empty()) folder_picks.pop_front();
    return pick;
  }
};

bool Save(baleport::win32::Win32Wizard& wizard, Page page, const std::filesystem::path& file) {
  HWND window = wizard.Window(page).hwnd();
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  for (int i = 0; i < 20; ++i) {  // let the page paint before it is read back
    baleport::app::win32::PumpPendingMessages();
    Sleep(25);
  }
  RECT area;
  GetWindowRect(window, &area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFOHEADER header{sizeof(header), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file_header{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(header) + size), 0, 0,
                               static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(header))};
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file_header), sizeof(file_header));
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  out.write(static_cast<const char*>(bits), size);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  ShowWindow(window, SW_HIDE);
  if (!out) {
    std::fprintf(stderr, "baleport-screenshots: cannot write %s\n", file.string().c_str());
    return false;
  }
  std::printf("%s (%dx%d)\n", file.string().c_str(), width, height);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: baleport-screenshots FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "baleport-screenshots: cannot create %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // A small mailbox tree for the folder list.
  const std::filesystem::path mail = std::filesystem::temp_directory_path() / "Mailboxes";
  for (const char* name : {"Accounts", "Management", "Sales", "Support", "Archive 2019"}) {
    std::filesystem::create_directories(mail / name, error);
  }

  baleport::FakeStoreLibrary no_conversion;
  PickingWizard wizard([&no_conversion](baleport::win32::Win32Wizard& owner) {
    return std::make_unique<baleport::win32::ConversionView>(owner, no_conversion);
  });
  bool ok = Save(wizard, Page::kStart, folder / "frmStart.bmp");

  wizard.folder_picks = {(mail / "Sales").string(), mail.string()};
  wizard.Window(Page::kSingle);  // loaded before it is filled in
  wizard.pages().single.CmdAddFolder_Click();
  ok = Save(wizard, Page::kSingle, folder / "frmSingle.bmp") && ok;

  wizard.Window(Page::kMultiple);
  wizard.pages().multiple.CmdAddFolder_Click();
  wizard.pages().multiple.lv_ItemCheck(1, true);
  wizard.pages().multiple.lv_ItemCheck(3, true);
  wizard.Refresh(Page::kMultiple);
  ok = Save(wizard, Page::kMultiple, folder / "frmMultiple.bmp") && ok;

  ok = Save(wizard, Page::kMigateAll, folder / "frmMigateAll.bmp") && ok;
  std::filesystem::remove_all(mail, error);
  return ok ? 0 : 1;
}
