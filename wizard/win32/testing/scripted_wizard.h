// The Win32 wizard with its dialogs answered by a script: folder picks and message-box answers
// are queued in advance, and the requests recorded. A box with nothing queued is answered OK
// (No for a question), a picker with nothing queued, and every save dialog, as cancelled.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "wizard/win32/win32_wizard.h"

namespace baleport::win32::testing {

class ScriptedWizard : public Win32Wizard {
 public:
  explicit ScriptedWizard(ConversionPageMaker make_conversion_page) : Win32Wizard(std::move(make_conversion_page)) {}

  std::deque<std::string> folder_picks;
  std::deque<MessageAnswer> answers;
  std::vector<std::string> messages, opened;
  bool ended = false;

  MessageAnswer ShowMessageOn(HWND, const MessageBoxRequest& request) override {
    messages.push_back(request.text);
    if (answers.empty()) return request.buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::string BrowseForFolder(Page, const std::string&) override {
    if (folder_picks.empty()) return "";
    std::string pick = folder_picks.front();
    folder_picks.pop_front();
    return pick;
  }
  std::optional<std::string> AskSaveFileName(HWND, const SaveDialogRequest&) override { return std::nullopt; }
  void OpenAddress(const std::string& address) override { opened.push_back(address); }
  void EndProgram() override { ended = true; }
};

}  // namespace baleport::win32::testing
