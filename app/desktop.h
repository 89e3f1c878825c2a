// What the pages ask of the desktop: message boxes, the folder picker, the save dialog,
// opening documents and ending the program. Pages reach these only through this
// interface so that tests can script the user's answers.
#pragma once

#include <QString>

class QWidget;

namespace baleport::app {

enum class MessageIcon { kNone, kInformation, kQuestion, kWarning };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

struct MessageRequest {
  QString text;  // lines joined with "\r\n"
  QString title;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
  MessageAnswer default_answer = MessageAnswer::kOk;  // kYes or kNo for a Yes/No box
  QString details;  // the underlying reason, shown apart from the text; may be empty
};

struct SaveRequest {
  // Entries "description|pattern", several joined with "|".
  QString filter;
  QString proposed_name;  // a file name without folder
  QString title;          // empty: the dialog's own title
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box over `owner` (none: over the active window).
  virtual MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) = 0;
  // The chosen folder, without a trailing separator except for the root; empty when
  // nothing was chosen.
  virtual QString BrowseForFolder(QWidget* owner, const QString& title) = 0;
  // The chosen path, or empty when the user cancelled.
  virtual QString AskSaveFileName(QWidget* owner, const SaveRequest& request) = 0;
  // Hands a document or web address to the desktop; failures go unnoticed.
  virtual void OpenDocument(const QString& target) = 0;
  // Ends the program at once, without closing logic of any page.
  virtual void EndProgram() = 0;
};

}  // namespace baleport::app
