// What the command line can tell about a store path before a run starts, so that a path
// that cannot be a store is refused in one line with nothing written (no log, no store).
#pragma once

#include <string>

#include "support/status.h"

namespace baleport {

// A folder that new stores can be written into: it exists, is a folder, and is writable.
Status CheckOutputFolder(const std::string& folder);

// `path` (absolute) can be written or added to: its folder can take a new store and, when
// the file exists, it is a store the engine opens.
Status CheckStorePath(const std::string& path);

}  // namespace baleport
