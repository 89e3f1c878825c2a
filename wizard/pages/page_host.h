// What the wizard's page logic asks of the windows around it: showing and hiding pages,
// message boxes, the folder picker, help links, the end of the program. The Qt and Win32
// front ends implement it over their toolkits, the tests over a script.
#pragma once

#include <optional>
#include <string>

#include "support/dialog_requests.h"

namespace baleport {

enum class Page { kStart, kSingle, kMultiple, kMigateAll };

// The application title: message-box titles, and with the version the start page's caption.
inline constexpr char kAppTitle[] = "Tamsel Baleport";

class PageHost {
 public:
  virtual ~PageHost() = default;

  // Shows `page` modal to every other page, over `owner` (none: centred on the screen), and
  // returns once it is closed or hidden. A page the user closed is loaded afresh first.
  virtual void ShowModal(Page page, std::optional<Page> owner) = 0;
  // Shows `page` and returns at once.
  virtual void ShowModeless(Page page) = 0;
  virtual void Hide(Page page) = 0;
  // The view of `page` shows its logic's state again (after a change the user did not make).
  virtual void Refresh(Page page) = 0;

  // A modal message box over `owner`; the answer is the button pressed.
  virtual MessageAnswer ShowMessage(Page owner, const MessageBoxRequest& request) = 0;
  // The chosen folder, without a trailing separator except for a root; empty when nothing
  // was chosen.
  virtual std::string BrowseForFolder(Page owner, const std::string& title) = 0;
  // Opens the help page at `anchor` ("#single-folder"), or the product's web page; failures
  // go unnoticed.
  virtual void OpenHelp(const std::string& anchor) = 0;
  virtual void OpenProductPage() = 0;
  // The user's desktop folder, or the home folder when there is none.
  virtual std::string DesktopFolder() = 0;
  // Ends the program at once, without closing logic of any page.
  virtual void EndProgram() = 0;
};

}  // namespace baleport
