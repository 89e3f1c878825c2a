// A Unicode .pst store: create or open one, add folders and items, commit.
//
//   auto store = pst::Store::Create("/tmp/a.pst", "Mail");
//   auto inbox = (*store)->DefaultFolder(pst::StandardFolder::kInbox);
//   auto msg = (*store)->NewMessage(*inbox);
//   (*msg)->Set(pst::prop::String(mapi::tags::kSubject, "Hello"));
//   (*msg)->Save();
//   (*store)->Close();
//
// Errors are values; each says what failed and where. Nothing reaches the file's path until
// the first commit has made a valid store, and every commit is durable.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/property_tag.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport::pst {

using Guid = std::array<uint8_t, 16>;  // in the byte order GUIDs are stored in

// A named property's name: its property set and a number or a string.
struct NamedProperty {
  Guid property_set{};
  std::optional<uint32_t> number;  // a numeric name (LID) ...
  std::string name;                // ... or a string name, UTF-8
};

// The folders every store has, found by DefaultFolder.
enum class StandardFolder {
  kInbox,
  kOutbox,
  kSentItems,
  kDeletedItems,
  kCalendar,
  kContacts,
  kJournal,
  kNotes,
  kTasks,
  kDrafts,
  kJunkEmail,
};

// A property as the store holds it: fixed values little-endian, strings UTF-16LE without a
// terminator, multi-values in the store's packed layout. Build them with prop::.
struct Property {
  mapi::PropTag tag = 0;
  std::string data;
};

namespace prop {
Property Int16(mapi::PropTag tag, int16_t v);
Property Int32(mapi::PropTag tag, int32_t v);
Property Int64(mapi::PropTag tag, int64_t v);
Property Bool(mapi::PropTag tag, bool v);
// FILETIME: 100 ns units since 1601-01-01 UTC.
Property Time(mapi::PropTag tag, uint64_t filetime);
// UTF-8 text for a PtypString tag (a PtypString8 tag is changed to PtypString).
Property String(mapi::PropTag tag, std::string_view utf8);
Property Binary(mapi::PropTag tag, std::string_view bytes);
Property Guid(mapi::PropTag tag, const pst::Guid& guid);
// Multi-valued: each element in the form of its single-valued type (strings as UTF-8).
Property Multi(mapi::PropTag tag, const std::vector<std::string>& elements);
}  // namespace prop

uint64_t FileTimeNow();

// A large value written piece by piece; nothing of it is held whole.
class ValueStream {
 public:
  virtual ~ValueStream() = default;
  virtual Status Write(std::string_view bytes) = 0;
  // Sets the property; a stream dropped without Close sets nothing.
  virtual Status Close() = 0;
};

class Attachment;

// An item being built. It reaches its folder on Save; dropped unsaved, it leaves no trace.
class Message {
 public:
  virtual ~Message() = default;
  virtual Status Set(Property p) = 0;
  // For PtypBinary or PtypString values of any size (strings as UTF-16LE bytes).
  virtual Result<std::unique_ptr<ValueStream>> OpenStream(mapi::PropTag tag) = 0;
  // One row of the recipient table (PidTagRecipientType, PidTagDisplayName, ...).
  virtual Status AddRecipient(std::vector<Property> row) = 0;
  // Owned by the message; valid until the message goes away.
  virtual Result<Attachment*> AddAttachment() = 0;
  // Stores the item in its folder (for an embedded message: into its attachment).
  virtual Status Save() = 0;
  // The store's id of the saved item, 0 before Save.
  virtual uint32_t id() const = 0;
};

class Attachment {
 public:
  virtual ~Attachment() = default;
  virtual Status Set(Property p) = 0;
  // As for messages; PidTagAttachDataObject (PtypObject) takes the bytes of an OLE object's
  // storage, saved as a compound file, for an attachment of method 6.
  virtual Result<std::unique_ptr<ValueStream>> OpenStream(mapi::PropTag tag) = 0;
  // Makes this an embedded-message attachment; the message is owned by the attachment and
  // must be saved before its parent is.
  virtual Result<Message*> EmbedMessage() = 0;
};

using FolderId = uint32_t;

struct FolderInfo {
  FolderId id = 0;
  std::string name;
  std::string container_class;
  uint32_t content_count = 0;
  uint32_t unread_count = 0;
  bool has_subfolders = false;
};

struct MessageInfo {
  uint32_t id = 0;
  std::string message_class;
  std::string subject;
  uint32_t flags = 0;
  uint32_t size = 0;
};

struct StoreOptions {
  Env* env = nullptr;  // Env::Default() when null
  bool read_only = false;
  // Saving items commits by itself once this much time has passed since the last commit.
  int commit_interval_seconds = 60;
};

class Store {
 public:
  // A new store at `path`, which must not exist; it appears there once it is valid.
  static Result<std::unique_ptr<Store>> Create(const std::string& path, std::string_view display_name,
                                               const StoreOptions& options = {});
  // An existing Unicode store. ANSI, password-protected, damaged or foreign files are refused
  // without being written to.
  static Result<std::unique_ptr<Store>> Open(const std::string& path, const StoreOptions& options = {});

  // Without Close, work since the last commit is dropped (the file stays as committed).
  virtual ~Store() = default;

  virtual const std::string& path() const = 0;
  virtual std::string display_name() const = 0;
  // "Top of Personal Folders", under which the user's folders live.
  virtual FolderId ipm_subtree() const = 0;

  virtual Result<FolderInfo> GetFolder(FolderId folder) = 0;
  virtual Result<std::vector<FolderInfo>> ListFolders(FolderId parent) = 0;
  // A mail folder; fails when the parent already has a folder of that name.
  virtual Result<FolderId> AddFolder(FolderId parent, std::string_view name,
                                     std::string_view container_class = "IPF.Note") = 0;
  virtual Result<FolderId> FindFolder(FolderId parent, std::string_view name) = 0;
  // Creates the standard folders that are missing and the properties that mark them.
  virtual Status EnsureStandardFolders() = 0;
  virtual Result<FolderId> DefaultFolder(StandardFolder which) = 0;

  // The store's id (0x8000 and up) for a named property, mapping it when new.
  virtual Result<uint16_t> MapNamedProperty(const NamedProperty& name) = 0;

  virtual Result<std::unique_ptr<Message>> NewMessage(FolderId folder) = 0;
  virtual Result<std::vector<MessageInfo>> ListMessages(FolderId folder) = 0;
  // The stored properties of a saved item, values read whole.
  virtual Result<std::vector<Property>> ReadMessageProperties(uint32_t message) = 0;

  virtual Status Commit() = 0;
  // Commits and closes; later calls fail.
  virtual Status Close() = 0;
};

}  // namespace baleport::pst
