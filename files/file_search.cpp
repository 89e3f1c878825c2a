#include "files/file_search.h"

#include <limits>
#include <set>
#include <vector>

#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "files/find.h"
#include "support/path_separator.h"
#include "support/pending_events.h"

namespace baleport {

KeyedCollection FoundFiles;
KeyedCollection FoundFolders;

namespace {

struct Search {
  const std::string& pattern;
  int32_t& fileCounter;
  int32_t& folderCounter;
  SearchProgress& progress;
  std::vector<UnreadableFolder>& unreadable;
  // The folders entered so far; a link back into the tree leads to one of them.
  std::set<FolderIdentity> entered;
};

// What a listing of a folder with no entry at all ends with (a drive root lists no "." and "..").
constexpr int32_t kErrorFileNotFound = 2;

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

std::optional<FolderIdentity> IdentityOf(const std::string& folder) {
  return ActiveFileSystemApi().IdentifyFolder(LongPathBuffer(folder));
}

// True when the folder is new to this search (or cannot be identified, and so cannot
// close a loop that the guard could see).
bool EnterOnce(Search& search, const std::string& folder) {
  const std::optional<FolderIdentity> identity = IdentityOf(folder);
  return !identity || search.entered.insert(*identity).second;
}

Status Advance(int32_t& counter, const char* what, const std::string& added) {
  if (counter == std::numeric_limits<int32_t>::max()) {
    return Status::Error(std::string(what) + " counter overflows past 2147483647 after adding \"" + added + "\"");
  }
  ++counter;
  return Status::Ok();
}

// Adds `item` under prefix + counter, closing the open enumeration when that fails.
Status AddNumbered(KeyedCollection& collection, const char* collection_name, const std::string& item,
                   char prefix, int32_t counter, FindEntry& entry) {
  Status added = collection.Add(item, prefix + std::to_string(counter));
  if (!added.ok()) {
    FindEnd(entry);
    return added.WithContext(std::string("adding \"") + item + "\" to " + collection_name);
  }
  return added;
}

Status SearchFolder(Search& search, std::string& folderPath) {
  if (folderPath.empty() || folderPath.back() != kPathSeparator) folderPath += kPathSeparator;
  ProcessPendingEvents();

  std::vector<std::string> subfolders;
  FindEntry entry;
  if (FindFirst(folderPath + "*", entry) != kInvalidFindHandle) {
    do {
      ProcessPendingEvents();
      const std::string& name = entry.name;
      if (IsDotEntry(name)) continue;
      ProcessPendingEvents();
      // The attributes the listing delivered with the name, as a query of the path would
      // give them (links answer for themselves on Windows, for their target on POSIX).
      if (entry.attributes & kAttributeDirectory) {
        ProcessPendingEvents();
        subfolders.push_back(name);
        BALEPORT_RETURN_IF_ERROR(
            AddNumbered(FoundFolders, "FoundFolders", folderPath + name, 'Z', search.folderCounter, entry));
        if (Status s = Advance(search.folderCounter, "folder", folderPath + name); !s.ok()) {
          FindEnd(entry);
          return s;
        }
      }
    } while (FindNext(entry));
  } else if (LastFileError != kErrorFileNotFound) {
    // A folder that cannot be read is not an empty one: the caller must not report its
    // messages as converted. Its parent's other folders are still searched.
    std::string path = folderPath;
    const bool root = path.size() == 1 || path.ends_with(std::string(":") + kPathSeparator);
    if (!root) path.pop_back();
    search.unreadable.push_back({std::move(path), LastFileError});
    return Status::Ok();
  }

  if (FindFirst(folderPath + search.pattern, entry) != kInvalidFindHandle) {
    ProcessPendingEvents();
    std::string path;  // one buffer for the folder's files
    do {
      ProcessPendingEvents();
      const std::string& name = entry.name;
      if (!IsDotEntry(name) && (entry.attributes & kAttributeDirectory) == 0) {
        path.assign(folderPath).append(name);
        ProcessPendingEvents();
        BALEPORT_RETURN_IF_ERROR(AddNumbered(FoundFiles, "FoundFiles", path, 'K', search.fileCounter, entry));
        if (search.progress.DeleteCheckValue() == 0) {
          search.progress.SetQueueCaption(std::to_string(search.fileCounter) + " Messages Queued for Conversion.");
        }
        if (Status s = Advance(search.fileCounter, "file", path); !s.ok()) {
          FindEnd(entry);
          return s;
        }
      }
    } while (FindNext(entry));
  }

  if (subfolders.empty()) return Status::Ok();
  ProcessPendingEvents();
  for (const std::string& name : subfolders) {
    ProcessPendingEvents();
    if (!EnterOnce(search, folderPath + name)) continue;
    std::string subfolder = folderPath + name + kPathSeparator;
    BALEPORT_RETURN_IF_ERROR(SearchFolder(search, subfolder));
  }
  return Status::Ok();
}

}  // namespace

std::string UnreadableFolder::Reason() const {
  return "cannot be read: " + FileErrorText(systemError);
}

std::string UnreadableFolder::Describe() const { return "the folder " + path + " " + Reason(); }

Status FindFilesRecursive(std::string& folderPath, const std::string& pattern, int32_t& fileCounter,
                          int32_t& folderCounter, SearchProgress& progress,
                          std::vector<UnreadableFolder>& unreadable) {
  Search search{pattern, fileCounter, folderCounter, progress, unreadable, {}};
  EnterOnce(search, folderPath);
  return SearchFolder(search, folderPath);
}

}  // namespace baleport
