// The start page's logic: the choice between the two modes, the help links, and the one
// orderly end of the program (the exit question).
#pragma once

#include "wizard/pages/page_host.h"

namespace baleport {

class StartPage {
 public:
  explicit StartPage(PageHost& host) : host_(host) {}

  // Single Folder selected; the selected option is drawn bold.
  void Form_Load();
  void OptSingle_Click();
  void OptMultiple_Click();
  // Single: the single-folder page, modal over this one. Multiple: that page instead of this.
  void CmdNext_Click();
  void CmdHelp_Click();
  void lblSingleHelp_Click();
  void lblMultipleHelp_Click();
  // The close box: asks whether to exit; false keeps the page.
  bool Form_Unload();

  bool singleMode() const { return single_; }

 private:
  PageHost& host_;
  bool single_ = true;
};

}  // namespace baleport
