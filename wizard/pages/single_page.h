// The single-folder page's logic: one source folder, picked with the folder chooser or
// typed, then on to the conversion page.
#pragma once

#include <string>

#include "wizard/pages/page_host.h"

namespace baleport {

class SinglePage {
 public:
  explicit SinglePage(PageHost& host) : host_(host) {}

  // An empty box; Next disabled.
  void Form_Load();
  // The user changed the box: typing a path is as good as picking one.
  void txtSourceMailbox_Change(const std::string& text);
  void CmdAddFolder_Click();
  // On to the conversion page with the box's text as it stands, once that folder can be
  // listed; otherwise a warning naming it, and the page stays.
  void CmdNext_Click();
  void lblSingleMailbox_Click();

  const std::string& sourceMailbox() const { return source_; }
  // Whenever the box holds more than blanks.
  bool nextEnabled() const;

 private:
  PageHost& host_;
  std::string source_;
};

// A warning box over `page` with the application's title.
void ShowWarning(PageHost& host, Page page, const std::string& text);

// Whether `text` holds more than blanks.
bool HasText(const std::string& text);

}  // namespace baleport
