#include "wizard/win32/win32_wizard.h"

#include <shlobj.h>
#include <commdlg.h>
#include <shellapi.h>

namespace baleport::win32 {

using app::win32::Narrow;
using app::win32::Wide;

Win32Wizard::Win32Wizard(ConversionPageMaker make_conversion_page)
    : make_conversion_page_(std::move(make_conversion_page)) {}

Win32Wizard::~Win32Wizard() = default;

namespace {

// A page is created the first time it is referred to, and loaded again after the user
// closed it.
template <typename View, typename Make>
app::win32::PageWindow& Use(std::unique_ptr<View>& view, Make make) {
  if (!view) view = make();
  view->EnsureLoaded();
  return *view;
}

}  // namespace

app::win32::PageWindow& Win32Wizard::Window(Page page) {
  switch (page) {
    case Page::kStart: return Use(start_, [&] { return std::make_unique<StartView>(pages_.start); });
    case Page::kSingle: return Use(single_, [&] { return std::make_unique<SingleView>(pages_.single); });
    case Page::kMultiple: return Use(multiple_, [&] { return std::make_unique<MultipleView>(pages_.multiple); });
    case Page::kMigateAll: break;
  }
  return Use(migate_all_, [&] { return make_conversion_page_(*this); });
}

void Win32Wizard::ShowModal(Page page, std::optional<Page> owner) {
  app::win32::PageWindow& window = Window(page);
  window.ShowModal(owner ? &Window(*owner) : nullptr);
}

void Win32Wizard::ShowModeless(Page page) { Window(page).ShowModeless(); }
void Win32Wizard::Hide(Page page) { Window(page).Hide(); }

void Win32Wizard::Refresh(Page page) {
  // Only a page that exists has anything to show again.
  switch (page) {
    case Page::kStart: if (start_) start_->Refresh(); break;
    case Page::kSingle: if (single_) single_->Refresh(); break;
    case Page::kMultiple: if (multiple_) multiple_->Refresh(); break;
    case Page::kMigateAll: break;
  }
}

MessageAnswer Win32Wizard::ShowMessageOn(HWND owner, const MessageBoxRequest& request) {
  UINT style = request.buttons == MessageButtons::kYesNo ? MB_YESNO : MB_OK;
  switch (request.icon) {
    case MessageIcon::kNone: break;
    case MessageIcon::kInformation: style |= MB_ICONINFORMATION; break;
    case MessageIcon::kQuestion: style |= MB_ICONQUESTION; break;
    case MessageIcon::kWarning: style |= MB_ICONWARNING; break;
  }
  // The engine's reason goes beneath the text: a Windows box has no expandable details.
  const std::string text = request.details.empty() ? request.text : request.text + "\r\n\r\n" + request.details;
  switch (MessageBoxW(owner, Wide(text).c_str(), Wide(request.title).c_str(), style | MB_TASKMODAL)) {
    case IDYES: return MessageAnswer::kYes;
    case IDNO: return MessageAnswer::kNo;
    default: return MessageAnswer::kOk;
  }
}

MessageAnswer Win32Wizard::ShowMessage(Page owner, const MessageBoxRequest& request) {
  return ShowMessageOn(Window(owner).hwnd(), request);
}

std::string Win32Wizard::BrowseForFolder(Page owner, const std::string& title) {
  const std::wstring caption = Wide(title);
  BROWSEINFOW browse{};
  browse.hwndOwner = Window(owner).hwnd();
  browse.lpszTitle = caption.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return {};
  std::wstring path(MAX_PATH, L'\0');
  const bool named = SHGetPathFromIDListW(chosen, path.data()) != FALSE;
  CoTaskMemFree(chosen);
  return named ? Narrow(path.c_str()) : std::string();
}

std::optional<std::string> Win32Wizard::AskSaveFileName(HWND owner, const SaveDialogRequest& request) {
  // "description|pattern|..." as the dialog wants it: each part ended by a null, and one more.
  std::wstring filter = Wide(request.filter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.append(2, L'\0');
  std::wstring file = Wide(request.proposedFileName);
  file.resize(32768, L'\0');  // room for a long path
  const std::wstring title = Wide(request.title);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  // The store is opened or created at the chosen path, so an existing file is no reason to ask.
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  return app::win32::Narrow(file.c_str());
}

void Win32Wizard::OpenAddress(const std::string& target) {
  ShellExecuteW(nullptr, L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string HelpPageAddress(const std::string& anchor) {
  std::wstring program(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
  program.resize(length);
  std::string address = "file:///" + Narrow(program.substr(0, program.find_last_of(L'\\') + 1).c_str()) + "help.html";
  for (char& c : address) {
    if (c == '\\') c = '/';
  }
  return address + anchor;
}

void Win32Wizard::OpenHelp(const std::string& anchor) { OpenAddress(HelpPageAddress(anchor)); }

void Win32Wizard::OpenProductPage() { OpenAddress(BALEPORT_PRODUCT_PAGE_ADDRESS); }

std::string Win32Wizard::DesktopFolder() {
  std::wstring path(MAX_PATH, L'\0');
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path.data()))) {
    return Narrow(path.c_str());
  }
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path.data()))) {
    return Narrow(path.c_str());
  }
  return {};
}

void Win32Wizard::EndProgram() { PostQuitMessage(0); }

}  // namespace baleport::win32
