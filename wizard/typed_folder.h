// Checks a folder the user may have typed before a page moves on with it.
#pragma once

#include <QString>

namespace baleport {

// Empty when `folder` is a folder that can be listed; otherwise a sentence naming it and
// the reason in the system's own words ("No such file or directory" on Linux).
QString TypedFolderProblem(const QString& folder);

}  // namespace baleport
