// The multiple-folder page's logic: a root folder's immediate subfolders listed with check
// boxes, Check All, the output folder, and on to the conversion page.
#pragma once

#include <string>
#include <vector>

#include "wizard/pages/page_host.h"

namespace baleport {

struct ListRow {
  std::string user;    // the folder's own name, first column
  std::string folder;  // root + name as shown, second column (and its tool tip)
  bool checked = false;
  bool taken = false;  // its store was written: drawn green with a dimmed icon
};

class MultiplePage {
 public:
  explicit MultiplePage(PageHost& host) : host_(host) {}

  // No rows, Check All off and disabled, the desktop as output folder.
  void Form_Load();
  // Lists the subfolders of the picked root (a warning naming it when it cannot be listed).
  void CmdAddFolder_Click();
  // Check All changed, by the user or by the page: every row follows it.
  void chkSelectAll_Click(bool checked);
  // The user ticked or cleared row `index` (0-based).
  void lv_ItemCheck(int index, bool checked);
  void txtOutputFolder_Change(const std::string& text);
  void cmdChange_Click();
  // On to the conversion page when a row is checked and the output folder can be listed.
  void CmdNext_Click();
  // Back to the start page, which keeps its choice; this page keeps its contents.
  void cmdBack_Click();
  void lblSelectRootFolder_Click();
  // The close box is Back, since the start page is hidden meanwhile; the page stays loaded.
  bool Form_Unload();
  // Row `position` (1-based): its store was written.
  void MarkRowTaken(int position);

  const std::vector<ListRow>& rows() const { return rows_; }
  bool checkAll() const { return check_all_; }
  bool checkAllEnabled() const { return check_all_enabled_; }
  const std::string& checkAllCaption() const { return check_all_caption_; }
  const std::string& outputFolder() const { return output_; }
  // Rows alternate white and light yellow once the list has been filled.
  bool alternateColours() const { return alternate_; }

 private:
  PageHost& host_;
  std::vector<ListRow> rows_;
  bool check_all_ = false;
  bool check_all_enabled_ = false;
  std::string check_all_caption_ = "Check All";
  std::string output_;
  bool alternate_ = false;
};

}  // namespace baleport
