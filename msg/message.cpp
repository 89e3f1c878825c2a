#include "msg/message.h"

#include <algorithm>

#include "mapi/tags.h"
#include "support/hex.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

using mapi::PropType;

constexpr uint16_t Type(PropType type) { return static_cast<uint16_t>(type); }
constexpr std::u16string_view kValuePrefix = u"__substg1.0_";

// Size of one value of a fixed-size type, or 0 for types whose values live in streams.
size_t FixedSize(uint16_t base_type) {
  switch (static_cast<PropType>(base_type)) {
    case PropType::kInt16: case PropType::kBoolean: return 2;
    case PropType::kInt32: case PropType::kFloat32: case PropType::kError: return 4;
    case PropType::kFloat64: case PropType::kCurrency: case PropType::kAppTime: case PropType::kInt64:
    case PropType::kSysTime: return 8;
    case PropType::kGuid: return 16;
    default: return 0;
  }
}

bool IsUnicode(uint16_t type) { return (type & ~mapi::kMultiValued) == Type(PropType::kUnicode); }
bool IsString(uint16_t type) { return IsUnicode(type) || (type & ~mapi::kMultiValued) == Type(PropType::kString8); }
// Of the variable-size types, those that can also be multi-valued.
bool IsMultiVariable(uint16_t base) { return IsString(base) || base == Type(PropType::kBinary); }
bool IsVariable(uint16_t base) {
  return IsMultiVariable(base) || base == Type(PropType::kServerId) || base == Type(PropType::kRestriction) ||
         base == Type(PropType::kRuleAction);
}

Status TooLarge(const std::string& where, mapi::PropTag tag, uint64_t size, size_t max_size) {
  return Status::Error(where + ": value of property " + Hex(tag) + " has " + std::to_string(size) +
                       " bytes, more than the " + std::to_string(max_size) + " allowed here");
}

