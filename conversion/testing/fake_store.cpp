#include "conversion/testing/fake_store.h"

#include <filesystem>
#include <utility>

#include "mapi/tags.h"
#include "support/filesystem_path.h"

namespace baleport {
namespace {

constexpr int32_t kHasAttachments = 0x10;

class FakeFolderHandle;

class FakeMapiObject : public MapiObject {
 public:
  explicit FakeMapiObject(FakeItem& item) : item_(item) {}
  FakeItem& item() { return item_; }

 private:
  FakeItem& item_;
};

// The path only: what matters to the run is which file was read ahead for which import.
struct FakeSourceRead final : SourceRead {
  explicit FakeSourceRead(std::string file) : path(std::move(file)) {}
  std::string path;
};

class FakeMail : public RDOMail {
 public:
  FakeMail(FakeStoreLibrary& library, FakeFolder& folder) : library_(library), folder_(folder) {}

  Status Import(const std::string& path, const SourceRead& read) override {
    const auto* ahead = dynamic_cast<const FakeSourceRead*>(&read);
    if (ahead == nullptr || ahead->path != path) return Status::Error("importing " + path + " from another reading");
    return Import(path, kImportFormatMsg);
  }
  Status Import(const std::string& path, int16_t format) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kImport, path));
    if (format != kImportFormatMsg) return Status::Error("unknown import format " + std::to_string(format));
    if (!std::filesystem::is_regular_file(Utf8Path(path))) return Status::Error("cannot read " + path + ": no such file");
    item_.source = path;
    library_.journal.push_back("Import " + path);
    return Status::Ok();
  }
  MapiObject& MAPIOBJECT() override { return mapi_; }
  Status Save() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kSave, item_.source));
    if (saved_) {
      folder_.items[index_] = item_;
    } else {
      index_ = folder_.items.size();
      folder_.items.push_back(item_);
      saved_ = true;
    }
    library_.journal.push_back("Save " + item_.source);
    return Status::Ok();
  }
  Status Delete() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kDelete, item_.source));
    if (saved_) folder_.items.erase(folder_.items.begin() + static_cast<std::ptrdiff_t>(index_));
    saved_ = false;
    library_.journal.push_back("Delete " + item_.source);
    return Status::Ok();
  }

 private:
  FakeStoreLibrary& library_;
  FakeFolder& folder_;
  FakeItem item_;
  FakeMapiObject mapi_{item_};
  bool saved_ = false;
  size_t index_ = 0;
};

class FakeItems : public RDOItems {
 public:
  FakeItems(FakeStoreLibrary& library, FakeFolder& folder) : library_(library), folder_(folder) {}
  Result<std::unique_ptr<RDOMail>> Add(int16_t kind) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kItemsAdd, folder_.name));
    if (kind != kItemKindMail) return Status::Error("unknown item kind " + std::to_string(kind));
    return std::unique_ptr<RDOMail>(std::make_unique<FakeMail>(library_, folder_));
  }

 private:
  FakeStoreLibrary& library_;
  FakeFolder& folder_;
};

class FakeFolderHandle : public RDOFolder, public RDOFolders {
 public:
  FakeFolderHandle(FakeStoreLibrary& library, FakeFolder& folder, std::string path)
      : library_(library), folder_(folder), path_(std::move(path)), items_(library, folder) {}

  std::string Name() override { return folder_.name; }
  RDOFolders& Folders() override { return *this; }
  RDOItems& Items() override { return items_; }

