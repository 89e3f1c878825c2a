// The Win32 wizard with its dialogs answered by a script: folder picks, save names and
// message-box answers are queued in advance, and the requests recorded. A box with nothing
// queued is answered OK (No for a question), a picker or save dialog as cancelled.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "wizard/win32/win32_wizard.h"

namespace baleport::win32::testing {

class ScriptedWizard : public Win32Wizard {
 public:
  explicit ScriptedWizard(ConversionPageMaker make_conversion_page) : Win32Wizard(std::move(make_conversion_page)) {}

  std::deque<std::string> folder_picks, save_names;
  std::deque<MessageAnswer> answers;
  std::vector<std::string> messages, opened, save_filters;
  bool ended = false;

  MessageAnswer ShowMessageOn(HWND, const MessageBoxRequest& request) override {
    messages.push_back(request.text);
    if (answers.empty()) return request.buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::string BrowseForFolder(Page, const std::string&) override { return Next(folder_picks); }
  std::optional<std::string> AskSaveFileName(HWND, const SaveDialogRequest& request) override {
    save_filters.push_back(request.filter);
    if (save_names.empty()) return std::nullopt;
    return Next(save_names);
  }
  void OpenAddress(const std::string& address) override { opened.push_back(address); }
  void EndProgram() override { ended = true; }

 private:
  static std::string Next(std::deque<std::string>& queue) {
    std::string next = queue.empty() ? "" : queue.front();
    if (!queue.empty()) queue.pop_front();
    return next;
  }
};

}  // namespace baleport::win32::testing
