// The objects of a .msg file: the message, its recipients and attachments, and embedded
// messages to any depth. Fixed-size values are held inline; variable-size values stay in
// the file and are pulled through a ValueStream in chunks of the caller's choosing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mapi/property_tag.h"
#include "msg/compound_file.h"
#include "msg/named_properties.h"
#include "msg/text_decoder.h"
#include "support/little_endian.h"
#include "support/status.h"

namespace baleport::msg {

struct Property {
  mapi::PropTag tag = 0;
  uint32_t flags = 0;  // PROPATTR_* bits of the entry
  uint32_t count = 1;  // values: N when multi-valued, 0 for PT_OBJECT (an embedded message or storage)
  uint64_t size = 0;   // bytes of all values as stored (strings before decoding)
  // Fixed-size single values, little-endian, zero-padded.
  std::array<uint8_t, 8> inline_value{};

  uint16_t id() const { return mapi::TagId(tag); }
  uint16_t type() const { return mapi::TagType(tag); }
  bool is_inline() const;  // fixed-size and single-valued

  // Typed views of inline values; they read the first bytes of inline_value.
  int16_t AsInt16() const { return LoadLe<int16_t>(inline_value.data()); }
  int32_t AsInt32() const { return LoadLe<int32_t>(inline_value.data()); }
  int64_t AsInt64() const { return LoadLe<int64_t>(inline_value.data()); }  // also PT_CURRENCY and PT_SYSTIME
  bool AsBool() const { return AsInt16() != 0; }  // writers differ on one or two bytes: any nonzero value
};

// Sequential reader of one value's bytes; the MsgFile it came from must outlive it.
class ValueStream {
 public:
  uint64_t size() const { return size_; }
  uint64_t remaining() const { return size_ - position_; }
  // Reads up to n bytes; returns the number read, 0 at the end.
  Result<size_t> Read(void* dst, size_t n);
  // The next up-to-n bytes, in place in the file's bytes when they can be, else copied into
  // *scratch; empty at the end.
  Result<std::span<const uint8_t>> Next(size_t n, std::vector<uint8_t>* scratch);

 private:
  friend class PropertyObject;
  ValueStream() = default;
  const CompoundFile* file_ = nullptr;  // null for inline values
  uint32_t entry_ = 0;
  uint64_t base_ = 0;  // where the value starts in its stream
  std::array<uint8_t, 8> inline_{};
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

// A string value decoded to UTF-16 as it is read, for values too long to load whole.
// PT_STRING8 values decode as PropertyObject::OpenText says; trailing NULs are dropped.
class TextStream {
 public:
  uint64_t size() const { return value_.size(); }  // stored bytes
  // Appends the text of up to max_bytes more stored bytes; false once the value is done.
  Result<bool> Read(std::u16string* out, size_t max_bytes = 64u << 10);
  bool had_errors() const { return decoder_.had_errors(); }

 private:
  friend class PropertyObject;
  TextStream(ValueStream value, TextDecoder decoder) : value_(std::move(value)), decoder_(std::move(decoder)) {}
  ValueStream value_;
  TextDecoder decoder_;
  std::vector<uint8_t> scratch_;  // only for values not contiguous in memory
  size_t held_nuls_ = 0;  // NULs seen at the end so far: dropped if nothing follows them
  bool done_ = false;
};

// Bounds on what one file may ask of the reader beyond what its size already bounds (every
// object, entry and value takes room in the file), so that a hostile file costs little time
// and memory. The defaults are far beyond what Outlook writes.
struct ReadLimits {
  // Each level of embedding is a level of recursion in the reader and the import.
  uint32_t max_embedding_depth = 32;
  uint64_t max_property_stream = 1u << 20;  // 65536 entries: more than there are distinct tags
};

// State of one file's loading, shared by all its objects.
struct LoadContext {
  const ReadLimits& limits;
  std::vector<std::string>* notes;
};

// The children of an object's storage that hold property values (__substg1.0_TTTTTTTT and
// __substg1.0_TTTTTTTT-NNNNNNNN), by tag and index, and which of its children have been
// claimed: whatever is left unclaimed once the object is loaded is data the reader cannot
// place, and fails the file.
class ChildIndex {
 public:
  static constexpr uint32_t kWhole = 0xFFFFFFFF;  // the stream without an index suffix
  explicit ChildIndex(const Storage& storage);
  // The child's position in the storage, or -1; claims it.
  int Take(mapi::PropTag tag, uint32_t index = kWhole);
  void Claim(int position) { claimed_[position] = true; }
  Status CheckAllClaimed(const Storage& storage) const;

 private:
  std::vector<std::pair<uint64_t, int>> by_key_;  // (tag << 32 | index, position), sorted
  std::vector<bool> claimed_;
};

// What every object has: its properties and a way to read their values.
class PropertyObject {
 public:
  const std::vector<Property>& properties() const { return properties_; }
  // The property with exactly this tag, or nullptr.
  const Property* Find(mapi::PropTag tag) const;

