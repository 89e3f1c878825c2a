#include "wizard/pages/start_page.h"

namespace baleport {

void StartPage::Form_Load() { OptSingle_Click(); }

void StartPage::OptSingle_Click() {
  single_ = true;
  host_.Refresh(Page::kStart);
}

void StartPage::OptMultiple_Click() {
  single_ = false;
  host_.Refresh(Page::kStart);
}

void StartPage::CmdNext_Click() {
  if (single_) {
    host_.ShowModal(Page::kSingle, Page::kStart);
  } else {
    host_.ShowModeless(Page::kMultiple);
    host_.Hide(Page::kStart);
  }
}

void StartPage::CmdHelp_Click() { host_.OpenProductPage(); }
void StartPage::lblSingleHelp_Click() { host_.OpenHelp("#single-folder"); }
void StartPage::lblMultipleHelp_Click() { host_.OpenHelp("#multiple-folders"); }

bool StartPage::Form_Unload() {
  MessageBoxRequest question{"Are you sure you want to exit now?", kAppTitle, MessageIcon::kQuestion,
                             MessageButtons::kYesNo, ""};
  if (host_.ShowMessage(Page::kStart, question) != MessageAnswer::kYes) return false;
  host_.EndProgram();
  return true;
}

}  // namespace baleport
