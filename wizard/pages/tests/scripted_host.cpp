#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {

namespace {

std::string PageName(Page page) {
  static const char* const names[] = {"frmStart", "frmSingle", "frmMultiple", "frmMigateAll"};
  return names[static_cast<int>(page)];
}

}  // namespace

void ScriptedHost::EnsureLoaded(Page page) {
  if (!loaded_.insert(page).second) return;
  switch (page) {
    case Page::kStart: pages.start.Form_Load(); break;
    case Page::kSingle: pages.single.Form_Load(); break;
    case Page::kMultiple: pages.multiple.Form_Load(); break;
    case Page::kMigateAll: break;  // its logic is the conversion page's, tested with it
  }
}

bool ScriptedHost::Close(Page page) {
  const bool closes = page == Page::kStart      ? pages.start.Form_Unload()
                      : page == Page::kMultiple ? pages.multiple.Form_Unload()
                                                : true;
  if (closes) {
    visible_.erase(page);
    loaded_.erase(page);
  }
  return closes;
}

void ScriptedHost::ShowModal(Page page, std::optional<Page> owner) {
  std::string shown = "modal " + PageName(page);
  if (owner) shown += " over " + PageName(*owner);
  shows.push_back(shown);
  EnsureLoaded(page);
  Close(page);
}

void ScriptedHost::ShowModeless(Page page) {
  shows.push_back("modeless " + PageName(page));
  EnsureLoaded(page);
  visible_.insert(page);
}

void ScriptedHost::Hide(Page page) {
  shows.push_back("hide " + PageName(page));
  visible_.erase(page);
}

MessageAnswer ScriptedHost::ShowMessage(Page, const MessageBoxRequest& request) {
  messages.push_back(request);
  if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return Take(answers, MessageAnswer::kNo, "message: " + request.text);
}

std::string ScriptedHost::BrowseForFolder(Page, const std::string& title) {
  return Take(folder_picks, std::string(), "folder picker: " + title);
}

}  // namespace baleport::testing
