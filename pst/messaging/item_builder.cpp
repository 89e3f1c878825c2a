#include "pst/messaging/item_builder.h"

#include <random>

#include "mapi/tags.h"
#include "pst/messaging/property_check.h"
#include "pst/messaging/schema.h"
#include "pst/messaging/text.h"
#include "support/little_endian.h"

namespace baleport::pst {

using namespace mapi::tags;

namespace {

constexpr uint32_t kMsgFlagHasAttach = 0x10;
constexpr uint32_t kAttachByValue = 1, kAttachEmbedded = 5;

std::string RandomKey() {
  static std::mt19937_64 rng{std::random_device{}()};
  std::string k;
  AppendLe<uint64_t>(k, rng());
  AppendLe<uint64_t>(k, rng());
  return k;
}

constexpr uint16_t kTypeObject = 0x000D;

// The value of a PtypObject property: the subnode holding the object and its size.
std::string ObjectReference(uint32_t nid, uint64_t size) {
  std::string ref;
  AppendLe<uint32_t>(ref, nid);
  AppendLe<uint32_t>(ref, static_cast<uint32_t>(size));
  return ref;
}

uint32_t Clamp32(uint64_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(v); }

std::string Le32(uint32_t v) {
  std::string s;
  AppendLe<uint32_t>(s, v);
  return s;
}

// The recipients' names of one type joined as Outlook shows them in DisplayTo/Cc/Bcc.
std::string JoinNames(const std::vector<ltp::PropertyMap>& recipients, uint32_t type) {
  std::string out;
  const uint16_t type_id = mapi::TagId(kRecipientType), name_id = mapi::TagId(kDisplayName);
  for (const auto& r : recipients) {
    auto t = r.find(type_id);
    auto n = r.find(name_id);
    if (t == r.end() || t->second.data.size() != 4 || LoadLe<uint32_t>(t->second.data, 0) != type) continue;
    if (n == r.end() || n->second.type != 0x001F) continue;
    if (!out.empty()) out += Utf8ToUtf16Le("; ");
    out += n->second.data;
  }
  return out;
}

// Outlook numbers recipient rows from 1, each version two above its id.
uint32_t RecipientRowId(size_t index) { return static_cast<uint32_t>(index + 1); }

}  // namespace

// A value written in pieces: small ones end up in the heap, the rest in a subnode.
class BagStream final : public ValueStream {
 public:
  BagStream(PropertyBag* bag, uint16_t id, uint16_t type) : bag_(bag), id_(id), type_(type) { ++bag_->open_streams_; }
  ~BagStream() override {
    if (!closed_) --bag_->open_streams_;
  }
  Status Write(std::string_view bytes) override {
    if (closed_) return Status::Error("writing a property stream that is already closed");
    size_ += bytes.size();
    if (!writer_ && head_.size() + bytes.size() <= ltp::kMaxHeapValue) {
      head_.append(bytes);
      return Status::Ok();
    }
    if (!writer_) {
      writer_ = std::make_unique<ndb::StreamWriter>(bag_->db());
      BALEPORT_RETURN_IF_ERROR(writer_->Write(head_));
      head_.clear();
    }
    return writer_->Write(bytes);
  }
  Status Close() override {
    if (closed_) return Status::Ok();
    if (type_ == 0x001F && size_ % 2 != 0) return Status::Error("a UTF-16 string stream ended in the middle of a character");
    if (type_ == kTypeObject && size_ > 0xFFFFFFFFu) return Status::Error("a data object is larger than 4 GiB");
    closed_ = true;
    --bag_->open_streams_;
    // An object always lives in a subnode of its own, however small; an empty one holds
    // nothing a subnode could keep (a stream has at least one byte), so it is not stored.
    if (type_ == kTypeObject && size_ == 0) return Status::Ok();
    if (!writer_ && type_ != kTypeObject) return bag_->Put(id_, ltp::PropertyValue{type_, std::move(head_), 0}, size_);
    if (!writer_) {
      writer_ = std::make_unique<ndb::StreamWriter>(bag_->db());
      BALEPORT_RETURN_IF_ERROR(writer_->Write(head_));
    }
    auto bid = writer_->Finish();
    if (!bid.ok()) return bid.status();
    uint32_t nid = bag_->subnodes().NewNid(disk::kNidTypeLtp);
    bag_->subnodes().entries()[nid] = ndb::SubnodeEntry{*bid, 0};
    if (type_ == kTypeObject) return bag_->Put(id_, ltp::PropertyValue{type_, ObjectReference(nid, size_), 0}, size_);
    return bag_->Put(id_, ltp::PropertyValue{type_, std::string(), nid}, size_);
  }

