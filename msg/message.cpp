#include "msg/message.h"

#include <gsf/gsf-input.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "mapi/tags.h"
#include "msg/hex.h"
#include "msg/le.h"
#include "msg/text_decoder.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

using mapi::PropType;

constexpr uint32_t kNoValue = 0;
// Streams held open from loading (Location::opened): only those in the mini stream, whose
// bytes libgsf holds once opened, and no more than this much of them per file.
constexpr uint64_t kHeldStreamLimit = 4096;
constexpr uint64_t kHeldBytesPerFile = 1u << 20;
constexpr uint64_t kHeldStreamOverhead = 512;  // the two objects libgsf makes per open stream

// Size of one value of a fixed-size type, or 0 for types whose values live in streams.
size_t FixedSize(uint16_t base_type) {
  switch (static_cast<PropType>(base_type)) {
    case PropType::kInt16:
    case PropType::kBoolean: return 2;
    case PropType::kInt32:
    case PropType::kFloat32:
    case PropType::kError: return 4;
    case PropType::kFloat64:
    case PropType::kCurrency:
    case PropType::kAppTime:
    case PropType::kInt64:
    case PropType::kSysTime: return 8;
    case PropType::kGuid: return 16;
    default: return 0;
  }
}

bool IsVariable(uint16_t base_type) {
  switch (static_cast<PropType>(base_type)) {
    case PropType::kString8:
    case PropType::kUnicode:
    case PropType::kBinary:
    case PropType::kServerId:
    case PropType::kRestriction:
    case PropType::kRuleAction: return true;
    default: return false;
  }
}

bool IsString(uint16_t type) {
  const uint16_t base = type & ~mapi::kMultiValued;
  return base == static_cast<uint16_t>(PropType::kUnicode) || base == static_cast<uint16_t>(PropType::kString8);
}

std::string ValueStreamName(mapi::PropTag tag) { return "__substg1.0_" + Hex(tag); }

// A code page able to describe 8-bit strings and known to iconv.
bool UsableCodePage(uint32_t cp) {
  if (cp == 0 || cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001) return false;
  return TextDecoder::ForCodePage(cp).ok();
}

}  // namespace

bool Property::is_inline() const {
  return !mapi::IsMultiValued(tag) && type() != static_cast<uint16_t>(PropType::kGuid) &&
         (FixedSize(type()) != 0 || type() == static_cast<uint16_t>(PropType::kNull));
}