  Result<int32_t> Count() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kFoldersCount, folder_.name));
    return static_cast<int32_t>(folder_.children.size());
  }
  Result<std::unique_ptr<RDOFolder>> Item(int32_t position) override {
    if (position < 1 || static_cast<size_t>(position) > folder_.children.size()) {
      return Status::Error("no folder at position " + std::to_string(position) + " of " + path_);
    }
    FakeFolder& child = *folder_.children[static_cast<size_t>(position - 1)];
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, child, path_ + "\\" + child.name));
  }
  Result<std::unique_ptr<RDOFolder>> Item(const std::string& name) override {
    FakeFolder* child = folder_.Child(name);
    if (child == nullptr) return MissingFolder(name);
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, *child, path_ + "\\" + name));
  }
  Result<std::unique_ptr<RDOFolder>> Add(const std::string& name, int16_t type) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kFoldersAdd, name));
    if (type != kFolderTypeMail) return Status::Error("unknown folder type " + std::to_string(type));
    if (name.empty()) return Status::Error("a folder needs a name");
    if (folder_.Child(name) != nullptr) {
      return Status::Error("a folder named \"" + name + "\" already exists in \"" + folder_.name + "\"");
    }
    folder_.children.push_back(std::make_unique<FakeFolder>(FakeFolder{name, {}, {}}));
    library_.journal.push_back("Add folder " + path_ + "\\" + name);
    return std::unique_ptr<RDOFolder>(
        std::make_unique<FakeFolderHandle>(library_, *folder_.children.back(), path_ + "\\" + name));
  }

 private:
  FakeStoreLibrary& library_;
  FakeFolder& folder_;
  std::string path_;  // below the top: "" for the top itself
  FakeItems items_;
};

std::string EntryIdOf(const std::string& path) { return "EID:" + path; }

class FakeStore : public RDOStore {
 public:
  FakeStore(FakeStoreLibrary& library, std::string path)
      : library_(library), path_(std::move(path)), file_(library.files[path_]) {}

  std::string EntryID() override { return EntryIdOf(path_); }
  Status ValidateIPMTree() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kValidateIPMTree, path_));
    for (const std::string& name :
         {library_.inboxName, library_.sentName, std::string("Deleted Items"), std::string("Outbox"),
          std::string("Drafts"), std::string("Calendar"), std::string("Contacts"), std::string("Tasks"),
          std::string("Notes"), std::string("Journal")}) {
      if (file_.root.Child(name) == nullptr) {
        file_.root.children.push_back(std::make_unique<FakeFolder>(FakeFolder{name, {}, {}}));
      }
    }
    file_.validated = true;
    return Status::Ok();
  }
  Result<std::unique_ptr<RDOFolder>> GetDefaultFolder(int16_t which) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kGetDefaultFolder, std::to_string(which)));
    const std::string* name = which == kDefaultFolderInbox      ? &library_.inboxName
                              : which == kDefaultFolderSentMail ? &library_.sentName
                                                                : nullptr;
    if (name == nullptr) return Status::Error("unknown default folder " + std::to_string(which));
    FakeFolder* folder = file_.validated ? file_.root.Child(*name) : nullptr;
    if (folder == nullptr) return Status::Error("the store " + path_ + " has no default folder " + *name);
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, *folder, "\\" + *name));
  }
  Result<std::unique_ptr<RDOFolder>> IPMRootFolder() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kIPMRootFolder, path_));
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, file_.root, ""));
  }
  Status Commit() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kCommit, path_));
    if (library_.onCommit) library_.onCommit(file_);
    MarkCommitted(file_.root);
    library_.journal.push_back("Commit");
    return Status::Ok();
  }

 private:
  static void MarkCommitted(FakeFolder& folder) {
    for (FakeItem& item : folder.items) item.committed = true;
    for (auto& child : folder.children) MarkCommitted(*child);
  }

  FakeStoreLibrary& library_;
  std::string path_;
  FakeStoreFile& file_;
};

class FakeSession : public RDOSession, public RDOStores {
 public:
  explicit FakeSession(FakeStoreLibrary& library) : library_(library) {}

  Result<std::unique_ptr<RDOStore>> LogonPstStore(const std::string& path, int16_t format,
                                                  const std::string& displayName) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kLogonPstStore, path));
    if (format != kStoreFormatDefault) return Status::Error("unknown store format " + std::to_string(format));
    opened_[displayName] = path;
    library_.journal.push_back("LogonPstStore " + path + " " + displayName);
    return std::unique_ptr<RDOStore>(std::make_unique<FakeStore>(library_, path));
  }
  Result<std::unique_ptr<RDOStore>> GetStoreFromID(const std::string& entryId) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kGetStoreFromID, entryId));
    for (const auto& [name, path] : opened_) {
      if (EntryIdOf(path) == entryId) return std::unique_ptr<RDOStore>(std::make_unique<FakeStore>(library_, path));
    }
    return Status::Error("no open store has the entry id " + entryId);
  }
  RDOStores& Stores() override { return *this; }
  Status Logoff() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kLogoff, ""));
    opened_.clear();
    library_.journal.push_back("Logoff");
    return Status::Ok();
  }

 private:
  FakeStoreLibrary& library_;
  std::map<std::string, std::string> opened_;  // display name -> store path
};

