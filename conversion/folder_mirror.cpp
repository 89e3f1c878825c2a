#include "conversion/folder_mirror.h"

#include <array>
#include <memory>
#include <string_view>

#include "conversion/folder_paths.h"
#include "files/file_attributes.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

constexpr char kCreatingCaption[] = "Creating Outlook Folders... ";
constexpr char kMissingPrefix[] = "Folder \"";
constexpr char kMissingSuffix[] = "\" does not exist";

// The name the store reports missing in a failed folder lookup.
std::string MissingFolderName(const Status& failure) {
  return ReplaceAll(ReplaceAll(failure.message(), kMissingPrefix, ""), kMissingSuffix, "");
}

// A leftover drive mark ("X:\") in a relative path: keep what follows the first mark,
// up to the next one. Only drive-letter systems have such marks.
void DropDrivePrefix(std::string& p) {
  if constexpr (kPathSeparator == '\\') {
    const size_t mark = p.find(":\\");
    if (mark == std::string::npos) return;
    const size_t from = mark + 2;
    const size_t next = p.find(":\\", from);
    p = p.substr(from, next == std::string::npos ? std::string::npos : next - from);
  }
}

void CreateTopLevelFolder(RunContext& run, const std::string& entry) {
  const std::string p = MapDefaultFolders(entry, run.inboxName, run.sentName);

  Result<std::unique_ptr<RDOStore>> store = run.session.Stores().GetStoreFromID(run.storeEntryId);
  Result<std::unique_ptr<RDOFolder>> root =
      store.ok() ? (*store)->IPMRootFolder() : Result<std::unique_ptr<RDOFolder>>(store.status());

  std::string found;
  if (root.ok()) {
    RDOFolders& folders = (*root)->Folders();
    const Result<int32_t> count = folders.Count();
    for (int32_t i = 1; count.ok() && i <= *count; ++i) {
      run.Yield();
      Result<std::unique_ptr<RDOFolder>> folder = folders.Item(i);
      if (folder.ok() && (*folder)->Name() == p) found = p;
    }
  }

  // Inbox and Sent are the store's own folders; "Emailed Contacts" is never created.
  if (found.empty() && p != "Emailed Contacts") {
    if (p != run.inboxName && p != run.sentName && root.ok()) {
      (void)(*root)->Folders().Add(p, kFolderTypeMail);  // a taken name stays as it is
    }
    run.controls.SetCaption(CaptionControl::LblCurrentDBX, kCreatingCaption + p);
  }
  run.Yield();
}

Result<std::unique_ptr<RDOFolder>> LookUpParent(RunContext& run, const std::string& parentPath) {
  return run.session.GetFolderFromPath(StoreFolderPath(run.storeDisplayName, parentPath));
}

// Creates the missing folders reported by the failing lookup of `parentPath`, one per
// attempt, as long as that brings the lookup closer to success.
Result<std::unique_ptr<RDOFolder>> CreateMissingParent(RunContext& run, const std::string& parentPath, Status failure) {
  const std::string top = "\\\\" + run.storeDisplayName;
  std::string previous;
  for (int attempt = 0; attempt < kMaxParentAttempts; ++attempt) {
    const std::string missing = MissingFolderName(failure);
    run.Yield();
    if (attempt > 0 && missing == previous) break;

    const std::string base = attempt == 0 ? top : top + "\\" + previous;
    if (Result<std::unique_ptr<RDOFolder>> folder = run.session.GetFolderFromPath(base); folder.ok()) {
      (void)(*folder)->Folders().Add(missing, kFolderTypeMail);  // passed over: the lookup tells
    }
    Result<std::unique_ptr<RDOFolder>> parent =
        missing.empty() ? run.session.GetFolderFromPath(top + "\\") : LookUpParent(run, parentPath);
    if (parent.ok()) return parent;
    failure = parent.status();
    previous = missing;
  }
  return failure;
}

void CreateNestedFolder(RunContext& run, const std::string& p) {
  if (IsReservedFolder(p)) return;
  const size_t cut = p.rfind('\\');
  const std::string ownName = p.substr(cut + 1);
  const std::string parentPath = MapDefaultFolders(p.substr(0, cut), run.inboxName, run.sentName);

  Result<std::unique_ptr<RDOFolder>> parent = LookUpParent(run, parentPath);
  if (!parent.ok()) parent = CreateMissingParent(run, parentPath, parent.status());
  if (!parent.ok()) return;  // left uncreated; its messages fail and are logged

  run.Yield();
  (void)(*parent)->Folders().Add(ownName, kFolderTypeMail);  // a taken name stays as it is
  run.Yield();
  run.controls.SetCaption(CaptionControl::LblCurrentDBX, kCreatingCaption + ownName);
}

}  // namespace

bool IsReservedFolder(const std::string& relative) {
  static constexpr std::array<std::string_view, 7> kAnyDepth = {
      "\\Calendar", "\\Contacts", "\\Emailed Contacts", "\\Tasks", "\\Sent", "\\Notebook", "\\Conversations"};
  if (relative == "\\Inbox") return true;
  for (std::string_view name : kAnyDepth) {
    if (relative.ends_with(name)) return true;
  }
  return false;
}

TextList BuildFolderList(RunContext& run, const KeyedCollection& foundFolders) {
  TextList list(foundFolders.Count() + 1);
  size_t fill = 0;
  std::string candidate;
  for (const std::string_view found : foundFolders) {
    run.Yield();
    // A folder gone since the search repeats the previous candidate, dropped below.
    if (std::string folder(found); FolderExists(folder)) candidate = std::move(folder);
    std::string relative = RelativeStoreForm(candidate, run.sourceRoot);
    if (!relative.empty()) {
      if (relative.ends_with('\\')) relative.pop_back();
      list[fill++] = relative;
    }
    run.controls.SetCaption(CaptionControl::LblCurrentDBX, "Reading Folder(s)... " + relative);
  }
  SortStrings(list, 0, static_cast<int32_t>(list.size()) - 1);
  run.Yield();
  RemoveDuplicateStrings(list);
  run.Yield();
  return list;
}

void CreateFolders(RunContext& run, const TextList& folderList) {
  for (std::string p : folderList) {
    if (p.empty() || p.find('!') != std::string::npos) continue;
    run.Yield();
    DropDrivePrefix(p);
    if (p.find('\\') == std::string::npos) {
      CreateTopLevelFolder(run, p);
    } else {
      CreateNestedFolder(run, p);
    }
  }
}

}  // namespace baleport