 private:
  PropertyBag* bag_;
  uint16_t id_, type_;
  std::string head_;
  std::unique_ptr<ndb::StreamWriter> writer_;
  uint64_t size_ = 0;
  bool closed_ = false;
};

void PropertyBag::ReleaseSubnode(const ltp::PropertyValue& v) {
  const uint32_t subnode = v.type == kTypeObject && v.data.size() == 8 ? LoadLe<uint32_t>(v.data, 0) : v.subnode;
  if (!subnode) return;
  auto& entries = subnodes_.entries();
  auto e = entries.find(subnode);
  if (e == entries.end()) return;
  (void)db_->Release(e->second.bid_data);
  if (e->second.bid_sub) (void)db_->Release(e->second.bid_sub);
  entries.erase(e);
}

void PropertyBag::Drop(uint16_t id) {
  auto it = props_.find(id);
  if (it == props_.end()) return;
  ReleaseSubnode(it->second);
  props_.erase(it);
  streamed_sizes_.erase(id);
}

Status PropertyBag::Put(uint16_t id, ltp::PropertyValue v, uint64_t size) {
  const bool streamed = v.subnode || v.type == kTypeObject;
  // A value set again takes the old one's place: erased and inserted anew, it moved every
  // value after it in the sorted array twice.
  if (auto it = props_.find(id); it != props_.end()) {
    ReleaseSubnode(it->second);
    streamed_sizes_.erase(id);
    it->second = std::move(v);
  } else {
    props_[id] = std::move(v);
  }
  if (streamed) streamed_sizes_[id] = size;
  return Status::Ok();
}

Status PropertyBag::Set(Property p) {
  const uint16_t id = mapi::TagId(p.tag);
  auto v = NormalizeProperty(std::move(p));
  if (!v.ok()) return v.status();
  uint64_t size = v->data.size();
  return Put(id, std::move(*v), size);
}

Result<std::unique_ptr<ValueStream>> PropertyBag::OpenStream(mapi::PropTag tag) {
  uint16_t type = mapi::TagType(tag);
  if (type != 0x0102 && type != 0x001F && type != kTypeObject) {
    return Status::Error("only binary, Unicode string and object properties can be streamed");
  }
  return std::unique_ptr<ValueStream>(new BagStream(this, mapi::TagId(tag), type));
}

uint64_t PropertyBag::ValueBytes() const {
  uint64_t n = 0;
  for (const auto& [id, v] : props_) {
    auto s = streamed_sizes_.find(id);
    n += s != streamed_sizes_.end() ? s->second : v.data.size();
  }
  return n;
}

Result<NodeStreams> PropertyBag::Finish() {
  if (open_streams_ > 0) return Status::Error("a property stream is still open");
  auto blocks = ltp::BuildPropertyContext(props_, subnodes_.Sink());
  if (!blocks.ok()) return blocks.status();
  auto data = WriteHeapStream(db_, *blocks);
  if (!data.ok()) return data.status();
  auto sub = subnodes_.Finish();
  if (!sub.ok()) {
    (void)db_->Release(*data);
    return sub.status();
  }
  return NodeStreams{*data, *sub};
}

Result<uint64_t> SharedEmptyRecipients::Take(ndb::NodeDatabase* db) {
  if (bid_ && db->AddRef(bid_)) return bid_;
  const ndb::NodeEntry* tmpl = db->FindNode(disk::kNidRecipientTable);
  if (!bid_ && tmpl && tmpl->bid_sub == 0 && db->AddRef(tmpl->bid_data)) {
    bid_ = tmpl->bid_data;
    return bid_;
  }
  ltp::Table empty;
  empty.columns = ltp::Table::Layout(RecipientTableColumns());
  auto copy = WriteTc(db, empty);
  if (!copy.ok()) return copy.status();
  bid_ = copy->bid_data;
  return bid_;
}

MessageBuilder::MessageBuilder(ndb::NodeDatabase* db, SharedEmptyRecipients* empty, SaveHook save)
    : db_(db), empty_recipients_(empty), save_(std::move(save)), bag_(db) {}
MessageBuilder::~MessageBuilder() = default;

Status MessageBuilder::Set(Property p) {
  if (saved_) return Status::Error("setting a property of an item already saved");
  return bag_.Set(std::move(p));
}

Result<std::unique_ptr<ValueStream>> MessageBuilder::OpenStream(mapi::PropTag tag) {
  if (saved_) return Status::Error("writing a property of an item already saved");
  return bag_.OpenStream(tag);
}

Status MessageBuilder::AddRecipient(std::vector<Property> row) {
  if (saved_) return Status::Error("adding a recipient to an item already saved");
  ltp::PropertyMap r;
  r.reserve(row.size());
  for (Property& p : row) {
    const uint16_t id = mapi::TagId(p.tag);
    auto v = NormalizeProperty(std::move(p));
    if (!v.ok()) return v.status().WithContext("recipient " + std::to_string(recipients_.size() + 1));
    r[id] = std::move(*v);
  }
  recipients_.push_back(std::move(r));
  return Status::Ok();
}

Result<Attachment*> MessageBuilder::AddAttachment() {
  if (saved_) return Status::Error("adding an attachment to an item already saved");
  attachments_.push_back(std::make_unique<AttachmentBuilder>(db_, empty_recipients_));
  return static_cast<Attachment*>(attachments_.back().get());
}

Status MessageBuilder::Save() {
  if (saved_) return Status::Error("the item is already saved");
  if (failed_) return Status::Error("the item could not be saved before and is discarded");
  if (!save_) {
    // Embedded: written with its attachment.
    if (bag_.streaming()) return Status::Error("a property stream of the item is still open");
    saved_ = true;
    return Status::Ok();
  }
  Status s = save_(*this);
  // With an id the item is in the store even if the commit that followed failed.
  if (s.ok() || id_ != 0) {
    saved_ = true;
  } else {
    failed_ = true;
  }
  return s;
}

Result<NodeStreams> MessageBuilder::Build() {
  if (bag_.streaming()) return Status::Error("a property stream of the item is still open");
  for (const auto& a : attachments_) {
    if (a->streaming()) return Status::Error("a property stream of an attachment is still open");
  }
  SubnodeSet& subs = bag_.subnodes();
  uint64_t size = 0;

  // Attachments, then their table (§2.4.6.1).
  if (!attachments_.empty()) {
    ltp::Table table;
    table.columns = ltp::Table::Layout(AttachmentTableColumns());
    for (size_t i = 0; i < attachments_.size(); ++i) {
      auto streams = attachments_[i]->Build();
      if (!streams.ok()) return streams.status().WithContext("attachment " + std::to_string(i + 1));
      uint32_t nid = subs.NewNid(disk::kNidTypeAttachment);
      subs.entries()[nid] = ndb::SubnodeEntry{streams->bid_data, streams->bid_sub};
      size += attachments_[i]->size();
      ltp::Cells cells(table.columns.size());
      for (size_t c = 0; c < table.columns.size(); ++c) {
        const uint32_t tag = table.columns[c].tag;
        if (tag == ltp::kTagLtpRowId) cells[c] = Le32(nid);
        else if (tag == ltp::kTagLtpRowVer) cells[c] = Le32(static_cast<uint32_t>(i + 1));
        else if (auto it = attachments_[i]->props().find(mapi::TagId(tag));
                 it != attachments_[i]->props().end() && it->second.type == mapi::TagType(tag) && !it->second.subnode) {
          cells[c] = it->second.data;
        }
      }
      table.rows.push_back(ltp::TableRow{nid, ltp::PackCells(cells)});
    }
    auto t = WriteTc(db_, table);
    if (!t.ok()) return t.status();
    subs.entries()[disk::kNidAttachmentTable] = ndb::SubnodeEntry{t->bid_data, t->bid_sub};
  }

  // The recipient table, present even when empty (§2.4.5.3); empty ones are shared.
  if (recipients_.empty()) {
    auto shared = empty_recipients_->Take(db_);
    if (!shared.ok()) return shared.status();
    subs.entries()[disk::kNidRecipientTable] = ndb::SubnodeEntry{*shared, 0};
  } else {
    std::vector<uint32_t> tags = RecipientTableColumns();
    for (const auto& r : recipients_) {
      for (const auto& [id, v] : r) tags.push_back(mapi::MakeTag(id, v.type));
    }
    ltp::Table table;
    table.columns = ltp::Table::Layout(tags);
    for (size_t i = 0; i < recipients_.size(); ++i) {
      ltp::Cells cells(table.columns.size());
      for (size_t c = 0; c < table.columns.size(); ++c) {
        const uint32_t tag = table.columns[c].tag;
        if (tag == ltp::kTagLtpRowId) cells[c] = Le32(RecipientRowId(i));
        else if (tag == ltp::kTagLtpRowVer) cells[c] = Le32(RecipientRowId(i) + 2);
        else if (auto it = recipients_[i].find(mapi::TagId(tag)); it != recipients_[i].end() && it->second.type == mapi::TagType(tag)) {
          cells[c] = it->second.data;
          size += it->second.data.size();
        }
      }
      table.rows.push_back(ltp::TableRow{RecipientRowId(i), ltp::PackCells(cells)});
    }
    auto t = WriteTc(db_, table);
    if (!t.ok()) return t.status();
    subs.entries()[disk::kNidRecipientTable] = ndb::SubnodeEntry{t->bid_data, t->bid_sub};
  }

  // Properties every message carries (§2.4.5.1.1) and those derived from its content.
  auto set_default = [&](mapi::PropTag tag, const Property& p) -> Status {
    return bag_.Has(mapi::TagId(tag)) ? Status::Ok() : bag_.Set(p);
  };
  BALEPORT_RETURN_IF_ERROR(set_default(kMessageClass, prop::String(kMessageClass, "IPM.Note")));
  BALEPORT_RETURN_IF_ERROR(MarkSubject());
  uint32_t flags = 0;
  if (auto it = bag_.props().find(mapi::TagId(kMessageFlags)); it != bag_.props().end() && it->second.data.size() == 4) {
    flags = LoadLe<uint32_t>(it->second.data, 0);
  }
  flags = attachments_.empty() ? (flags & ~kMsgFlagHasAttach) : (flags | kMsgFlagHasAttach);
  BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kMessageFlags, static_cast<int32_t>(flags))));
  BALEPORT_RETURN_IF_ERROR(set_default(kMessageStatus, prop::Int32(kMessageStatus, 0)));
  const uint64_t now = FileTimeNow();
  BALEPORT_RETURN_IF_ERROR(set_default(kCreationTime, prop::Time(kCreationTime, now)));
  BALEPORT_RETURN_IF_ERROR(set_default(kLastModificationTime, prop::Time(kLastModificationTime, now)));
  BALEPORT_RETURN_IF_ERROR(set_default(kSearchKey, prop::Binary(kSearchKey, RandomKey())));
  const std::pair<mapi::PropTag, uint32_t> displays[] = {{kDisplayTo, 1}, {kDisplayCc, 2}, {kDisplayBcc, 3}};
  for (const auto& [tag, type] : displays) {
    if (!bag_.Has(mapi::TagId(tag))) BALEPORT_RETURN_IF_ERROR(bag_.Set(Property{tag, JoinNames(recipients_, type)}));
  }
  size += bag_.ValueBytes() + 4;  // the size property itself
  size_ = Clamp32(size);
  BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kMessageSize, static_cast<int32_t>(size_))));
  return bag_.Finish();
}