  // Value `index` (0 for single-valued properties) of a property of this object.
  Result<ValueStream> OpenValue(const Property& property, uint32_t index = 0) const;
  // The same value loaded whole; fails for one larger than max_size.
  Result<std::string> ReadValue(const Property& property, uint32_t index = 0, size_t max_size = 16u << 20) const;
  // A PT_UNICODE or PT_STRING8 value as text, trailing NULs removed. 8-bit values decode in
  // code_page(), bodies in body_code_page() or, when their bytes do not decode in it (found by
  // a first pass over the value), in code_page(). For large values, use OpenText.
  Result<std::u16string> ReadText(const Property& property, uint32_t index = 0, size_t max_size = 16u << 20) const;
  Result<std::string> ReadTextUtf8(const Property& property, uint32_t index = 0, size_t max_size = 16u << 20) const;
  Result<TextStream> OpenText(const Property& property, uint32_t index = 0) const;

  // Code pages of the PT_STRING8 values (see Message::ChooseCodePage): of all but the bodies,
  // and of the bodies (PR_BODY, PR_HTML).
  uint32_t code_page() const { return code_page_; }
  uint32_t body_code_page() const { return body_code_page_; }
  // File and storage of this object, for messages about it.
  std::string where() const { return storage_.path(); }
  const Storage& storage() const { return storage_; }

 protected:
  explicit PropertyObject(Storage storage) : storage_(std::move(storage)) {}
  // Reads the property stream; header_size by the object's role.
  Status LoadProperties(size_t header_size, LoadContext* context, ChildIndex* children);

  uint32_t code_page_ = 0;
  uint32_t body_code_page_ = 0;

 private:
  friend class Message;
  // Where the values of properties_[i] live: directory entries of the file.
  struct Location {
    uint32_t stream = 0;                 // single value, or the one stream of fixed-size MV values
    std::vector<uint32_t> value_streams; // variable-size MV values
  };
  Status AddProperty(const uint8_t* entry, LoadContext* context, ChildIndex* children);
  Result<bool> DecodesCleanly(const Property& property, uint32_t index, uint32_t code_page) const;
  // The value as text in `code_page`, 0 for UTF-16.
  Result<TextStream> OpenTextIn(const Property& property, uint32_t index, uint32_t code_page) const;

  Storage storage_;
  std::vector<Property> properties_;
  std::vector<Location> locations_;
};

class Recipient : public PropertyObject {
 private:
  friend class Message;
  using PropertyObject::PropertyObject;
};

class Message;

class Attachment : public PropertyObject {
 public:
  // PR_ATTACH_METHOD, or 0 when absent.
  uint32_t method() const;
  // The embedded message of an afEmbeddedMessage attachment, or nullptr.
  const Message* embedded_message() const { return embedded_.get(); }
  // The storage behind PR_ATTACH_DATA_OBJ when it is not a message (afStorage), for copying
  // as an opaque tree; nullptr otherwise.
  const Storage* custom_storage() const { return custom_storage_ ? &*custom_storage_ : nullptr; }

 private:
  friend class Message;
  explicit Attachment(Storage storage) : PropertyObject(std::move(storage)) {}
  std::unique_ptr<Message> embedded_;
  std::optional<Storage> custom_storage_;
};

class Message : public PropertyObject {
 public:
  const std::vector<Recipient>& recipients() const { return recipients_; }
  const std::vector<Attachment>& attachments() const { return attachments_; }

 private:
  friend class MsgFile;
  friend class Attachment;
  using PropertyObject::PropertyObject;
  static Result<std::unique_ptr<Message>> Load(Storage storage, uint32_t depth, const PropertyObject* parent,
                                               LoadContext* context);
  void ChooseCodePage(const PropertyObject* parent);

  std::vector<Recipient> recipients_;
  std::vector<Attachment> attachments_;
};

// Opening a .msg file ([MS-OXMSG] on [MS-CFB]). The compound file's tables and the whole
// object tree are checked at open, so that a damaged file fails here, naming the file and the
// storage or stream at fault; values are read later, on demand. A MsgFile owns all it refers
// to and shares nothing with other files: it may be opened on one thread and read on another
// (a file up to CompoundFile::kWholeFileLimit is in memory once opened).
class MsgFile {
 public:
  static Result<std::unique_ptr<MsgFile>> Open(Env& env, const std::string& path, const ReadLimits& limits = {});
  static Result<std::unique_ptr<MsgFile>> Open(std::unique_ptr<File> file, const ReadLimits& limits = {});

  const std::string& path() const { return file_->path(); }
  // The bytes the file was read from, when it is held whole in memory; else empty.
  std::span<const uint8_t> bytes() const { return file_->bytes(); }
  const Message& message() const { return *message_; }
  // Named properties of every object in the file, by their local ids.
  const NameMap& names() const { return names_; }
  // Things the reader skipped without failing (missing value streams, unresolvable names...).
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  MsgFile() = default;
  std::unique_ptr<CompoundFile> file_;
  NameMap names_;
  std::vector<std::string> notes_;
  std::unique_ptr<Message> message_;
};

}  // namespace baleport::msg
