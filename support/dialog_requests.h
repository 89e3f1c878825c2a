// Modal message boxes and the save dialog as the page logic and the conversion run ask for
// them, free of any window toolkit; each front end shows them with its own.
#pragma once

#include <string>

namespace baleport {

enum class MessageIcon { kNone, kInformation, kQuestion, kWarning };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

struct MessageBoxRequest {
  std::string text;  // lines joined with "\r\n"
  std::string title;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
  // The underlying reason (an engine failure), shown apart from the text, for example as
  // expandable details; empty when there is none.
  std::string details;
};

struct SaveDialogRequest {
  // Entries "description|pattern", several joined with "|":
  // "Outlook Data File(s) (*.pst)|*.pst".
  std::string filter;
  std::string proposedFileName;  // a name without folder; the dialog's own folder applies
  std::string title;             // empty: the dialog's own title
};

}  // namespace baleport
