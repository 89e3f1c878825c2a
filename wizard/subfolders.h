// The immediate subfolders of a folder, as the multiple-folder page lists them.
#pragma once

#include <QString>
#include <vector>

#include "support/status.h"

namespace baleport {

struct Subfolder {
  QString name;
  QString path;  // native form
};

// Every immediate subfolder of `folder`, hidden ones too, ordered by name regardless of
// case (the order a Windows volume lists them in). Fails, naming the folder, when it is
// missing or cannot be read.
Result<std::vector<Subfolder>> ListSubfolders(const QString& folder);

}  // namespace baleport