Status MessageBuilder::MarkSubject() {
  // Outlook's subjects begin with U+0001 and the length of their prefix plus one; readers
  // take the prefix from there, so the prefix property itself is not kept.
  const auto& props = bag_.props();
  auto subject = props.find(mapi::TagId(kSubject));
  auto prefix = props.find(mapi::TagId(kSubjectPrefix));
  const bool has_prefix = prefix != props.end();
  if (subject != props.end() && subject->second.type == mapi::TagType(kSubject) && !subject->second.subnode &&
      !subject->second.data.starts_with(std::string_view("\x01\0", 2))) {
    const std::string& text = subject->second.data;
    size_t prefix_chars = 0;
    if (prefix != props.end() && prefix->second.type == mapi::TagType(kSubjectPrefix) && !prefix->second.subnode &&
        text.starts_with(prefix->second.data) && prefix->second.data.size() / 2 < 0xFFFE) {
      prefix_chars = prefix->second.data.size() / 2;
    }
    std::string marked("\x01\0", 2);
    AppendLe<uint16_t>(marked, static_cast<uint16_t>(prefix_chars + 1));
    marked += text;
    BALEPORT_RETURN_IF_ERROR(bag_.Set(Property{kSubject, std::move(marked)}));
  }
  if (has_prefix) bag_.Drop(mapi::TagId(kSubjectPrefix));
  return Status::Ok();
}

