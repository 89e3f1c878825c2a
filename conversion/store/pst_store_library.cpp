#include "conversion/store/pst_store_library.h"

#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "conversion/store/source_index.h"
#include "import/msg_to_item.h"
#include "mapi/tags.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

// The stores a session has logged on to, under the session's names for them.
struct OpenedStore {
  OpenedStore(std::unique_ptr<pst::Store> opened, std::string name, std::string id, const pst::StoreOptions& how)
      : store(std::move(opened)), displayName(std::move(name)), entryId(std::move(id)), options(how), sources(*store) {}
  std::unique_ptr<pst::Store> store;
  std::string displayName;
  std::string entryId;
  pst::StoreOptions options;
  SourceIndex sources;
};

// A message file read ahead of its import: the file opened and checked and the identity of
// its content, or why either failed. A file held whole is digested from the very bytes parsed.
struct PstSourceRead final : SourceRead {
  PstSourceRead(const std::string& path, Result<std::unique_ptr<File>> opened)
      : file(Open(std::move(opened))), digest(DigestOf(file, path)) {}
  Result<std::unique_ptr<msg::MsgFile>> file;
  Result<std::string> digest;

 private:
  static Result<std::unique_ptr<msg::MsgFile>> Open(Result<std::unique_ptr<File>> opened) {
    if (!opened.ok()) return opened.status();
    return msg::MsgFile::Open(std::move(opened).value());
  }
  static Result<std::string> DigestOf(const Result<std::unique_ptr<msg::MsgFile>>& file, const std::string& path) {
    if (!file.ok()) return file.status();
    if (const std::span<const uint8_t> bytes = (*file)->bytes(); !bytes.empty()) return SourceDigest(bytes);
    return SourceDigest(*Env::Default(), path);
  }
};

class PstFolder;

class PstFolders final : public RDOFolders {
 public:
  PstFolders(OpenedStore& opened, pst::FolderId parent) : opened_(opened), store_(*opened.store), parent_(parent) {}
  Result<int32_t> Count() override;
  Result<std::unique_ptr<RDOFolder>> Item(int32_t position) override;
  Result<std::unique_ptr<RDOFolder>> Item(const std::string& name) override;
  Result<std::unique_ptr<RDOFolder>> Add(const std::string& name, int16_t type) override;

 private:
  // The children as listed by the last Count or Item, until Add changes them: the run walks
  // them with Item(1..Count), which would otherwise list them all for every position.
  Result<const std::vector<pst::FolderInfo>*> List();

  OpenedStore& opened_;
  pst::Store& store_;
  pst::FolderId parent_;
  std::optional<std::vector<pst::FolderInfo>> listed_;
};

// The item as the import fills it, with its subject noted on the way: the subject narrows
// the search for an item of the same source (see SourceIndex).
class SubjectNotingMessage final : public pst::Message {
 public:
  SubjectNotingMessage(pst::Message& item, std::string& subject) : item_(item), subject_(subject) {}
  Status Set(pst::Property p) override {
    if (mapi::TagId(p.tag) == mapi::TagId(mapi::tags::kSubject)) subject_ = Utf16ToUtf8(Utf16FromLeBytes(p.data), BadText::kReplace);
    return item_.Set(std::move(p));
  }
  Result<std::unique_ptr<pst::ValueStream>> OpenStream(mapi::PropTag tag) override { return item_.OpenStream(tag); }
  Status AddRecipient(std::vector<pst::Property> row) override { return item_.AddRecipient(std::move(row)); }
  Result<pst::Attachment*> AddAttachment() override { return item_.AddAttachment(); }
  Status Save() override { return item_.Save(); }
  uint32_t id() const override { return item_.id(); }

 private:
  pst::Message& item_;
  std::string& subject_;
};

class PstMail final : public RDOMail, public MapiObject {
 public:
  PstMail(OpenedStore& store, pst::FolderId folder, std::unique_ptr<pst::Message> message)
      : store_(store), folder_(folder), message_(std::move(message)) {}