std::optional<uint32_t> ParseHex8(std::u16string_view digits) {
  if (digits.size() != 8) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : digits) {
    const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
    if (d < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return value;
}

// Sub-object storages "<prefix>XXXXXXXX" as (number, child index), in the order of their
// numbers; each is claimed.
std::vector<std::pair<uint32_t, int>> NumberedChildren(const Storage& storage, std::u16string_view prefix,
                                                      ChildIndex* children) {
  std::vector<std::pair<uint32_t, int>> found;
  for (int i = 0; i < storage.child_count(); ++i) {
    if (!storage.child_is_storage(i)) continue;
    const std::u16string_view name = storage.file().name(storage.child_id(i));
    if (!name.starts_with(prefix)) continue;
    const std::optional<uint32_t> number = ParseHex8(name.substr(prefix.size()));
    if (!number) continue;
    found.emplace_back(*number, i);
    children->Claim(i);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

bool Property::is_inline() const {
  return !mapi::IsMultiValued(tag) && type() != Type(PropType::kGuid) && (FixedSize(type()) != 0 || type() == Type(PropType::kNull));
}

Result<size_t> ValueStream::Read(void* dst, size_t n) {
  std::vector<uint8_t> scratch;
  Result<std::span<const uint8_t>> bytes = Next(n, &scratch);
  if (!bytes.ok()) return bytes.status();
  std::copy(bytes->begin(), bytes->end(), static_cast<uint8_t*>(dst));
  return bytes->size();
}

Result<std::span<const uint8_t>> ValueStream::Next(size_t n, std::vector<uint8_t>* scratch) {
  const size_t count = static_cast<size_t>(std::min<uint64_t>(n, remaining()));
  if (count == 0) return std::span<const uint8_t>();
  if (file_ == nullptr) {
    const std::span<const uint8_t> view(inline_.data() + position_, count);
    position_ += count;
    return view;
  }
  Result<std::span<const uint8_t>> view = file_->View(entry_, base_ + position_, count, scratch);
  if (view.ok()) position_ += count;
  return view;
}

ChildIndex::ChildIndex(const Storage& storage) : claimed_(storage.child_count()) {
  const CompoundFile& file = storage.file();
  for (int i = 0; i < storage.child_count(); ++i) {
    const std::u16string_view name = file.name(storage.child_id(i));
    if (!name.starts_with(kValuePrefix)) continue;
    const std::u16string_view rest = name.substr(kValuePrefix.size());
    const std::optional<uint32_t> tag = ParseHex8(rest.substr(0, 8));
    std::optional<uint32_t> index = kWhole;
    if (rest.size() > 8) index = rest[8] == u'-' ? ParseHex8(rest.substr(9)) : std::nullopt;
    if (tag && index) by_key_.emplace_back(uint64_t{*tag} << 32 | *index, i);
  }
  // A damaged directory can repeat a name; the first one (lowest position) wins, as in a tree lookup.
  std::sort(by_key_.begin(), by_key_.end());
}

int ChildIndex::Take(mapi::PropTag tag, uint32_t index) {
  const uint64_t key = uint64_t{tag} << 32 | index;
  auto it = std::lower_bound(by_key_.begin(), by_key_.end(), std::pair<uint64_t, int>(key, -1));
  if (it == by_key_.end() || it->first != key) return -1;
  claimed_[it->second] = true;
  return it->second;
}

Status ChildIndex::CheckAllClaimed(const Storage& storage) const {
  const auto unclaimed = std::find(claimed_.begin(), claimed_.end(), false);
  if (unclaimed == claimed_.end()) return Status::Ok();
  return Status::Error(storage.ChildPath(static_cast<int>(unclaimed - claimed_.begin())) +
                       ": holds data that belongs to no property or object of the message");
}

const Property* PropertyObject::Find(mapi::PropTag tag) const {
  auto found = std::find_if(properties_.begin(), properties_.end(), [tag](const Property& p) { return p.tag == tag; });
  return found != properties_.end() ? &*found : nullptr;
}

Status PropertyObject::LoadProperties(size_t header_size, LoadContext* context, ChildIndex* children) {
  const int index = storage_.Find("__properties_version1.0");
  if (index < 0) {
    return Status::Error(storage_.path() + ": has no __properties_version1.0 stream; " +
                         (header_size == 32 ? "not a message" : "the directory is damaged or incomplete"));
  }
  std::vector<uint8_t> scratch;
  Result<std::span<const uint8_t>> data = storage_.ViewStream(index, context->limits.max_property_stream, &scratch);
  if (!data.ok()) return data.status();
  children->Claim(index);
  // The header size follows the object's role; files that used the other message header
  // size are recognised by the entries then lining up.
  if (data->size() >= header_size && (data->size() - header_size) % 16 != 0 && header_size != 8) {
    const size_t other = header_size == 32 ? 24 : 32;
    if (data->size() >= other && (data->size() - other) % 16 == 0) header_size = other;
  }
  if (data->size() < header_size) {
    return Status::Error(storage_.ChildPath(index) + ": " + std::to_string(data->size()) +
                         " bytes is shorter than its " + std::to_string(header_size) + "-byte header");
  }
  const size_t entries = (data->size() - header_size) / 16;
  if ((data->size() - header_size) % 16 != 0) {
    context->notes->push_back(storage_.ChildPath(index) + ": trailing partial entry ignored");
  }
  // Entries by tag, so that a repeated tag is seen without a set; the first entry is kept.
  std::vector<std::pair<mapi::PropTag, uint32_t>> order(entries);
  for (size_t i = 0; i < entries; ++i) order[i] = {LoadLe<uint32_t>(data->data() + header_size + 16 * i), static_cast<uint32_t>(i)};
  std::sort(order.begin(), order.end());
  std::vector<bool> repeated(entries);
  for (size_t i = 1; i < entries; ++i) repeated[order[i].second] = order[i].first == order[i - 1].first;
  properties_.reserve(entries);
  locations_.reserve(entries);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* entry = data->data() + header_size + 16 * i;
    const mapi::PropTag tag = LoadLe<uint32_t>(entry);
    if (tag == 0) continue;  // zero padding some writers leave at the end
    if (repeated[i]) {
      context->notes->push_back(storage_.path() + ": property " + Hex(tag) + " repeated; the first is kept");
      continue;
    }
    BALEPORT_RETURN_IF_ERROR(AddProperty(entry, context, children));
  }
  return Status::Ok();
}

Status PropertyObject::AddProperty(const uint8_t* entry, LoadContext* context, ChildIndex* children) {
  const CompoundFile& file = storage_.file();
  Property p;
  p.tag = LoadLe<uint32_t>(entry);
  p.flags = LoadLe<uint32_t>(entry + 4);
  Location location;
  const uint16_t type = p.type();
  const uint16_t base = type & ~mapi::kMultiValued;
  const bool multi = (type & mapi::kMultiValued) != 0;
  // What the file lacks is no damage: the property is left out and the reason noted.
  auto skip = [&](const std::string& why) {
    context->notes->push_back(storage_.path() + ": property " + Hex(p.tag) + " skipped: " + why);
    return Status::Ok();
  };
  // A value stream by tag and index; a storage where a stream belongs is damage.
  auto stream = [&](uint32_t index) -> Result<int> {
    const int child = children->Take(p.tag, index);
    if (child >= 0 && storage_.child_is_storage(child)) {
      return Status::Error(storage_.ChildPath(child) + ": is a storage where a stream was expected");
    }
    return child;
  };
  if (type == Type(PropType::kError)) return Status::Ok();  // an error code, not a value
  if (type == Type(PropType::kNull)) {
    p.size = 0;
  } else if (type == Type(PropType::kObject)) {
    // The value is a storage; the attachment exposes it as a message or an opaque storage.
    p.count = 0;
    children->Take(p.tag);
  } else if (!multi && FixedSize(base) != 0 && base != Type(PropType::kGuid)) {
    p.size = FixedSize(base);
    std::copy_n(entry + 8, 8, p.inline_value.begin());
  } else if ((!multi && (IsVariable(base) || base == Type(PropType::kGuid))) ||
             (multi && FixedSize(base) != 0 && base != Type(PropType::kError) && base != Type(PropType::kBoolean))) {
    // One stream: a single value, or fixed-size values end to end.
    Result<int> child = stream(ChildIndex::kWhole);
    if (!child.ok()) return child.status();
    if (*child < 0) return skip("its value stream is missing");
    location.stream = storage_.child_id(*child);
    p.size = file.size(location.stream);
    if (const size_t element = FixedSize(base); multi && p.size % element != 0) {
      return Status::Error(storage_.ChildPath(*child) + ": " + std::to_string(p.size) + " bytes is not a whole number of " +
                           std::to_string(element) + "-byte values");
    } else if (multi) {
      p.count = static_cast<uint32_t>(std::min<uint64_t>(p.size / element, UINT32_MAX));
      p.size = uint64_t{p.count} * element;
    }
  } else if (multi && IsMultiVariable(base)) {
    // The values themselves are authoritative; the length stream only repeats their sizes.
    Result<int> lengths = stream(ChildIndex::kWhole);
    if (!lengths.ok()) return lengths.status();
    p.count = 0;
    for (;;) {
      Result<int> child = stream(p.count);
      if (!child.ok()) return child.status();
      if (*child < 0) break;
      location.value_streams.push_back(storage_.child_id(*child));
      p.size += file.size(location.value_streams.back());
      ++p.count;
    }
    if (p.count == 0 && *lengths < 0) return skip("its value streams are missing");
  } else {
    return skip("unknown property type " + Hex(type, 4));
  }
  properties_.push_back(p);
  locations_.push_back(std::move(location));
  return Status::Ok();
}

Result<ValueStream> PropertyObject::OpenValue(const Property& property, uint32_t index) const {
  const auto slot = static_cast<size_t>(&property - properties_.data());
  if (&property < properties_.data() || slot >= properties_.size()) {
    return Status::Error(where() + ": property " + Hex(property.tag) + " belongs to another object");
  }
  if (index >= property.count) {
    return Status::Error(where() + ": property " + Hex(property.tag) + " has no value " + std::to_string(index));
  }
  const Location& location = locations_[slot];
  ValueStream value;
  if (property.is_inline()) {
    value.inline_ = property.inline_value;
    value.size_ = property.size;
    return value;
  }
  value.file_ = &storage_.file();
  value.entry_ = location.value_streams.empty() ? location.stream : location.value_streams[index];
  if (!location.value_streams.empty()) {
    value.size_ = value.file_->size(value.entry_);
  } else if (mapi::IsMultiValued(property.tag)) {  // fixed-size values end to end
    value.size_ = FixedSize(property.type() & ~mapi::kMultiValued);
    value.base_ = uint64_t{index} * value.size_;
  } else {
    value.size_ = property.size;
  }
  return value;
}

Result<std::string> PropertyObject::ReadValue(const Property& property, uint32_t index, size_t max_size) const {
  Result<ValueStream> value = OpenValue(property, index);
  if (!value.ok()) return value.status();
  if (value->size() > max_size) return TooLarge(where(), property.tag, value->size(), max_size);
  // Taken from the value's view, which holds all of it: no zero-filled buffer copied over.
  std::vector<uint8_t> scratch;
  Result<std::span<const uint8_t>> bytes = value->Next(static_cast<size_t>(value->size()), &scratch);
  if (!bytes.ok()) return bytes.status();
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

Result<std::u16string> PropertyObject::ReadText(const Property& property, uint32_t index, size_t max_size) const {
  Result<TextStream> stream = OpenText(property, index);
  if (!stream.ok()) return stream.status();
  if (stream->size() > max_size) return TooLarge(where(), property.tag, stream->size(), max_size);
  std::u16string text;
  text.reserve(static_cast<size_t>(IsUnicode(property.type()) ? stream->size() / 2 : stream->size()));
  for (;;) {
    Result<bool> more = stream->Read(&text, static_cast<size_t>(stream->size()) + 1);
    if (!more.ok()) return more.status();
    if (!*more) return text;
  }
}

Result<bool> PropertyObject::DecodesCleanly(const Property& property, uint32_t index, uint32_t code_page) const {
  Result<TextStream> text = OpenTextIn(property, index, code_page);
  if (!text.ok()) return false;  // a code page the system lacks; a value that cannot be opened fails next
  for (std::u16string scratch;; scratch.clear()) {
    Result<bool> more = text->Read(&scratch);
    if (!more.ok()) return more.status();
    if (text->had_errors() || !*more) return !text->had_errors();
  }
}

Result<TextStream> PropertyObject::OpenTextIn(const Property& property, uint32_t index, uint32_t code_page) const {
  Result<TextDecoder> decoder = code_page == 0 ? TextDecoder::ForUtf16() : TextDecoder::ForCodePage(code_page);
  if (!decoder.ok()) return decoder.status().WithContext(where());
  Result<ValueStream> value = OpenValue(property, index);
  if (!value.ok()) return value.status();
  return TextStream(std::move(value).value(), std::move(decoder).value());
}

Result<TextStream> PropertyObject::OpenText(const Property& property, uint32_t index) const {
  if (!IsString(property.type())) {
    return Status::Error(where() + ": property " + Hex(property.tag) + " is not a string");
  }
  const bool unicode = IsUnicode(property.type());
  uint32_t code_page = code_page_;
  const uint16_t id = property.id();
  if (!unicode && (id == mapi::TagId(mapi::tags::kBody) || id == mapi::TagId(mapi::tags::kBodyHtml)) &&
      body_code_page_ != code_page_) {
    // One pass to learn whether the Internet code page fits these bytes at all: some writers
    // declare UTF-8 there over bodies in the message's own code page.
    Result<bool> clean = DecodesCleanly(property, index, body_code_page_);
    if (!clean.ok()) return clean.status();
    if (*clean) code_page = body_code_page_;
  }
  return OpenTextIn(property, index, unicode ? 0 : code_page);
}

Result<bool> TextStream::Read(std::u16string* out, size_t max_bytes) {
  if (done_) return false;
  Result<std::span<const uint8_t>> chunk = value_.Next(std::max<size_t>(max_bytes, 1), &scratch_);
  if (!chunk.ok()) return chunk.status();
  // Decoded straight onto the caller's text; NULs at its end wait until something follows.
  const size_t start = out->size();
  out->append(held_nuls_, u'\0');
  if (chunk->empty()) {
    decoder_.Finish(out);
    done_ = true;
  } else {
    decoder_.Decode(chunk->data(), chunk->size(), out);
  }
  size_t end = out->size();
  while (end > start && (*out)[end - 1] == u'\0') --end;
  held_nuls_ = out->size() - end;
  out->resize(end);
  return !done_;
}

Result<std::string> PropertyObject::ReadTextUtf8(const Property& property, uint32_t index, size_t max_size) const {
  Result<std::u16string> text = ReadText(property, index, max_size);
  if (!text.ok()) return text.status();
  return Utf16ToUtf8(*text, BadText::kReplace);
}

uint32_t Attachment::method() const {
  const Property* p = Find(mapi::tags::kAttachMethod);
  return p != nullptr ? static_cast<uint32_t>(p->AsInt32()) : 0;
}

// The strings are in PR_MESSAGE_CODEPAGE, else the ANSI code page of PR_MESSAGE_LOCALE_ID (the
// writing program's), else the enclosing message's, else 1252; the bodies in PR_INTERNET_CPID,
// the code page they were received in, else the same.
void Message::ChooseCodePage(const PropertyObject* parent) {
  // A code page able to describe 8-bit strings and known to the decoder, or 0.
  auto declared = [this](mapi::PropTag tag) -> uint32_t {
    const Property* p = Find(tag);
    const uint32_t cp = p != nullptr ? static_cast<uint32_t>(p->AsInt32()) : 0;
    const bool utf16 = cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001;
    return cp != 0 && !utf16 && TextDecoder::ForCodePage(cp).ok() ? cp : 0;
  };
  const Property* locale = Find(mapi::tags::kMessageLocaleId);
  code_page_ = declared(mapi::tags::kMessageCodepage);
  if (code_page_ == 0 && locale != nullptr) code_page_ = AnsiCodePageOfLocale(static_cast<uint32_t>(locale->AsInt32()));
  if (code_page_ == 0) code_page_ = parent != nullptr ? parent->code_page() : kDefaultCodePage;
  const uint32_t internet = declared(mapi::tags::kInternetCodepage);
  body_code_page_ = internet != 0 ? internet : code_page_;
}

Result<std::unique_ptr<Message>> Message::Load(Storage storage, uint32_t depth, const PropertyObject* parent,
                                               LoadContext* context) {
  std::unique_ptr<Message> message(new Message(storage));
  ChildIndex children(storage);
  BALEPORT_RETURN_IF_ERROR(message->LoadProperties(depth == 0 ? 32 : 24, context, &children));
  if (const int nameid = depth == 0 ? storage.Find("__nameid_version1.0") : -1; nameid >= 0) children.Claim(nameid);

  message->ChooseCodePage(parent);
  const auto recipients = NumberedChildren(storage, u"__recip_version1.0_#", &children);
  const auto attachments = NumberedChildren(storage, u"__attach_version1.0_#", &children);
  BALEPORT_RETURN_IF_ERROR(children.CheckAllClaimed(storage));
  message->recipients_.reserve(recipients.size());
  for (const auto& [number, index] : recipients) {
    Recipient recipient(Storage(storage.file(), storage.child_id(index)));
    ChildIndex own(recipient.storage());
    BALEPORT_RETURN_IF_ERROR(recipient.LoadProperties(8, context, &own));
    BALEPORT_RETURN_IF_ERROR(own.CheckAllClaimed(recipient.storage()));
    recipient.code_page_ = message->code_page_;
    recipient.body_code_page_ = message->body_code_page_;
    message->recipients_.push_back(std::move(recipient));
  }
  message->attachments_.reserve(attachments.size());
  for (const auto& [number, index] : attachments) {
    Attachment attachment(Storage(storage.file(), storage.child_id(index)));
    ChildIndex own(attachment.storage());
    BALEPORT_RETURN_IF_ERROR(attachment.LoadProperties(8, context, &own));
    const int object = attachment.storage().Find("__substg1.0_" + Hex(mapi::tags::kAttachDataObject));
    if (object >= 0) own.Claim(object);
    BALEPORT_RETURN_IF_ERROR(own.CheckAllClaimed(attachment.storage()));
    attachment.code_page_ = message->code_page_;
    attachment.body_code_page_ = message->body_code_page_;
    if (object >= 0) {
      Result<Storage> data = attachment.storage().OpenStorage(object);
      if (!data.ok()) return data.status();
      if (attachment.method() == 5) {
        if (depth + 1 > context->limits.max_embedding_depth) {
          return Status::Error(data->path() + ": embedded messages nested deeper than " +
                               std::to_string(context->limits.max_embedding_depth) + " levels");
        }
        Result<std::unique_ptr<Message>> embedded = Load(*data, depth + 1, message.get(), context);
        if (!embedded.ok()) return embedded.status();
        attachment.embedded_ = std::move(embedded).value();
      } else {
        attachment.custom_storage_ = *data;
      }
    }
    message->attachments_.push_back(std::move(attachment));
  }
  return message;
}

Result<std::unique_ptr<MsgFile>> MsgFile::Open(Env& env, const std::string& path, const ReadLimits& limits) {
  Result<std::unique_ptr<File>> file = env.OpenForRead(path);
  if (!file.ok()) return file.status();
  return Open(std::move(file).value(), limits);
}

Result<std::unique_ptr<MsgFile>> MsgFile::Open(std::unique_ptr<File> file, const ReadLimits& limits) {
  std::unique_ptr<MsgFile> msg(new MsgFile());
  Result<std::unique_ptr<CompoundFile>> compound = CompoundFile::Open(std::move(file));
  if (!compound.ok()) return compound.status();
  msg->file_ = std::move(compound).value();
  const Storage root(*msg->file_, CompoundFile::kRoot);
  if (const int nameid = root.Find("__nameid_version1.0"); nameid >= 0) {
    Result<Storage> names_storage = root.OpenStorage(nameid);
    if (!names_storage.ok()) return names_storage.status();
    Result<NameMap> names = NameMap::Read(*names_storage, &msg->notes_);
    if (!names.ok()) return names.status();
    msg->names_ = std::move(names).value();
  }
  LoadContext context{limits, &msg->notes_};
  Result<std::unique_ptr<Message>> message = Message::Load(root, 0, nullptr, &context);
  if (!message.ok()) return message.status();
  msg->message_ = std::move(message).value();
  return msg;
}

}  // namespace baleport::msg
