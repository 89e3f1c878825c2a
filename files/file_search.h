// The message file search: every subfolder of a tree into FoundFolders, every file
// matching a pattern into FoundFiles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// A folder of the tree whose entries could not be listed: none of its files or subfolders
// is recorded. Its own path (without a trailing separator) is in FoundFolders when it is
// not the searched folder itself.
struct UnreadableFolder {
  std::string path;
  int32_t systemError = 0;  // LastFileError of the failed listing

  // "cannot be read (system error <n>)"
  std::string Reason() const;
  // "the folder <path> " + Reason()
  std::string Describe() const;
};

// Searches folderPath (given a trailing separator in place) and all folders below it,
// numbering keys from the caller's counters, which advance by one per item. The search
// yields to pending events before every entry. A linked folder that leads to a folder
// this search has already entered is recorded but not entered again. A folder that cannot
// be listed is appended to `unreadable` and the search goes on beside it. Fails, keeping
// what was added, when a key is already present or a counter would pass 2147483647.
Status FindFilesRecursive(std::string& folderPath, const std::string& pattern, int32_t& fileCounter,
                          int32_t& folderCounter, SearchProgress& progress,
                          std::vector<UnreadableFolder>& unreadable);

}  // namespace baleport