  Status Import(const std::string& path, int16_t format) override {
    if (format != kImportFormatMsg) return Status::Error("import format " + std::to_string(format) + " is not known");
    if (message_ == nullptr) return Status::Error("importing " + path + " into an item that was deleted");
    Result<std::string> digest = SourceDigest(*Env::Default(), path);
    if (!digest.ok()) return digest.status();
    SubjectNotingMessage noted(*message_, subject_);
    Result<int32_t> flags = import::ImportMessageFile(path, noted, *store_.store);
    if (!flags.ok()) return flags.status();
    unsent_ = *flags & kMessageFlagUnsent;
    return KeepIdentity(path, std::move(*digest));
  }
  Status Import(const std::string& path, const SourceRead& read) override {
    if (message_ == nullptr) return Status::Error("importing " + path + " into an item that was deleted");
    const auto* ahead = dynamic_cast<const PstSourceRead*>(&read);
    if (ahead == nullptr) return Import(path, kImportFormatMsg);
    if (!ahead->file.ok()) return ahead->file.status();
    if (!ahead->digest.ok()) return ahead->digest.status();
    SubjectNotingMessage noted(*message_, subject_);
    Result<int32_t> flags = import::ImportMessageFile(**ahead->file, noted, *store_.store);
    if (!flags.ok()) return flags.status();
    unsent_ = *flags & kMessageFlagUnsent;
    return KeepIdentity(path, *ahead->digest);
  }
  Result<bool> AlreadyInStore() override {
    if (digest_.empty()) return Status::Error("looking for an item that was not imported");
    return store_.sources.Claim(folder_, subject_, digest_);
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

  Status KeepIdentity(const std::string& path, std::string digest) {
    digest_ = std::move(digest);
    return store_.sources.Keep(*message_, digest_).WithContext("keeping the identity of " + path);
  }

  OpenedStore& store_;
  pst::FolderId folder_;
  std::unique_ptr<pst::Message> message_;
  std::string subject_;
  std::string digest_;
  int32_t unsent_ = 0;
};

class PstItems final : public RDOItems {
 public:
  PstItems(OpenedStore& opened, pst::FolderId folder) : opened_(opened), folder_(folder) {}
  Result<std::unique_ptr<RDOMail>> Add(int16_t kind) override {
    if (kind != kItemKindMail) return Status::Error("item kind " + std::to_string(kind) + " is not known");
    if (opened_.store == nullptr) return Status::Error("the store " + opened_.entryId + " could not be opened again");
    Result<std::unique_ptr<pst::Message>> message = opened_.store->NewMessage(folder_);
    if (!message.ok()) return message.status();
    return std::unique_ptr<RDOMail>(std::make_unique<PstMail>(opened_, folder_, std::move(*message)));
  }

 private:
  OpenedStore& opened_;
  pst::FolderId folder_;
};

class PstFolder final : public RDOFolder {
 public:
  PstFolder(OpenedStore& opened, pst::FolderId id, std::string name)
      : name_(std::move(name)), folders_(opened, id), items_(opened, id) {}
  std::string Name() override { return name_; }
  RDOFolders& Folders() override { return folders_; }
  RDOItems& Items() override { return items_; }

 private:
  std::string name_;
  PstFolders folders_;
  PstItems items_;
};

Result<std::unique_ptr<RDOFolder>> FolderObject(OpenedStore& opened, Result<pst::FolderId> id) {
  if (!id.ok()) return id.status();
  if (opened.store == nullptr) return Status::Error("the store " + opened.entryId + " could not be opened again");
  Result<pst::FolderInfo> info = opened.store->GetFolder(*id);
  if (!info.ok()) return info.status();
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(opened, *id, info->name));
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
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(opened_, info.id, info.name));
}

Result<std::unique_ptr<RDOFolder>> PstFolders::Item(const std::string& name) {
  Result<pst::FolderId> found = store_.FindFolder(parent_, name);
  if (!found.ok() && found.status().code() == StatusCode::kNotFound) return MissingFolder(name);
  return FolderObject(opened_, std::move(found));
}

Result<std::unique_ptr<RDOFolder>> PstFolders::Add(const std::string& name, int16_t type) {
  if (type != kFolderTypeMail) return Status::Error("folder type " + std::to_string(type) + " is not known");
  listed_.reset();
  Result<pst::FolderId> id = store_.AddFolder(parent_, name);
  if (!id.ok()) return id.status();
  return std::unique_ptr<RDOFolder>(std::make_unique<PstFolder>(opened_, *id, name));
}

