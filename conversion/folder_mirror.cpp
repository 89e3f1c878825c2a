#include "conversion/folder_mirror.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "files/file_attributes.h"
#include "support/path_separator.h"
#include "support/utf16_order.h"

namespace baleport {
namespace {

constexpr char kCreatingCaption[] = "Creating Outlook Folders... ";

// A leftover drive mark ("X:\") in a relative path: keep what follows the first mark,
// up to the next one. Only drive-letter systems have such marks, and there no name holds
// "\", so the text form splits back into the same names.
void DropDrivePrefix(FolderPieces& pieces) {
  if constexpr (kPathSeparator == '\\') {
    std::string p = JoinPieces(pieces);
    const size_t mark = p.find(":\\");
    if (mark == std::string::npos) return;
    const size_t from = mark + 2;
    const size_t next = p.find(":\\", from);
    pieces = RelativePieces(p.substr(from, next == std::string::npos ? std::string::npos : next - from), "");
  }
}

void CreateTopLevelFolder(RunContext& run, const std::string& entry) {
  const std::string p = MapDefaultFolders({entry}, run.inboxName, run.sentName).front();

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

// Creates the missing folders reported by the failing lookup of `parent`, one per attempt,
// as long as that brings the lookup closer to success. Any other failure ends the attempts:
// no folder made can mend it.
Result<std::unique_ptr<RDOFolder>> CreateMissingParent(RunContext& run, const FolderPieces& parent, Status failure) {
  std::string previous;
  for (int attempt = 0; attempt < kMaxParentAttempts; ++attempt) {
    const std::optional<std::string> named = MissingFolderName(failure);
    run.Yield();
    if (!named || (attempt > 0 && *named == previous)) break;
    const std::string& missing = *named;

    const FolderPieces base = attempt == 0 ? FolderPieces{} : FolderPieces{previous};
    if (Result<std::unique_ptr<RDOFolder>> folder = OpenStoreFolder(run, base); folder.ok()) {
      (void)(*folder)->Folders().Add(missing, kFolderTypeMail);  // passed over: the lookup tells
    }
    Result<std::unique_ptr<RDOFolder>> found = OpenStoreFolder(run, missing.empty() ? FolderPieces{} : parent);
    if (found.ok()) return found;
    failure = found.status();
    previous = missing;
  }
  return failure;
}

void CreateNestedFolder(RunContext& run, const FolderPieces& p) {
  if (IsReservedFolder(p)) return;
  const std::string& ownName = p.back();
  const FolderPieces parentPath =
      MapDefaultFolders(FolderPieces(p.begin(), p.end() - 1), run.inboxName, run.sentName);

  Result<std::unique_ptr<RDOFolder>> parent = OpenStoreFolder(run, parentPath);
  if (!parent.ok()) parent = CreateMissingParent(run, parentPath, parent.status());
  if (!parent.ok()) return;  // left uncreated; its messages fail and are logged

  run.Yield();
  (void)(*parent)->Folders().Add(ownName, kFolderTypeMail);  // a taken name stays as it is
  run.Yield();
  run.controls.SetCaption(CaptionControl::LblCurrentDBX, kCreatingCaption + ownName);
}

bool HasMark(const FolderPieces& pieces) {
  return std::any_of(pieces.begin(), pieces.end(), [](const std::string& name) { return name.find('!') != std::string::npos; });
}

}  // namespace

Result<std::unique_ptr<RDOFolder>> OpenStoreFolder(RunContext& run, const FolderPieces& pieces) {
  Result<std::unique_ptr<RDOStore>> store = run.session.GetStoreFromID(run.storeEntryId);
  if (!store.ok()) return store.status();
  Result<std::unique_ptr<RDOFolder>> folder = (*store)->IPMRootFolder();
  for (const std::string& name : pieces) {
    if (!folder.ok()) break;
    // Empty pieces stand for the separators at the ends of the store form.
    if (!name.empty()) folder = (*folder)->Folders().Item(name);
  }
  return folder;
}

bool IsReservedFolder(const FolderPieces& relative) {
  static constexpr std::array<std::string_view, 7> kAnyDepth = {
      "Calendar", "Contacts", "Emailed Contacts", "Tasks", "Sent", "Notebook", "Conversations"};
  if (relative == FolderPieces{"", "Inbox"}) return true;
  return relative.size() > 1 &&
         std::find(kAnyDepth.begin(), kAnyDepth.end(), std::string_view(relative.back())) != kAnyDepth.end();
}

std::vector<FolderPieces> BuildFolderList(RunContext& run, const KeyedCollection& foundFolders) {
  std::vector<std::pair<std::string, FolderPieces>> list;  // the store form, for the order
  std::string candidate;
  for (const std::string_view found : foundFolders) {
    run.Yield();
    // A folder gone since the search repeats the previous candidate, dropped below.
    if (std::string folder(found); FolderExists(folder)) candidate = std::move(folder);
    FolderPieces relative = RelativePieces(candidate, run.sourceRoot);
    if (relative.size() > 1 && relative.back().empty()) relative.pop_back();
    std::string shown = JoinPieces(relative);
    run.controls.SetCaption(CaptionControl::LblCurrentDBX, "Reading Folder(s)... " + shown);
    if (!shown.empty()) list.emplace_back(std::move(shown), std::move(relative));
  }
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    const int order = CompareUtf16(a.first, b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  run.Yield();
  list.erase(std::unique(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.second == b.second; }),
             list.end());
  run.Yield();
  std::vector<FolderPieces> folders;
  folders.reserve(list.size());
  for (auto& entry : list) folders.push_back(std::move(entry.second));
  return folders;
}

void CreateFolders(RunContext& run, const std::vector<FolderPieces>& folderList) {
  for (FolderPieces p : folderList) {
    if (HasMark(p)) continue;
    run.Yield();
    DropDrivePrefix(p);
    if (p.size() == 1) {
      CreateTopLevelFolder(run, p.front());
    } else {
      CreateNestedFolder(run, p);
    }
  }
}

}  // namespace baleport
