// The message file search: every subfolder of a tree into FoundFolders, every file
// matching a pattern into FoundFiles.
#pragma once

#include <cstdint>
#include <string>

#include "files/keyed_collection.h"
#include "support/status.h"

namespace baleport {

// Process-wide results. FoundFiles: full file paths under keys "K<n>"; FoundFolders:
// subfolder paths without a trailing separator under keys "Z<n>". Emptying them before
// a search is the caller's business.
extern KeyedCollection FoundFiles;
extern KeyedCollection FoundFolders;

// What the search touches on the conversion page.
class SearchProgress {
 public:
  virtual ~SearchProgress() = default;
  // The "delete source files" check box: 0 unchecked, 1 checked, 2 grayed.
  virtual int DeleteCheckValue() = 0;
  // The queue label; set only while DeleteCheckValue() is 0.
  virtual void SetQueueCaption(const std::string& caption) = 0;
};

// Searches folderPath (given a trailing separator in place) and all folders below it,
// numbering keys from the caller's counters, which advance by one per item. The search
// yields to pending events before every entry. A linked folder that leads to a folder
// this search has already entered is recorded but not entered again. Fails, keeping
// what was added, when a key is already present or a counter would pass 2147483647.
Status FindFilesRecursive(std::string& folderPath, const std::string& pattern, int32_t& fileCounter,
                          int32_t& folderCounter, SearchProgress& progress);

}  // namespace baleport