class FakeUtils : public MAPIUtils {
 public:
  explicit FakeUtils(FakeStoreLibrary& library) : library_(library) {}
  Status HrSetOneProp(MapiObject& object, mapi::PropTag tag, int32_t value, bool saveChanges) override {
    auto* fake = dynamic_cast<FakeMapiObject*>(&object);
    if (fake == nullptr) return Status::Error("not an object of the fake store");
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kHrSetOneProp, fake->item().source));
    if (tag != mapi::tags::kMessageFlags) return Status::Error("the fake store sets message flags only");
    if (!saveChanges) return Status::Error("the fake store expects the change saved");
    // A fake item has no attachments.
    fake->item().messageFlags = value & ~kHasAttachments;
    return Status::Ok();
  }

 private:
  FakeStoreLibrary& library_;
};

void CollectPaths(const FakeFolder& folder, const std::string& path, std::vector<std::string>& paths) {
  for (const auto& child : folder.children) {
    paths.push_back(path + "\\" + child->name);
    CollectPaths(*child, paths.back(), paths);
  }
}

}  // namespace

FakeFolder* FakeFolder::Child(const std::string& childName) {
  for (auto& child : children) {
    if (child->name == childName) return child.get();
  }
  return nullptr;
}

std::unique_ptr<SourceRead> FakeStoreLibrary::ReadSource(const std::string& path) {
  return std::make_unique<FakeSourceRead>(path);
}

void FakeStoreLibrary::FailOn(FakeOp op, std::string message, std::string match) {
  failures_.push_back({op, std::move(match), std::move(message)});
}

Status FakeStoreLibrary::Check(FakeOp op, const std::string& argument) {
  for (const Failure& failure : failures_) {
    if (failure.op == op && argument.find(failure.match) != std::string::npos) return Status::Error(failure.message);
  }
  return Status::Ok();
}

FakeFolder* FakeStoreLibrary::FolderAt(const std::string& storePath, const std::string& folderPath) {
  const auto file = files.find(storePath);
  if (file == files.end()) return nullptr;
  FakeFolder* folder = &file->second.root;
  for (size_t at = 0; folder != nullptr && at < folderPath.size();) {
    const size_t next = folderPath.find('\\', at + 1);
    const std::string piece = folderPath.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    folder = folder->Child(piece);
    at = next == std::string::npos ? folderPath.size() : next;
  }
  return folder;
}

std::vector<std::string> FakeStoreLibrary::FolderPaths(const std::string& storePath) {
  std::vector<std::string> paths;
  if (FakeFolder* root = FolderAt(storePath, "")) CollectPaths(*root, "", paths);
  return paths;
}

std::vector<std::string> FakeStoreLibrary::ItemSources(const std::string& storePath, const std::string& folderPath) {
  std::vector<std::string> sources;
  if (FakeFolder* folder = FolderAt(storePath, folderPath)) {
    for (const FakeItem& item : folder->items) sources.push_back(item.source);
  }
  return sources;
}

Result<std::unique_ptr<RDOSession>> FakeStoreLibrary::CreateSession() {
  BALEPORT_RETURN_IF_ERROR(Check(FakeOp::kCreateSession, ""));
  return std::unique_ptr<RDOSession>(std::make_unique<FakeSession>(*this));
}

Result<std::unique_ptr<MAPIUtils>> FakeStoreLibrary::CreateMAPIUtils() {
  BALEPORT_RETURN_IF_ERROR(Check(FakeOp::kCreateMAPIUtils, ""));
  return std::unique_ptr<MAPIUtils>(std::make_unique<FakeUtils>(*this));
}

}  // namespace baleport
