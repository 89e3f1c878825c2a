// The folders the front ends list: the subfolders of a root, in one order everywhere, and
// whether a typed folder can be used. Paths are UTF-8 in the system's own form.
#pragma once

#include <string>
#include <vector>

#include "support/status.h"

namespace baleport {

struct Subfolder {
  std::string name;
  std::string path;
};

// Every immediate subfolder of `folder`, hidden ones too, in NameLess order (by name
// regardless of case, as a Windows volume lists them). Fails, naming the folder, when it is missing or
// cannot be read.
Result<std::vector<Subfolder>> ListSubfolders(const std::string& folder);

// Empty when `folder` is a folder that can be listed; otherwise a sentence naming it and the
// reason in the system's own words ("No such file or directory" on Linux).
std::string TypedFolderProblem(const std::string& folder);

}  // namespace baleport
