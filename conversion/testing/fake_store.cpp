#include "conversion/testing/fake_store.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "support/filesystem_path.h"

namespace baleport {
namespace {

using FolderResult = Result<std::unique_ptr<RDOFolder>>;
using StoreResult = Result<std::unique_ptr<RDOStore>>;

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
  Status Import(const std::string& path, int16_t) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kImport, path));
    if (!std::filesystem::is_regular_file(Utf8Path(path))) return Status::Error("cannot read " + path + ": no such file");
    source_ = path;
    return Status::Ok();
  }
  MapiObject& MAPIOBJECT() override { return mapi_; }
  Status Save() override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kSave, source_));
    if (!saved_) folder_.items.push_back(source_);
    saved_ = true;
    return Status::Ok();
  }
  Status Delete() override {
    if (saved_) std::erase(folder_.items, source_);
    saved_ = false;
    return Status::Ok();
  }

 private:
  FakeStoreLibrary& library_;
  FakeFolder& folder_;
  std::string source_;
  MapiObject mapi_;
  bool saved_ = false;
};

class FakeFolderHandle : public RDOFolder, public RDOFolders, public RDOItems {
 public:
  FakeFolderHandle(FakeStoreLibrary& library, FakeFolder& folder) : library_(library), folder_(folder) {}

  std::string Name() override { return folder_.name; }
  RDOFolders& Folders() override { return *this; }
  RDOItems& Items() override { return *this; }

  Result<std::unique_ptr<RDOMail>> Add(int16_t) override {
    return std::unique_ptr<RDOMail>(std::make_unique<FakeMail>(library_, folder_));
  }
  Result<int32_t> Count() override { return static_cast<int32_t>(folder_.children.size()); }
  FolderResult Item(int32_t position) override { return Handle(*folder_.children.at(static_cast<size_t>(position - 1))); }
  FolderResult Item(const std::string& name) override {
    FakeFolder* child = folder_.Child(name);
    if (child == nullptr) return MissingFolder(name);
    return Handle(*child);
  }
  FolderResult Add(const std::string& name, int16_t) override {
    if (name.empty() || folder_.Child(name) != nullptr) return Status::Error("cannot add the folder \"" + name + "\"");
    folder_.children.push_back(std::make_unique<FakeFolder>(FakeFolder{name, {}, {}}));
    return Handle(*folder_.children.back());
  }

 private:
  FolderResult Handle(FakeFolder& child) {
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, child));
  }

  FakeStoreLibrary& library_;
  FakeFolder& folder_;
};

class FakeStore : public RDOStore {
 public:
  FakeStore(FakeStoreLibrary& library, std::string path)
      : library_(library), path_(std::move(path)), file_(library.files[path_]) {}

  std::string EntryID() override { return "EID:" + path_; }
  // The standard folders a store has (a top-level Calendar among them).
  Status ValidateIPMTree() override {
    for (const std::string& name : {library_.inboxName, library_.sentName, std::string("Deleted Items"),
                                    std::string("Outbox"), std::string("Drafts"), std::string("Calendar"),
                                    std::string("Contacts"), std::string("Tasks"), std::string("Notes"), std::string("Journal")}) {
      if (file_.root.Child(name) == nullptr) file_.root.children.push_back(std::make_unique<FakeFolder>(FakeFolder{name, {}, {}}));
    }
    return Status::Ok();
  }
  FolderResult GetDefaultFolder(int16_t which) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kGetDefaultFolder, std::to_string(which)));
    const std::string& name = which == kDefaultFolderInbox ? library_.inboxName : library_.sentName;
    FakeFolder* folder = file_.root.Child(name);
    if (folder == nullptr) return Status::Error("the store " + path_ + " has no default folder " + name);
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, *folder));
  }
  FolderResult IPMRootFolder() override {
    return std::unique_ptr<RDOFolder>(std::make_unique<FakeFolderHandle>(library_, file_.root));
  }
  Status Commit() override {
    if (library_.onCommit) library_.onCommit(file_);
    return Status::Ok();
  }

 private:
  FakeStoreLibrary& library_;
  std::string path_;
  FakeStoreFile& file_;
};

class FakeSession : public RDOSession, public RDOStores {
 public:
  explicit FakeSession(FakeStoreLibrary& library) : library_(library) {}

  StoreResult LogonPstStore(const std::string& path, int16_t, const std::string& displayName) override {
    BALEPORT_RETURN_IF_ERROR(library_.Check(FakeOp::kLogonPstStore, path));
    library_.files[path].displayName = displayName;
    return std::unique_ptr<RDOStore>(std::make_unique<FakeStore>(library_, path));
  }
  StoreResult GetStoreFromID(const std::string& entryId) override {
    return std::unique_ptr<RDOStore>(std::make_unique<FakeStore>(library_, entryId.substr(4)));
  }
  RDOStores& Stores() override { return *this; }
  Status Logoff() override { return library_.Check(FakeOp::kLogoff, ""); }

 private:
  FakeStoreLibrary& library_;
};

// The flags an item gets are judged on the real store (import/tests/compare_import.py).
struct FakeUtils : MAPIUtils {
  Status HrSetOneProp(MapiObject&, mapi::PropTag, int32_t, bool) override { return Status::Ok(); }
};

}  // namespace

FakeFolder* FakeFolder::Child(const std::string& childName) {
  for (auto& child : children) {
    if (child->name == childName) return child.get();
  }
  return nullptr;
}

std::unique_ptr<SourceRead> FakeStoreLibrary::ReadSource(const std::string& path, Result<std::unique_ptr<File>>) {
  return std::make_unique<FakeSourceRead>(path);
}

Status FakeStoreLibrary::Check(FakeOp op, const std::string& argument) {
  for (const Failure& failure : failures_) {
    if (failure.op == op && argument.find(failure.match) != std::string::npos) return Status::Error(failure.message);
  }
  return Status::Ok();
}

std::vector<std::string> FakeStoreLibrary::ItemSources(const std::string& storePath, const std::string& folderPath) {
  const auto file = files.find(storePath);
  FakeFolder* folder = file == files.end() ? nullptr : &file->second.root;
  for (size_t at = 0; folder != nullptr && at < folderPath.size();) {
    const size_t next = std::min(folderPath.find('\\', at + 1), folderPath.size());
    folder = folder->Child(folderPath.substr(at + 1, next - at - 1));
    at = next;
  }
  return folder == nullptr ? std::vector<std::string>{} : folder->items;
}

Result<std::unique_ptr<RDOSession>> FakeStoreLibrary::CreateSession() {
  return std::unique_ptr<RDOSession>(std::make_unique<FakeSession>(*this));
}

Result<std::unique_ptr<MAPIUtils>> FakeStoreLibrary::CreateMAPIUtils() {
  return std::unique_ptr<MAPIUtils>(std::make_unique<FakeUtils>());
}

}  // namespace baleport
