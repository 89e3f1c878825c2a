#include "conversion/store/pst_store_library.h"

#include <optional>
#include <string_view>
#include <vector>

#include "import/msg_import.h"
#include "mapi/tags.h"

namespace baleport {
namespace {

class PstFolder;

class PstFolders final : public RDOFolders {
 public:
  PstFolders(pst::Store& store, pst::FolderId parent) : store_(store), parent_(parent) {}
  Result<int32_t> Count() override;
  Result<std::unique_ptr<RDOFolder>> Item(int32_t position) override;
  Result<std::unique_ptr<RDOFolder>> Item(const std::string& name) override;
  Result<std::unique_ptr<RDOFolder>> Add(const std::string& name, int16_t type) override;

 private:
  // The children as listed by the last Count or Item, until Add changes them: the run walks
  // them with Item(1..Count), which would otherwise list them all for every position.
  Result<const std::vector<pst::FolderInfo>*> List();

  pst::Store& store_;
  pst::FolderId parent_;
  std::optional<std::vector<pst::FolderInfo>> listed_;
};

class PstMail final : public RDOMail, public MapiObject {
 public:
  PstMail(pst::Store& store, std::unique_ptr<pst::Message> message) : store_(store), message_(std::move(message)) {}

  Status Import(const std::string& path, int16_t format) override {
    if (format != kImportFormatMsg) return Status::Error("import format " + std::to_string(format) + " is not known");
    if (message_ == nullptr) return Status::Error("importing " + path + " into an item that was deleted");
    Result<int32_t> flags = import::ImportMessageFile(path, *message_, store_);
    if (!flags.ok()) return flags.status();
    unsent_ = *flags & kMessageFlagUnsent;
    return Status::Ok();
  }
  MapiObject& MAPIOBJECT() override { return *this; }
  Status Save() override {
    if (message_ == nullptr) return Status::Error("saving an item that was deleted");
    return message_->Save();
  }
  Status Delete() override {
    if (message_ != nullptr && message_->id() != 0) {
      return Status::Error("the store cannot remove item " + std::to_string(message_->id()) + " once saved");
    }
    message_.reset();  // never saved: nothing of it reaches the store
    return Status::Ok();
  }
  Status SetInt32(mapi::PropTag tag, int32_t value) {
    if (message_ == nullptr) return Status::Error("setting a property of an item that was deleted");
    if (tag == mapi::tags::kMessageFlags) value |= unsent_;
    return message_->Set(pst::prop::Int32(tag, value));
  }

 private:
  // A draft's MSGFLAG_UNSENT, which the flags the conversion writes keep.
  static constexpr int32_t kMessageFlagUnsent = 0x08;
  pst::Store& store_;
  std::unique_ptr<pst::Message> message_;
  int32_t unsent_ = 0;
};

class PstItems final : public RDOItems {
 public:
  PstItems(pst::Store& store, pst::FolderId folder) : store_(store), folder_(folder) {}
  Result<std::unique_ptr<RDOMail>> Add(int16_t kind) override {
    if (kind != kItemKindMail) return Status::Error("item kind " + std::to_string(kind) + " is not known");
    Result<std::unique_ptr<pst::Message>> message = store_.NewMessage(folder_);
    if (!message.ok()) return message.status();
    return std::unique_ptr<RDOMail>(std::make_unique<PstMail>(store_, std::move(*message)));
  }

 private:
  pst::Store& store_;
  pst::FolderId folder_;
};

class PstFolder final : public RDOFolder {
 public:
  PstFolder(pst::Store& store, pst::FolderId id, std::string name)
      : name_(std::move(name)), folders_(store, id), items_(store, id) {}
  std::string Name() override { return name_; }
  RDOFolders& Folders() override { return folders_; }
  RDOItems& Items() override { return items_; }

 private:
  std::string name_;
  PstFolders folders_;
  PstItems items_;
};

Result<std::unique_ptr<RDOFolder>> FolderObject(pst::Store& store, Result<pst::FolderId> id) {
  if (!id.ok()) return id.status();
  Result<pst::FolderInfo> info = store.GetFolder(*id);
  if (!info.ok()) return info.status();
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(store, *id, info->name));
}

Result<const std::vector<pst::FolderInfo>*> PstFolders::List() {
  if (!listed_) {
    Result<std::vector<pst::FolderInfo>> list = store_.ListFolders(parent_);
    if (!list.ok()) return list.status();
    listed_ = std::move(*list);
  }
  return &*listed_;
}

Result<int32_t> PstFolders::Count() {
  listed_.reset();  // a count starts a walk: see the store as it is now
  Result<const std::vector<pst::FolderInfo>*> list = List();
  if (!list.ok()) return list.status();
  return static_cast<int32_t>((*list)->size());
}

Result<std::unique_ptr<RDOFolder>> PstFolders::Item(int32_t position) {
  Result<const std::vector<pst::FolderInfo>*> list = List();
  if (!list.ok()) return list.status();
  if (position < 1 || static_cast<size_t>(position) > (*list)->size()) {
    return Status::Error("there is no folder " + std::to_string(position) + " of " + std::to_string((*list)->size()));
  }
  const pst::FolderInfo& info = (**list)[static_cast<size_t>(position - 1)];
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(store_, info.id, info.name));
}

Result<std::unique_ptr<RDOFolder>> PstFolders::Item(const std::string& name) {
  return FolderObject(store_, store_.FindFolder(parent_, name));  // `Folder "name" does not exist`
}

