// The message-store operations the conversion uses, as an interface: a session that
// opens .pst stores, their folders and items. The store engine provides the real
// implementation; tests use conversion/testing/fake_store.h.
//
// Every failure carries its description. Objects come back owned by the caller and are
// released when the step that used them ends; none may outlive the session.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mapi/property_tag.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport {

// The codes the conversion passes.
inline constexpr int16_t kStoreFormatDefault = 1;     // LogonPstStore: the engine's default format
inline constexpr int16_t kDefaultFolderInbox = 6;     // GetDefaultFolder
inline constexpr int16_t kDefaultFolderSentMail = 5;  // GetDefaultFolder
inline constexpr int16_t kFolderTypeMail = 6;         // RDOFolders::Add
inline constexpr int16_t kItemKindMail = 0;           // RDOItems::Add
inline constexpr int16_t kImportFormatMsg = 3;        // RDOMail::Import

// The failure of a folder lookup that found no folder `name`; its description is exactly
//   Folder "<name>" does not exist
inline Status MissingFolder(const std::string& name) {
  return Status::Error(StatusCode::kNotFound, "Folder \"" + name + "\" does not exist");
}

// The name a MissingFolder failure reports; none for any other failure.
inline std::optional<std::string> MissingFolderName(const Status& failure) {
  static constexpr std::string_view kPrefix = "Folder \"", kSuffix = "\" does not exist";
  const std::string& text = failure.message();
  if (failure.code() != StatusCode::kNotFound || !text.starts_with(kPrefix) || !text.ends_with(kSuffix) ||
      text.size() < kPrefix.size() + kSuffix.size()) {
    return std::nullopt;
  }
  return text.substr(kPrefix.size(), text.size() - kPrefix.size() - kSuffix.size());
}

// The property interface of an item. Opaque here: only MAPIUtils of the same
// implementation works on it.
class MapiObject {
 public:
  virtual ~MapiObject() = default;
};

// What a store reads of a message file before an item is made for it (StoreLibrary::
// ReadSource): read on another thread while the store writes the messages before it.
class SourceRead {
 public:
  virtual ~SourceRead() = default;
};

class RDOMail {
 public:
  virtual ~RDOMail() = default;
  // Fills the item from the message file at `path` (format kImportFormatMsg), and keeps
  // with it the identity of that file's content.
  virtual Status Import(const std::string& path, int16_t format) = 0;
  // The same from what ReadSource read of `path` (never null), which is not consumed: an
  // import tried again after room was made uses it again.
  virtual Status Import(const std::string& path, const SourceRead& read) {
    (void)read;
    return Import(path, kImportFormatMsg);
  }
  // After Import: whether the folder held, when the store was opened, an item imported from
  // a file of the same content that no other item of this session has matched. Such a
  // message is in the store already and is not saved again. A store that keeps no source
  // identity holds none.
  virtual Result<bool> AlreadyInStore() { return false; }
  virtual MapiObject& MAPIOBJECT() = 0;
  // Stores the item in its folder. Not yet durable: see RDOStore::Commit.
  virtual Status Save() = 0;
  // Removes the item from its folder, saved or not; for an item whose import failed.
  virtual Status Delete() = 0;
};

class RDOItems {
 public:
  virtual ~RDOItems() = default;
  // A new, empty item of `kind` (kItemKindMail) in the folder.
  virtual Result<std::unique_ptr<RDOMail>> Add(int16_t kind) = 0;
};

class RDOFolder;

class RDOFolders {
 public:
  virtual ~RDOFolders() = default;
  virtual Result<int32_t> Count() = 0;
  // 1-based, in the folder's own order.
  virtual Result<std::unique_ptr<RDOFolder>> Item(int32_t position) = 0;
  // The child folder of that name, which may hold any character ("\" too); a MissingFolder
  // failure when there is none.
  virtual Result<std::unique_ptr<RDOFolder>> Item(const std::string& name) = 0;
  // A new folder of `type` (kFolderTypeMail); fails when a folder of that name exists.
  virtual Result<std::unique_ptr<RDOFolder>> Add(const std::string& name, int16_t type) = 0;
};

class RDOFolder {
 public:
  virtual ~RDOFolder() = default;
  // The folder's name; also its text where a folder is used as text.
  virtual std::string Name() = 0;
  virtual RDOFolders& Folders() = 0;
  virtual RDOItems& Items() = 0;
};

class RDOStore {
 public:
  virtual ~RDOStore() = default;
  // Accepted by GetStoreFromID of the same session.
  virtual std::string EntryID() = 0;
  // Creates whichever standard folders (Inbox, Sent Items and the others) are missing.
  virtual Status ValidateIPMTree() = 0;
  // kDefaultFolderInbox or kDefaultFolderSentMail.
  virtual Result<std::unique_ptr<RDOFolder>> GetDefaultFolder(int16_t which) = 0;
  // The top folder that folder paths of the store start from.
  virtual Result<std::unique_ptr<RDOFolder>> IPMRootFolder() = 0;
  // Makes everything saved in the store so far durable: once it returns success, a crash
  // or kill loses none of it. Source files are deleted only after this.
  virtual Status Commit() = 0;
  // Forgets everything saved since the last commit, as a crash would: the store is as it was
  // committed, and the folder and item objects obtained before are no longer to be used.
  // A store that cannot do this says so.
  virtual Status DropUncommitted() { return Status::Error("the store cannot drop what it has not committed"); }
};

class RDOStores {
 public:
  virtual ~RDOStores() = default;
  virtual Result<std::unique_ptr<RDOStore>> GetStoreFromID(const std::string& entryId) = 0;
};

class RDOSession {
 public:
  virtual ~RDOSession() = default;
  // Opens the store file at `path`, creating it when missing (an existing store is added
  // to, never replaced), and adds it to the session under `displayName`.
  virtual Result<std::unique_ptr<RDOStore>> LogonPstStore(const std::string& path, int16_t format,
                                                          const std::string& displayName) = 0;
  virtual Result<std::unique_ptr<RDOStore>> GetStoreFromID(const std::string& entryId) = 0;
  virtual RDOStores& Stores() = 0;
  // Closes the session and its stores. Does not commit.
  virtual Status Logoff() = 0;
};

class MAPIUtils {
 public:
  virtual ~MAPIUtils() = default;
  // Sets one property of `object`, saving the object's changes when `saveChanges`.
  // For PR_MESSAGE_FLAGS the store keeps MSGFLAG_HASATTACH (16) in step with the item's
  // attachments and MSGFLAG_UNSENT (8) as the imported file had it (a draft stays a draft)
  // whatever value is written, so the conversion writes MSGFLAG_READ only.
  virtual Status HrSetOneProp(MapiObject& object, mapi::PropTag tag, int32_t value, bool saveChanges) = 0;
};

// The entry point: where sessions and property utilities come from.
class StoreLibrary {
 public:
  virtual ~StoreLibrary() = default;
  virtual Result<std::unique_ptr<RDOSession>> CreateSession() = 0;
  virtual Result<std::unique_ptr<MAPIUtils>> CreateMAPIUtils() = 0;
  // Reads and checks the message file at `path`, as `opened` (or as it failed to open), as
  // far as can be done before its item is made; failures are kept in what it returns and
  // given by RDOMail::Import. Called on a thread of its own, concurrently with the other
  // calls: it shares nothing with them. Null when the store reads the file only at import.
  virtual std::unique_ptr<SourceRead> ReadSource(const std::string& path, Result<std::unique_ptr<File>> opened) {
    (void)path;
    (void)opened;
    return nullptr;
  }
};

}  // namespace baleport
