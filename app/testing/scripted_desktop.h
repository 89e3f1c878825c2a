// A Desktop whose user is a script: answers and folder picks are queued in advance, and the
// message boxes recorded for the test to check; documents are not opened. A request nothing was
// queued for (every save dialog) is recorded in `unscripted` and answered as a cancel (No, empty).
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "app/desktop.h"

namespace baleport::app::testing {

class ScriptedDesktop : public Desktop {
 public:
  std::deque<MessageAnswer> answers;
  std::deque<QString> folder_picks;

  std::vector<MessageRequest> messages;
  bool ended = false;
  QStringList unscripted;

  MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) override;
  QString BrowseForFolder(QWidget* owner, const QString& title) override;
  QString AskSaveFileName(QWidget* owner, const SaveRequest& request) override;
  void OpenDocument(const QString&) override {}
  void EndProgram() override;
};

}  // namespace baleport::app::testing
