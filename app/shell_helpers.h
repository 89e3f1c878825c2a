// The desktop's open command and folder chooser, as the pages' help links and
// "Select..." / "Change..." buttons use them.
#pragma once

#include <QString>

class QWidget;

namespace baleport::app {

// Opens a web address or document with the desktop's handler for it. The empty text is
// ignored; a target that cannot be opened goes unnoticed.
void OpenDocument(const QString& target);

// The folder chooser, modal to `owner`, titled `title`. Returns the chosen folder in
// native form, without a trailing separator except for a root ("/", "C:\"); empty when
// the user cancelled.
QString BrowseForFolder(QWidget* owner, const QString& title);

}  // namespace baleport::app
