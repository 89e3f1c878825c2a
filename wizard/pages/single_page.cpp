#include "wizard/pages/single_page.h"

#include "files/folder_listing.h"

namespace baleport {

bool HasText(const std::string& text) { return text.find_first_not_of(" \t\r\n") != std::string::npos; }

void ShowWarning(PageHost& host, Page page, const std::string& text) {
  host.ShowMessage(page, {text, kAppTitle, MessageIcon::kWarning, MessageButtons::kOk, ""});
}

void SinglePage::Form_Load() {
  source_.clear();
  host_.Refresh(Page::kSingle);
}

void SinglePage::txtSourceMailbox_Change(const std::string& text) { source_ = text; }

bool SinglePage::nextEnabled() const { return HasText(source_); }

void SinglePage::CmdAddFolder_Click() {
  const std::string folder = host_.BrowseForFolder(Page::kSingle, "Choose Source Folder...");
  if (folder.empty()) return;
  source_ = folder;
  host_.Refresh(Page::kSingle);
}

void SinglePage::CmdNext_Click() {
  if (!nextEnabled()) return;
  if (const std::string problem = TypedFolderProblem(source_); !problem.empty()) {
    ShowWarning(host_, Page::kSingle, problem);
    return;
  }
  host_.ShowModal(Page::kMigateAll, std::nullopt);
}

void SinglePage::lblSingleMailbox_Click() { host_.OpenHelp("#select-folder"); }

}  // namespace baleport