Result<Message*> AttachmentBuilder::EmbedMessage() {
  if (embedded_) return static_cast<Message*>(embedded_.get());
  embedded_ = std::make_unique<MessageBuilder>(db_, empty_recipients_, nullptr);
  return static_cast<Message*>(embedded_.get());
}

Result<NodeStreams> AttachmentBuilder::Build() {
  uint64_t size = 0;
  if (embedded_) {
    if (!embedded_->saved()) return Status::Error("its embedded message was not saved");
    auto streams = embedded_->Build();
    if (!streams.ok()) return streams.status().WithContext("embedded message");
    uint32_t nid = bag_.subnodes().NewNid(disk::kNidTypeNormalMessage);
    bag_.subnodes().entries()[nid] = ndb::SubnodeEntry{streams->bid_data, streams->bid_sub};
    BALEPORT_RETURN_IF_ERROR(bag_.Set(Property{kAttachDataObject, ObjectReference(nid, embedded_->message_size())}));
    BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kAttachMethod, kAttachEmbedded)));
    size += embedded_->message_size();
  } else if (!bag_.Has(mapi::TagId(kAttachMethod))) {
    BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kAttachMethod, kAttachByValue)));
  }
  if (!bag_.Has(mapi::TagId(kRenderingPosition))) BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kRenderingPosition, -1)));
  size += bag_.ValueBytes() + 4;
  size_ = Clamp32(size);
  BALEPORT_RETURN_IF_ERROR(bag_.Set(prop::Int32(kAttachSize, static_cast<int32_t>(size_))));
  return bag_.Finish();
}

}  // namespace baleport::pst
