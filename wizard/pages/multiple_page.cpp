#include "wizard/pages/multiple_page.h"

#include "files/folder_listing.h"
#include "support/path_separator.h"
#include "support/pending_events.h"
#include "wizard/pages/single_page.h"

namespace baleport {

void MultiplePage::Form_Load() {
  rows_.clear();
  alternate_ = false;
  check_all_ = false;
  check_all_caption_ = "Check All";
  check_all_enabled_ = false;
  output_ = host_.DesktopFolder();
  host_.Refresh(Page::kMultiple);
}

void MultiplePage::CmdAddFolder_Click() {
  std::string root = host_.BrowseForFolder(Page::kMultiple, "Choose Source Folder...");
  if (root.empty()) return;
  if (root.back() != kPathSeparator) root += kPathSeparator;
  const Result<std::vector<Subfolder>> subfolders = ListSubfolders(root);
  if (!subfolders.ok()) {
    ShowWarning(host_, Page::kMultiple, subfolders.status().message());
    return;
  }
  rows_.clear();
  for (const Subfolder& subfolder : *subfolders) {
    ProcessPendingEvents();
    rows_.push_back({subfolder.name, root + subfolder.name});
  }
  alternate_ = alternate_ || !rows_.empty();
  check_all_enabled_ = true;
  chkSelectAll_Click(false);
  host_.Refresh(Page::kMultiple);
}

void MultiplePage::chkSelectAll_Click(bool checked) {
  check_all_ = checked;
  // The caption is set within each row's step, so an empty list leaves it as it was.
  for (ListRow& row : rows_) {
    ProcessPendingEvents();
    row.checked = checked;
    check_all_caption_ = checked ? "Uncheck All" : "Check All";
  }
  host_.Refresh(Page::kMultiple);
}

void MultiplePage::lv_ItemCheck(int index, bool checked) {
  if (index >= 0 && index < static_cast<int>(rows_.size())) rows_[index].checked = checked;
}

void MultiplePage::txtOutputFolder_Change(const std::string& text) { output_ = text; }

void MultiplePage::cmdChange_Click() {
  const std::string folder = host_.BrowseForFolder(Page::kMultiple, "Choose Output Folder...");
  if (folder.empty()) return;
  output_ = folder;
  host_.Refresh(Page::kMultiple);
}

void MultiplePage::CmdNext_Click() {
  bool any_checked = false;
  for (size_t i = 0; i < rows_.size() && !any_checked; ++i) {
    ProcessPendingEvents();
    any_checked = rows_[i].checked;
  }
  if (!any_checked) {
    host_.ShowMessage(Page::kMultiple,
                      {"No Folders Selected !\r\nPlease Select alteast one folder to convert.",
                       "Select Folder(s) to Convert", MessageIcon::kInformation, MessageButtons::kOk, ""});
    return;
  }
  std::string output = output_;
  output.erase(0, output.find_first_not_of(" \t"));
  output.erase(output.find_last_not_of(" \t") + 1);
  if (const std::string problem = TypedFolderProblem(output); !problem.empty()) {
    ShowWarning(host_, Page::kMultiple, problem);
    return;
  }
  host_.ShowModal(Page::kMigateAll, Page::kMultiple);
}

void MultiplePage::cmdBack_Click() {
  host_.ShowModeless(Page::kStart);
  host_.Hide(Page::kMultiple);
}

void MultiplePage::lblSelectRootFolder_Click() { host_.OpenHelp("#select-root-folder"); }

bool MultiplePage::Form_Unload() {
  cmdBack_Click();
  return false;
}

void MultiplePage::MarkRowTaken(int position) {
  if (position < 1 || position > static_cast<int>(rows_.size())) return;
  rows_[position - 1].taken = true;
  host_.Refresh(Page::kMultiple);
}

}  // namespace baleport
