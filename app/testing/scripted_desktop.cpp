#include "app/testing/scripted_desktop.h"

namespace baleport::app::testing {
namespace {

template <typename T>
bool Take(std::deque<T>& queue, T& value) {
  if (queue.empty()) return false;
  value = queue.front();
  queue.pop_front();
  return true;
}

}  // namespace

MessageAnswer ScriptedDesktop::ShowMessage(QWidget*, const MessageRequest& request) {
  messages.push_back(request);
  if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  MessageAnswer answer = MessageAnswer::kNo;
  if (!Take(answers, answer)) unscripted << QStringLiteral("message box: ") + request.text;
  return answer;
}

QString ScriptedDesktop::BrowseForFolder(QWidget*, const QString& title) {
  QString pick;
  if (!Take(folder_picks, pick)) unscripted << QStringLiteral("folder picker: ") + title;
  return pick;
}

QString ScriptedDesktop::AskSaveFileName(QWidget*, const SaveRequest& request) {
  unscripted << QStringLiteral("save dialog: ") + request.proposed_name;
  return {};
}

void ScriptedDesktop::EndProgram() { ended = true; }

}  // namespace baleport::app::testing
