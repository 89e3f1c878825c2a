// The Desktop of the running program: Qt's message boxes and file dialogs, the shell
// helpers, and the end of the event loop.
#pragma once

#include "app/desktop.h"

namespace baleport::app {

class QtDesktop : public Desktop {
 public:
  MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) override;
  QString BrowseForFolder(QWidget* owner, const QString& title) override;
  QString AskSaveFileName(QWidget* owner, const SaveRequest& request) override;
  void OpenDocument(const QString& target) override;
  void EndProgram() override;
};

}  // namespace baleport::app
