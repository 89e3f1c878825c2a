#include "app/win32/page_window.h"

#include <commctrl.h>

#include <tuple>

#include "support/utf16_text.h"

namespace baleport::app::win32 {
namespace {

constexpr wchar_t kPageClass[] = L"BaleportPage";

int Dpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return dpi;
}

// Fonts and brushes live to the end of the program: the pages use a handful of each.
HFONT Font(double points, bool bold, const wchar_t* face) {
  static std::map<std::tuple<int, bool, std::wstring>, HFONT> fonts;
  const int tenths = static_cast<int>(points * 10 + 0.5);
  HFONT& font = fonts[{tenths, bold, face}];
  if (!font) {
    font = CreateFontW(-MulDiv(tenths, Dpi(), 720), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
  }
  return font;
}

HBRUSH Brush(COLORREF colour) {
  static std::map<COLORREF, HBRUSH> brushes;
  HBRUSH& brush = brushes[colour];
  if (!brush) brush = CreateSolidBrush(colour);
  return brush;
}

std::map<HWND, Look>& Looks() {
  static std::map<HWND, Look> looks;
  return looks;
}

void RegisterPageClass() {
  static const bool registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = DefWindowProcW;  // replaced per window once it is made
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kPageClass;
    return RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

}  // namespace

std::wstring Wide(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text) {
  const std::wstring wide(text);
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

void Deliver(MSG& message) {
  HWND page = GetAncestor(message.hwnd, GA_ROOT);
  if (!page || !IsDialogMessageW(page, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void PumpPendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      return;
    }
    Deliver(message);
  }
}

PageWindow::PageWindow(const std::string& caption, int width, int height, TitleButtons buttons, int icon_id) {
  RegisterPageClass();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                      (buttons == TitleButtons::kMinimizeAndClose ? WS_MINIMIZEBOX : 0);
  RECT frame{0, 0, MulDiv(width, Dpi(), 96), MulDiv(height, Dpi(), 96)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, Wide(caption).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PageWindow::Procedure));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const auto& [size, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
    const int side = GetSystemMetrics(metric);
    if (HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(icon_id), IMAGE_ICON, side, side, 0)) {
      SendMessageW(hwnd_, WM_SETICON, size, reinterpret_cast<LPARAM>(icon));
    }
  }
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font(9, false, L"Tahoma")), FALSE);
}

PageWindow::~PageWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

int PageWindow::Scale(int value) const { return MulDiv(value, Dpi(), 96); }

void PageWindow::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  needs_placing_ = true;
  Form_Load();
}

void PageWindow::CentreOver(const PageWindow* owner) {
  RECT area;
  if (owner && owner->IsVisible()) {
    GetWindowRect(owner->hwnd_, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT own;
  GetWindowRect(hwnd_, &own);
  const int width = own.right - own.left, height = own.bottom - own.top;
  SetWindowPos(hwnd_, nullptr, (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  needs_placing_ = false;
}

void PageWindow::ShowModeless() {
  EnsureLoaded();
  if (needs_placing_) CentreOver(nullptr);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
}

void PageWindow::ShowModal(PageWindow* owner) {
  // A nested show of a page already modal would start a second loop inside the first.
  if (in_modal_) return;
  EnsureLoaded();
  std::vector<HWND> others;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM list) -> BOOL {
        if (IsWindowVisible(window) && IsWindowEnabled(window)) {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&others));
  for (HWND other : others) EnableWindow(other, FALSE);
  CentreOver(owner);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  in_modal_ = true;
  MSG message;
  while (IsVisible()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // the outer loop ends too
      break;
    }
    Deliver(message);
  }
  in_modal_ = false;
  for (HWND other : others) EnableWindow(other, TRUE);
  if (owner && owner->IsVisible()) SetForegroundWindow(owner->hwnd_);
}

void PageWindow::Hide() { ShowWindow(hwnd_, SW_HIDE); }

bool PageWindow::Close() {
  if (!Form_Unload()) return false;
  loaded_ = false;
  Hide();
  return true;
}

std::string PageWindow::Text(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  return Narrow(text.c_str());
}

void PageWindow::SetText(HWND control, const std::string& text) {
  if (Text(control) != text) SetWindowTextW(control, Wide(text).c_str());
}

void PageWindow::SetLook(HWND control, const Look& look) {
  Looks()[control] = look;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(look.points, look.bold, look.face)), TRUE);
  InvalidateRect(control, nullptr, TRUE);
}

HWND PageWindow::AddControl(const wchar_t* window_class, const std::string& text, DWORD style, Box box,
                            int id, const Look& look) {
  HWND control = CreateWindowExW(0, window_class, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                 Scale(box.x), Scale(box.y), Scale(box.width), Scale(box.height), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                 nullptr);
  SetLook(control, look);
  return control;
}

HWND PageWindow::AddLabel(const std::string& text, Box box, const Look& look) {
  return AddControl(L"STATIC", text, SS_LEFT | SS_NOPREFIX, box, 0, look);
}

HWND PageWindow::AddLink(Box box, int id, double points) {
  return AddControl(L"STATIC", " [ ? ]", SS_LEFT | SS_NOTIFY, box, id, {points, false, L"Tahoma", RGB(0, 0, 255)});
}

HWND PageWindow::AddButton(const std::string& text, Box box, int id, double points) {
  return AddControl(L"BUTTON", text, BS_PUSHBUTTON | WS_TABSTOP, box, id, {points});
}

void PageWindow::AddBand(Box box, COLORREF fill) { bands_.push_back({box, fill}); }

void PageWindow::AddHeader(const std::string& title, COLORREF colour, const std::string& subtitle) {
  AddBand({0, 0, 713, 57});
  AddLabel(title, {16, 8, 417, 25}, {14.25, true, L"Tahoma", colour, kWhite});
  if (!subtitle.empty()) AddLabel(subtitle, {16, 32, 409, 17}, {8.25, false, L"Tahoma", RGB(0, 0, 0), kWhite});
}

LRESULT CALLBACK PageWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* page = reinterpret_cast<PageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return page ? page->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT PageWindow::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_COMMAND:
      if (l != 0) Command(LOWORD(w), HIWORD(w));
      return 0;
    case WM_NOTIFY:
      return Notify(reinterpret_cast<NMHDR*>(l));
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(w);
      RECT client;
      GetClientRect(hwnd_, &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      for (const Band& band : bands_) {
        RECT area{Scale(band.box.x), Scale(band.box.y), Scale(band.box.x + band.box.width),
                  Scale(band.box.y + band.box.height)};
        FillRect(dc, &area, Brush(kLightGrey));
        InflateRect(&area, -1, -1);
        FillRect(dc, &area, Brush(band.fill));
      }
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const auto found = Looks().find(reinterpret_cast<HWND>(l));
      if (found == Looks().end()) break;
      HDC dc = reinterpret_cast<HDC>(w);
      SetTextColor(dc, found->second.text);
      const COLORREF back = found->second.background.value_or(GetSysColor(COLOR_BTNFACE));
      SetBkColor(dc, back);
      return reinterpret_cast<LRESULT>(Brush(back));
    }
    case WM_DESTROY:
      for (auto it = Looks().begin(); it != Looks().end();) {
        it = GetParent(it->first) == hwnd_ ? Looks().erase(it) : std::next(it);
      }
      break;
  }
  return DefWindowProcW(hwnd_, message, w, l);
}

}  // namespace baleport::app::win32