class PstStore final : public RDOStore {
 public:
  explicit PstStore(OpenedStore& opened) : opened_(opened) {}
  std::string EntryID() override { return opened_.entryId; }
  Status ValidateIPMTree() override {
    if (opened_.store == nullptr) return Status::Error("the store " + opened_.entryId + " could not be opened again");
    return opened_.store->EnsureStandardFolders();
  }
  Result<std::unique_ptr<RDOFolder>> GetDefaultFolder(int16_t which) override {
    if (opened_.store == nullptr) return FolderObject(opened_, pst::FolderId{0});  // says why
    if (which == kDefaultFolderInbox) return FolderObject(opened_, opened_.store->DefaultFolder(pst::StandardFolder::kInbox));
    if (which == kDefaultFolderSentMail) {
      return FolderObject(opened_, opened_.store->DefaultFolder(pst::StandardFolder::kSentItems));
    }
    return Status::Error("default folder " + std::to_string(which) + " is not known");
  }
  Result<std::unique_ptr<RDOFolder>> IPMRootFolder() override {
    return FolderObject(opened_, opened_.store != nullptr ? opened_.store->ipm_subtree() : pst::FolderId{0});
  }
  Status Commit() override {
    if (opened_.store == nullptr) return Status::Error("the store " + opened_.entryId + " could not be opened again");
    return opened_.store->Commit();
  }
  // Dropping the engine's store without closing it leaves the file as last committed; it is
  // then opened again.
  Status DropUncommitted() override {
    const std::string path = opened_.store->path();
    opened_.store.reset();
    Result<std::unique_ptr<pst::Store>> reopened = pst::Store::Open(path, opened_.options);
    if (!reopened.ok()) return reopened.status().WithContext("opening " + path + " again");
    opened_.store = std::move(*reopened);
    opened_.sources.Rebind(*opened_.store);
    return Status::Ok();
  }

 private:
  OpenedStore& opened_;
};

class PstSession final : public RDOSession, public RDOStores {
 public:
  explicit PstSession(const pst::StoreOptions& options) : options_(options) {}

  Result<std::unique_ptr<RDOStore>> LogonPstStore(const std::string& path, int16_t format,
                                                  const std::string& displayName) override {
    if (format != kStoreFormatDefault) return Status::Error("store format " + std::to_string(format) + " is not known");
    for (OpenedStore& opened : stores_) {
      if (opened.store != nullptr && opened.store->path() == path) return Wrap(opened);
    }
    Env* env = options_.env != nullptr ? options_.env : Env::Default();
    Result<std::unique_ptr<pst::Store>> store =
        env->Exists(path) ? pst::Store::Open(path, options_) : pst::Store::Create(path, displayName, options_);
    if (!store.ok()) return store.status();
    stores_.emplace_back(std::move(*store), displayName, "pst:" + std::to_string(stores_.size() + 1) + ":" + path,
                         options_);
    return Wrap(stores_.back());
  }

  Result<std::unique_ptr<RDOStore>> GetStoreFromID(const std::string& entryId) override {
    for (OpenedStore& opened : stores_) {
      if (opened.entryId == entryId) return Wrap(opened);
    }
    return Status::Error("no store of this session has the entry id " + entryId);
  }

  RDOStores& Stores() override { return *this; }

  Status Logoff() override {
    std::string failures;
    for (OpenedStore& opened : stores_) {
      if (opened.store == nullptr) continue;  // it could not be opened again, and holds nothing uncommitted
      if (Status closed = opened.store->Close(); !closed.ok()) {
        failures += (failures.empty() ? "" : "; ") + closed.WithContext("closing " + opened.store->path()).message();
      }
    }
    stores_.clear();
    return failures.empty() ? Status::Ok() : Status::Error(failures);
  }

 private:
  static std::unique_ptr<RDOStore> Wrap(OpenedStore& opened) {
    return std::make_unique<PstStore>(opened);
  }

  pst::StoreOptions options_;
  // A deque: the objects handed out keep references to its elements.
  std::deque<OpenedStore> stores_;
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

std::unique_ptr<SourceRead> PstStoreLibrary::ReadSource(const std::string& path, Result<std::unique_ptr<File>> opened) {
  return std::make_unique<PstSourceRead>(path, std::move(opened));
}

}  // namespace baleport
