// A wizard page on Win32: a window with a fixed border whose client area has the page's size
// at 96 dpi, scaled for the monitor, its controls in Tahoma. A page closed by the user loses
// its contents: the next use loads it afresh (Form_Load), as when it was first shown.
#pragma once

#include <windows.h>
// Windows still defines the 16-bit Yield() as a macro; the conversion run has its own Yield.
#undef Yield

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace baleport::app::win32 {

// Text between the pages' UTF-8 and the wide calls.
std::wstring Wide(std::string_view text);
std::string Narrow(const wchar_t* text);

// A place at 96 dpi, in client coordinates.
struct Box {
  int x, y, width, height;
};

struct Look {
  Look(double points = 9, bool bold = false, const wchar_t* face = L"Tahoma", COLORREF text = RGB(0, 0, 0),
       std::optional<COLORREF> background = std::nullopt)
      : points(points), bold(bold), face(face), text(text), background(background) {}

  double points;
  bool bold;
  const wchar_t* face;
  COLORREF text;
  std::optional<COLORREF> background;  // none: the page's own
};

inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kLightGrey = RGB(192, 192, 192);
inline constexpr COLORREF kLightYellow = RGB(255, 255, 192);
inline constexpr COLORREF kDarkGrey = RGB(64, 64, 64);

// Lets the window system deliver the messages waiting now (clicks on Skip and Stop, repaints).
void PumpPendingMessages();
// Delivers one message, with the keyboard navigation of the page it is for (Tab, access keys).
void Deliver(MSG& message);

class PageWindow {
 public:
  enum class TitleButtons { kCloseOnly, kMinimizeAndClose };

  PageWindow(const std::string& caption, int width, int height, TitleButtons buttons, int icon_id);
  virtual ~PageWindow();
  PageWindow(const PageWindow&) = delete;
  PageWindow& operator=(const PageWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Shows the page modal to every other page, centred over `owner` (on the screen when there
  // is none), and returns only once the page is closed or hidden.
  void ShowModal(PageWindow* owner);
  // Shows the page and returns at once; a page loaded afresh is centred on the screen.
  void ShowModeless();
  void Hide();
  bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
  void EnsureLoaded();
  // The close box: Form_Unload decides; true when the page closed (hidden and unloaded).
  bool Close();

  static std::string Text(HWND control);
  static void SetText(HWND control, const std::string& text);
  static void SetLook(HWND control, const Look& look);  // font and colours of one control

 protected:
  // Puts every control into its initial state; runs each time the page is loaded.
  virtual void Form_Load() {}
  // Runs when the user closes the page; false keeps it open.
  virtual bool Form_Unload() { return true; }
  // A notification from control `id` (WM_COMMAND).
  virtual void Command(int /*id*/, int /*code*/) {}
  virtual LRESULT Notify(NMHDR* /*header*/) { return 0; }

  // A child control at `box` (96 dpi).
  HWND AddControl(const wchar_t* window_class, const std::string& text, DWORD style, Box box,
                  int id = 0, const Look& look = {});
  // A top-aligned, word-wrapped label.
  HWND AddLabel(const std::string& text, Box box, const Look& look = {});
  // The blue " [ ? ]" that opens a help section when clicked.
  HWND AddLink(Box box, int id, double points);
  HWND AddButton(const std::string& text, Box box, int id, double points = 9);
  // A white band with a light grey border, drawn behind the controls.
  void AddBand(Box box, COLORREF fill = kWhite);
  // The title band of a page: its title in `colour` and the subtitle beneath.
  void AddHeader(const std::string& title, COLORREF colour, const std::string& subtitle = {});
  int Scale(int value) const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void CentreOver(const PageWindow* owner);

  HWND hwnd_ = nullptr;
  bool loaded_ = false;
  bool needs_placing_ = true;
  bool in_modal_ = false;
  struct Band {
    Box box;
    COLORREF fill;
  };
  std::vector<Band> bands_;
};

}  // namespace baleport::app::win32