Result<std::unique_ptr<RDOFolder>> PstFolders::Add(const std::string& name, int16_t type) {
  if (type != kFolderTypeMail) return Status::Error("folder type " + std::to_string(type) + " is not known");
  listed_.reset();
  Result<pst::FolderId> id = store_.AddFolder(parent_, name);
  if (!id.ok()) return id.status();
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(store_, *id, name));
}

class PstStore final : public RDOStore {
 public:
  PstStore(pst::Store& store, std::string entryId) : store_(store), entryId_(std::move(entryId)) {}
  std::string EntryID() override { return entryId_; }
  Status ValidateIPMTree() override { return store_.EnsureStandardFolders(); }
  Result<std::unique_ptr<RDOFolder>> GetDefaultFolder(int16_t which) override {
    if (which == kDefaultFolderInbox) return FolderObject(store_, store_.DefaultFolder(pst::StandardFolder::kInbox));
    if (which == kDefaultFolderSentMail) {
      return FolderObject(store_, store_.DefaultFolder(pst::StandardFolder::kSentItems));
    }
    return Status::Error("default folder " + std::to_string(which) + " is not known");
  }
  Result<std::unique_ptr<RDOFolder>> IPMRootFolder() override { return FolderObject(store_, store_.ipm_subtree()); }
  Status Commit() override { return store_.Commit(); }

 private:
  pst::Store& store_;
  std::string entryId_;
};

// The stores a session has logged on to, under the session's names for them.
struct OpenedStore {
  std::unique_ptr<pst::Store> store;
  std::string displayName;
  std::string entryId;
};

class PstSession final : public RDOSession, public RDOStores {
 public:
  explicit PstSession(const pst::StoreOptions& options) : options_(options) {}

  Result<std::unique_ptr<RDOStore>> LogonPstStore(const std::string& path, int16_t format,
                                                  const std::string& displayName) override {
    if (format != kStoreFormatDefault) return Status::Error("store format " + std::to_string(format) + " is not known");
    for (OpenedStore& opened : stores_) {
      if (opened.store->path() == path) return Wrap(opened);
    }
    Env* env = options_.env != nullptr ? options_.env : Env::Default();
    Result<std::unique_ptr<pst::Store>> store =
        env->Exists(path) ? pst::Store::Open(path, options_) : pst::Store::Create(path, displayName, options_);
    if (!store.ok()) return store.status();
    stores_.push_back({std::move(*store), displayName, "pst:" + std::to_string(stores_.size() + 1) + ":" + path});
    return Wrap(stores_.back());
  }

  Result<std::unique_ptr<RDOStore>> GetStoreFromID(const std::string& entryId) override {
    for (OpenedStore& opened : stores_) {
      if (opened.entryId == entryId) return Wrap(opened);
    }
    return Status::Error("no store of this session has the entry id " + entryId);
  }

  RDOStores& Stores() override { return *this; }

  Result<std::unique_ptr<RDOFolder>> GetFolderFromPath(const std::string& path) override {
    for (OpenedStore& opened : stores_) {
      const std::string top = "\\\\" + opened.displayName;
      if (path.compare(0, top.size(), top) != 0 || (path.size() > top.size() && path[top.size()] != '\\')) continue;
      pst::Store& store = *opened.store;
      pst::FolderId current = store.ipm_subtree();
      std::string_view rest = std::string_view(path).substr(top.size());
      while (!rest.empty()) {
        rest.remove_prefix(1);  // the "\" in front of the next name
        const std::string_view name = rest.substr(0, rest.find('\\'));
        rest.remove_prefix(name.size());
        if (name.empty()) continue;
        Result<pst::FolderId> next = store.FindFolder(current, name);  // `Folder "name" does not exist`
        if (!next.ok()) return next.status();
        current = *next;
      }
      return FolderObject(store, current);
    }
    return Status::Error("no store of this session is named in the folder path " + path);
  }

  Status Logoff() override {
    std::string failures;
    for (OpenedStore& opened : stores_) {
      if (Status closed = opened.store->Close(); !closed.ok()) {
        failures += (failures.empty() ? "" : "; ") + closed.WithContext("closing " + opened.store->path()).message();
      }
    }
    stores_.clear();
    return failures.empty() ? Status::Ok() : Status::Error(failures);
  }

 private:
  static std::unique_ptr<RDOStore> Wrap(OpenedStore& opened) {
    return std::make_unique<PstStore>(*opened.store, opened.entryId);
  }

  pst::StoreOptions options_;
  std::vector<OpenedStore> stores_;
};

class PstMapiUtils final : public MAPIUtils {
 public:
  Status HrSetOneProp(MapiObject& object, mapi::PropTag tag, int32_t value, bool /*saveChanges*/) override {
    auto* mail = dynamic_cast<PstMail*>(&object);
    if (mail == nullptr) return Status::Error("the object is not an item of this store library");
    if (mapi::TagType(tag) != static_cast<uint16_t>(mapi::PropType::kInt32)) {
      return Status::Error("HrSetOneProp sets 32-bit integer properties only");
    }
    return mail->SetInt32(tag, value);
  }
};

}  // namespace

Result<std::unique_ptr<RDOSession>> PstStoreLibrary::CreateSession() {
  return std::unique_ptr<RDOSession>(std::make_unique<PstSession>(options_));
}

Result<std::unique_ptr<MAPIUtils>> PstStoreLibrary::CreateMAPIUtils() {
  return std::unique_ptr<MAPIUtils>(std::make_unique<PstMapiUtils>());
}

}  // namespace baleport