int16_t Property::AsInt16() const { return static_cast<int16_t>(LoadLe16(inline_value.data())); }
int32_t Property::AsInt32() const { return static_cast<int32_t>(LoadLe32(inline_value.data())); }
int64_t Property::AsInt64() const { return static_cast<int64_t>(LoadLe64(inline_value.data())); }
float Property::AsFloat32() const {
  const uint32_t bits = LoadLe32(inline_value.data());
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
double Property::AsFloat64() const {
  const uint64_t bits = LoadLe64(inline_value.data());
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
// Writers differ on one or two bytes for booleans; any nonzero value is true.
bool Property::AsBool() const { return LoadLe16(inline_value.data()) != 0; }

Result<size_t> ValueStream::Read(void* dst, size_t n) {
  const size_t count = static_cast<size_t>(std::min<uint64_t>(n, remaining()));
  if (count == 0) return size_t{0};
  if (input_) {
    BALEPORT_RETURN_IF_ERROR(ReadExactly(input_.get(), dst, count, where_, *source_));
  } else {
    std::memcpy(dst, inline_.data() + position_, count);
  }
  position_ += count;
  return count;
}

const Property* PropertyObject::Find(mapi::PropTag tag) const {
  for (const Property& p : properties_) {
    if (p.tag == tag) return &p;
  }
  return nullptr;
}

const Property* PropertyObject::Find(uint16_t id, PropType type, PropType alternative) const {
  const Property* p = Find(mapi::MakeTag(id, type));
  return p != nullptr ? p : Find(mapi::MakeTag(id, alternative));
}

Status PropertyObject::LoadProperties(size_t header_size, LoadContext* context) {
  std::vector<std::string>* notes = context->notes;
  const int index = storage_.Find("__properties_version1.0");
  if (index < 0) {
    return Status::Error(storage_.path() + ": has no __properties_version1.0 stream; " +
                         (header_size == 32 ? "not a message" : "the directory is damaged or incomplete"));
  }
  Result<std::vector<uint8_t>> data = storage_.ReadStream(index, context->limits.max_property_stream);
  if (!data.ok()) return data.status();
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
  header_.assign(data->begin(), data->begin() + header_size);
  const size_t entries = (data->size() - header_size) / 16;
  if ((data->size() - header_size) % 16 != 0) {
    notes->push_back(storage_.ChildPath(index) + ": trailing partial entry ignored");
  }
  std::unordered_set<mapi::PropTag> seen;
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* entry = data->data() + header_size + 16 * i;
    const mapi::PropTag tag = LoadLe32(entry);
    if (tag == 0) continue;  // zero padding some writers leave at the end
    if (!seen.insert(tag).second) {
      notes->push_back(storage_.path() + ": property " + Hex(tag) + " repeated; the first is kept");
      continue;
    }
    BALEPORT_RETURN_IF_ERROR(AddProperty(entry, context));
  }
  return Status::Ok();
}

Status PropertyObject::AddProperty(const uint8_t* entry, LoadContext* context) {
  std::vector<std::string>* notes = context->notes;
  Property p;
  p.tag = LoadLe32(entry);
  p.flags = LoadLe32(entry + 4);
  Location location;
  const uint16_t type = p.type();
  const uint16_t base = type & ~mapi::kMultiValued;
  const bool multi = (type & mapi::kMultiValued) != 0;
  auto skip = [&](const std::string& why) {
    notes->push_back(storage_.path() + ": property " + Hex(p.tag) + " skipped: " + why);
    return Status::Ok();
  };

  if (type == static_cast<uint16_t>(PropType::kError)) return Status::Ok();  // an error code, not a value
  if (type == static_cast<uint16_t>(PropType::kNull)) {
    p.size = 0;
  } else if (type == static_cast<uint16_t>(PropType::kObject)) {
    // The value is a storage; the attachment exposes it as a message or an opaque storage.
    p.count = kNoValue;
  } else if (!multi && FixedSize(base) != 0 && base != static_cast<uint16_t>(PropType::kGuid)) {
    p.size = FixedSize(base);
    std::copy_n(entry + 8, 8, p.inline_value.begin());
  } else if (!multi && (IsVariable(base) || base == static_cast<uint16_t>(PropType::kGuid))) {
    location.stream = storage_.Find(ValueStreamName(p.tag));
    if (location.stream < 0) return skip("its value stream is missing");
    Result<Storage::Stream> stream = storage_.OpenStream(location.stream);
    if (!stream.ok()) return stream.status();
    p.size = stream->size;
    if (p.size < kHeldStreamLimit && context->held_bytes + p.size <= kHeldBytesPerFile) {
      context->held_bytes += p.size + kHeldStreamOverhead;
      location.opened = std::move(stream->input);
    }
  } else if (multi && FixedSize(base) != 0 && base != static_cast<uint16_t>(PropType::kError) &&
             base != static_cast<uint16_t>(PropType::kBoolean)) {
    location.stream = storage_.Find(ValueStreamName(p.tag));
    if (location.stream < 0) return skip("its value stream is missing");
    Result<Storage::Stream> stream = storage_.OpenStream(location.stream);
    if (!stream.ok()) return stream.status();
    const size_t element = FixedSize(base);
    if (stream->size % element != 0) {
      notes->push_back(storage_.ChildPath(location.stream) + ": partial last value ignored");
    }
    p.count = static_cast<uint32_t>(std::min<uint64_t>(stream->size / element, UINT32_MAX));
    p.size = uint64_t{p.count} * element;
  } else if (multi && IsVariable(base) && base != static_cast<uint16_t>(PropType::kServerId) &&
             base != static_cast<uint16_t>(PropType::kRestriction) &&
             base != static_cast<uint16_t>(PropType::kRuleAction)) {
    // The values themselves are authoritative; the length stream only repeats their sizes.
    const std::string prefix = ValueStreamName(p.tag) + "-";
    p.count = 0;
    while (static_cast<int>(p.count) < storage_.child_count()) {
      const int child = storage_.Find(prefix + Hex(p.count));
      if (child < 0) break;
      Result<Storage::Stream> stream = storage_.OpenStream(child);
      if (!stream.ok()) return stream.status();
      p.size += stream->size;
      location.value_streams.push_back(child);
      ++p.count;
    }
    if (p.count == 0 && storage_.Find(ValueStreamName(p.tag)) < 0) return skip("its value streams are missing");
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
  const bool fixed_multi = property.count > 0 && location.value_streams.empty() && mapi::IsMultiValued(property.tag);
  const int child = location.value_streams.empty() ? location.stream : location.value_streams[index];
  value.where_ = storage_.ChildPath(child);
  value.source_ = &storage_.source();
  if (location.opened) {
    value.input_ = std::move(location.opened);
    value.size_ = property.size;
    return value;
  }
  Result<Storage::Stream> stream = storage_.OpenStream(child);
  if (!stream.ok()) return stream.status();
  value.size_ = stream->size;
  if (fixed_multi) {
    const size_t element = FixedSize(property.type() & ~mapi::kMultiValued);
    if (gsf_input_seek(stream->input.get(), static_cast<gsf_off_t>(uint64_t{index} * element), G_SEEK_SET)) {
      return Status::Error(value.where_ + ": value " + std::to_string(index) + " is past the end of the stream");
    }
    value.size_ = element;
  }
  value.input_ = std::move(stream->input);
  return value;
}

Result<std::vector<uint8_t>> PropertyObject::ReadValue(const Property& property, uint32_t index,
                                                       size_t max_size) const {
  Result<ValueStream> value = OpenValue(property, index);
  if (!value.ok()) return value.status();
  if (value->size() > max_size) {
    return Status::Error(where() + ": value of property " + Hex(property.tag) + " has " +
                         std::to_string(value->size()) + " bytes, more than the " + std::to_string(max_size) +
                         " allowed here");
  }
  std::vector<uint8_t> bytes(value->size());
  Result<size_t> n = value->Read(bytes.data(), bytes.size());
  if (!n.ok()) return n.status();
  return bytes;
}

Result<std::u16string> PropertyObject::ReadText(const Property& property, uint32_t index, size_t max_size) const {
  Result<TextStream> stream = OpenText(property, index);
  if (!stream.ok()) return stream.status();
  if (stream->size() > max_size) {
    return Status::Error(where() + ": value of property " + Hex(property.tag) + " has " +
                         std::to_string(stream->size()) + " bytes, more than the " + std::to_string(max_size) +
                         " allowed here");
  }
  std::u16string text;
  for (;;) {
    Result<bool> more = stream->Read(&text);
    if (!more.ok()) return more.status();
    if (!*more) return text;
  }
}

Result<bool> PropertyObject::DecodesCleanly(const Property& property, uint32_t index, uint32_t code_page) const {
  Result<TextDecoder> decoder = TextDecoder::ForCodePage(code_page);
  if (!decoder.ok()) return false;
  Result<ValueStream> value = OpenValue(property, index);
  if (!value.ok()) return value.status();
  std::vector<uint8_t> chunk(64u << 10);
  std::u16string scratch;
  for (;;) {
    Result<size_t> n = value->Read(chunk.data(), chunk.size());
    if (!n.ok()) return n.status();
    if (*n == 0) break;
    decoder->Decode(chunk.data(), *n, &scratch);
    if (decoder->had_errors()) return false;
    scratch.clear();
  }
  decoder->Finish(&scratch);
  return !decoder->had_errors();
}

Result<TextStream> PropertyObject::OpenText(const Property& property, uint32_t index) const {
  if (!IsString(property.type())) {
    return Status::Error(where() + ": property " + Hex(property.tag) + " is not a string");
  }
  const bool unicode = (property.type() & ~mapi::kMultiValued) == static_cast<uint16_t>(PropType::kUnicode);
  uint32_t code_page = code_page_;
  if (!unicode && fallback_code_page_ != 0) {
    // One pass to learn whether the Internet code page fits these bytes at all.
    Result<bool> clean = DecodesCleanly(property, index, code_page_);
    if (!clean.ok()) return clean.status();
    if (!*clean) code_page = fallback_code_page_;
  }
  Result<TextDecoder> decoder = unicode ? TextDecoder::ForUtf16() : TextDecoder::ForCodePage(code_page);
  if (!decoder.ok()) return decoder.status().WithContext(where());
  Result<ValueStream> value = OpenValue(property, index);
  if (!value.ok()) return value.status();
  return TextStream(std::move(value).value(), std::move(decoder).value());
}

Result<bool> TextStream::Read(std::u16string* out, size_t max_bytes) {
  if (done_) return false;
  buffer_.resize(std::max<size_t>(max_bytes, 1));
  Result<size_t> n = value_.Read(buffer_.data(), buffer_.size());
  if (!n.ok()) return n.status();
  std::u16string text(held_nuls_, u'\0');
  if (*n == 0) {
    decoder_.Finish(&text);
    done_ = true;
  } else {
    decoder_.Decode(buffer_.data(), *n, &text);
  }
  const size_t last = text.find_last_not_of(u'\0');
  const size_t keep = last == std::u16string::npos ? 0 : last + 1;
  held_nuls_ = text.size() - keep;
  out->append(text, 0, keep);
  return !done_;
}

Result<std::string> PropertyObject::ReadTextUtf8(const Property& property, uint32_t index, size_t max_size) const {
  Result<std::u16string> text = ReadText(property, index, max_size);
  if (!text.ok()) return text.status();
  return Utf16ToUtf8(*text, BadText::kReplace);
}

Attachment::Attachment(Storage storage) : PropertyObject(std::move(storage)) {}
Attachment::Attachment(Attachment&&) noexcept = default;
Attachment::~Attachment() = default;

uint32_t Attachment::method() const {
  const Property* p = Find(mapi::tags::kAttachMethod);
  return p != nullptr ? static_cast<uint32_t>(p->AsInt32()) : 0;
}

uint32_t Message::declared_recipient_count() const {
  return header_.size() >= 24 ? LoadLe32(header_.data() + 16) : 0;
}
uint32_t Message::declared_attachment_count() const {
  return header_.size() >= 24 ? LoadLe32(header_.data() + 20) : 0;
}

void Message::ChooseCodePage(const PropertyObject* parent) {
  auto declared = [this](mapi::PropTag tag) -> uint32_t {
    const Property* p = Find(tag);
    return p != nullptr && UsableCodePage(static_cast<uint32_t>(p->AsInt32())) ? static_cast<uint32_t>(p->AsInt32())
                                                                               : 0;
  };
  const Property* locale = Find(mapi::tags::kMessageLocaleId);
  uint32_t fallback = kDefaultCodePage;
  if (locale != nullptr) {
    fallback = AnsiCodePageOfLocale(static_cast<uint32_t>(locale->AsInt32()));
  } else if (parent != nullptr) {
    fallback = parent->fallback_code_page() != 0 ? parent->fallback_code_page() : parent->code_page();
  }
  if (uint32_t cp = declared(mapi::tags::kMessageCodepage); cp != 0) {
    code_page_ = cp;
  } else if (uint32_t internet = declared(mapi::tags::kInternetCodepage); internet != 0) {
    code_page_ = internet;
    if (internet != fallback) fallback_code_page_ = fallback;
  } else if (parent != nullptr && locale == nullptr) {
    code_page_ = parent->code_page();
    fallback_code_page_ = parent->fallback_code_page();
  } else {
    code_page_ = fallback;
  }
}

namespace {

// Sub-object storages "<prefix>XXXXXXXX" in the order of their numbers.
std::vector<int> NumberedChildren(const Storage& storage, std::string_view prefix) {
  std::vector<std::pair<uint32_t, int>> found;
  for (int i = 0; i < storage.child_count(); ++i) {
    const std::string& name = storage.child_name(i);
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) continue;
    found.emplace_back(static_cast<uint32_t>(std::stoul(digits, nullptr, 16)), i);
  }
  std::sort(found.begin(), found.end());
  std::vector<int> indices;
  for (const auto& f : found) indices.push_back(f.second);
  return indices;
}

}  // namespace

Result<std::unique_ptr<Message>> Message::Load(Storage storage, uint32_t depth, const PropertyObject* parent,
                                               LoadContext* context) {
  auto count_object = [&](const std::string& where) -> Status {
    if (++context->objects > context->limits.max_objects) {
      return Status::Error(where + ": more than " + std::to_string(context->limits.max_objects) +
                           " objects in one file");
    }
    return Status::Ok();
  };
  BALEPORT_RETURN_IF_ERROR(count_object(storage.path()));
  std::unique_ptr<Message> message(new Message(std::move(storage), depth));
  BALEPORT_RETURN_IF_ERROR(
      message->LoadProperties(depth == 0 ? 32 : 24, context));

  message->ChooseCodePage(parent);
  const Storage& own = message->storage();
  for (int index : NumberedChildren(own, "__recip_version1.0_#")) {
    BALEPORT_RETURN_IF_ERROR(count_object(own.ChildPath(index)));
    Result<Storage> sub = own.OpenStorage(index);
    if (!sub.ok()) return sub.status();
    Recipient recipient(std::move(sub).value());
    BALEPORT_RETURN_IF_ERROR(recipient.LoadProperties(8, context));
    message->InheritCodePage(&recipient);
    message->recipients_.push_back(std::move(recipient));
  }
  for (int index : NumberedChildren(own, "__attach_version1.0_#")) {
    BALEPORT_RETURN_IF_ERROR(count_object(own.ChildPath(index)));
    Result<Storage> sub = own.OpenStorage(index);
    if (!sub.ok()) return sub.status();
    Attachment attachment(std::move(sub).value());
    BALEPORT_RETURN_IF_ERROR(attachment.LoadProperties(8, context));
    message->InheritCodePage(&attachment);
    const int object = attachment.storage().Find(ValueStreamName(mapi::tags::kAttachDataObject));
    if (object >= 0) {
      Result<Storage> data = attachment.storage().OpenStorage(object);
      if (!data.ok()) return data.status();
      if (attachment.method() == 5) {
        if (depth + 1 > context->limits.max_embedding_depth) {
          return Status::Error(data->path() + ": embedded messages nested deeper than " +
                               std::to_string(context->limits.max_embedding_depth) + " levels");
        }
        Result<std::unique_ptr<Message>> embedded =
            Load(std::move(data).value(), depth + 1, message.get(), context);
        if (!embedded.ok()) return embedded.status();
        attachment.embedded_ = std::move(embedded).value();
      } else {
        attachment.custom_storage_ = std::make_unique<Storage>(std::move(data).value());
      }
    }
    message->attachments_.push_back(std::move(attachment));
  }
  return message;
}

}  // namespace baleport::msg
