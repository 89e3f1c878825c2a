#include "import/property_copy.h"

#include <algorithm>
#include <bitset>
#include <string>
#include <vector>

#include "import/html_body.h"
#include "mapi/tags.h"
#include "support/hex.h"
#include "support/little_endian.h"
#include "support/utf16_text.h"

namespace baleport::import {
namespace {

using mapi::PropTag;
using mapi::PropType;
using namespace mapi::tags;

// Values up to this size are taken whole; larger ones go through a stream in chunks of it.
constexpr size_t kWholeValueLimit = 64 << 10;
// Recipient rows and multi-valued properties cannot be streamed into the store.
constexpr size_t kRecipientValueLimit = 1 << 20;
constexpr size_t kMultiValueLimit = 16 << 20;

constexpr uint16_t Id(PropTag tag) { return mapi::TagId(tag); }

bool IsString(uint16_t base) {
  return base == static_cast<uint16_t>(PropType::kUnicode) || base == static_cast<uint16_t>(PropType::kString8);
}

// Types the store takes from a file. PT_ERROR entries record a value the writer could not
// get; PT_OBJECT values are attachment data objects, imported with their attachment.
bool Copyable(uint16_t base) {
  switch (static_cast<PropType>(base)) {
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kFloat32:
    case PropType::kFloat64:
    case PropType::kCurrency:
    case PropType::kAppTime:
    case PropType::kBoolean:
    case PropType::kInt64:
    case PropType::kString8:
    case PropType::kUnicode:
    case PropType::kSysTime:
    case PropType::kGuid:
    case PropType::kBinary:
      return true;
    default:
      return false;
  }
}

uint16_t Utf16Unit(const std::string& le, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(le[at]) | static_cast<uint8_t>(le[at + 1]) << 8);
}

// A surrogate without its partner (a value cut inside a character, or damage) becomes U+FFFD:
// readers that decode the store's text refuse the whole item over one.
void ReplaceLoneSurrogates(std::string& le, size_t end) {
  auto is_high = [](uint16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  auto is_low = [](uint16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
  // Most text has no surrogate, and text with some (emoji) has them far apart: 32 units at a
  // time, then four, while none of them is one, unit by unit through a group that holds one.
  // A lane of four units is 0 after the mask and xor where the unit is a surrogate.
  auto surrogates = [](uint64_t units) {
    const uint64_t x = (units & 0xF800F800F800F800ULL) ^ 0xD800D800D800D800ULL;
    return (x - 0x0001000100010001ULL) & ~x & 0x8000800080008000ULL;
  };
  for (size_t i = 0; i + 1 < end;) {
    if (i + 64 <= end) {
      uint64_t found = 0;
      for (size_t k = 0; k < 64; k += 8) found |= surrogates(LoadLe<uint64_t>(le.data() + i + k));
      if (found == 0) {
        i += 64;
        continue;
      }
    }
    if (i + 8 <= end) {
      if (surrogates(LoadLe<uint64_t>(le.data() + i)) == 0) {
        i += 8;
        continue;
      }
    }
    for (const size_t group = std::min(end, i + 8); i + 1 < group; i += 2) {
      const uint16_t c = Utf16Unit(le, i);
      if (is_high(c) && i + 3 < end && is_low(Utf16Unit(le, i + 2))) {
        i += 2;
      } else if (is_high(c) || is_low(c)) {
        le[i] = static_cast<char>(0xFD);
        le[i + 1] = static_cast<char>(0xFF);
      }
    }
  }
}

// Writes UTF-16LE text as the store holds it: no terminating NULs, no odd last byte, no lone
// surrogate. Trailing NUL pairs are held back until more text follows (at most one chunk of
// them), and so is a last high surrogate, whose partner may start the next chunk.
class Utf16Writer {
 public:
  explicit Utf16Writer(pst::ValueStream& out) : out_(out) {}
  Status Write(std::string_view bytes) {
    held_.append(bytes);
    size_t end = held_.size() - held_.size() % 2;
    const size_t even = end;
    while (end >= 2 && held_[end - 2] == '\0' && held_[end - 1] == '\0') end -= 2;
    if (held_.size() > kWholeValueLimit) end = even;  // a run of NULs too long to be a terminator
    if (end >= 2 && (Utf16Unit(held_, end - 2) & 0xFC00) == 0xD800 && held_.size() <= kWholeValueLimit) end -= 2;
    ReplaceLoneSurrogates(held_, end);
    BALEPORT_RETURN_IF_ERROR(out_.Write(std::string_view(held_).substr(0, end)));
    held_.erase(0, end);
    return Status::Ok();
  }

 private:
  pst::ValueStream& out_;
  std::string held_;
};

std::string TrimUtf16(std::string bytes) {
  bytes.resize(bytes.size() - bytes.size() % 2);
  while (bytes.size() >= 2 && bytes[bytes.size() - 2] == '\0' && bytes.back() == '\0') bytes.resize(bytes.size() - 2);
  ReplaceLoneSurrogates(bytes, bytes.size());
  return bytes;
}

// A subject copied raw out of a store keeps that store's prefix header: U+0001 and the
// prefix length. Its text starts after them.
std::string WithoutPrefixHeader(std::string subject) {
  if (subject.size() >= 4 && subject[0] == '\1' && subject[1] == '\0') subject.erase(0, 4);
  return subject;
}

// 8-bit text decodes as the reader decides for the whole value (code page, then its
// fallback), a chunk at a time.
Status StreamText(const msg::PropertyObject& object, const msg::Property& p, pst::ValueStream& out) {
  Result<msg::TextStream> in = object.OpenText(p);
  if (!in.ok()) return in.status();
  Utf16Writer text(out);
  std::u16string decoded;
  for (bool more = true; more;) {
    decoded.clear();
    Result<bool> read = in->Read(&decoded);
    if (!read.ok()) return read.status();
    more = *read;
    BALEPORT_RETURN_IF_ERROR(text.Write(Utf16LeBytes(decoded)));
  }
  return out.Close();
}

Status StreamValue(const msg::PropertyObject& object, const msg::Property& p, PropTag tag, const PropertySink& sink) {
  const uint16_t base = mapi::TagType(tag);
  const bool string8 = base == static_cast<uint16_t>(PropType::kString8);
  const PropTag out_tag = string8 ? mapi::MakeTag(Id(tag), PropType::kUnicode) : tag;
  Result<std::unique_ptr<pst::ValueStream>> out = sink.open_stream(out_tag);
  if (!out.ok()) return out.status();
  if (string8) return StreamText(object, p, **out);

  Result<msg::ValueStream> in = object.OpenValue(p);
  if (!in.ok()) return in.status();
  Utf16Writer text(**out);
  std::vector<uint8_t> scratch;  // used only where a chunk is not contiguous in the file
  for (;;) {
    Result<std::span<const uint8_t>> chunk = in->Next(kWholeValueLimit, &scratch);
    if (!chunk.ok()) return chunk.status();
    if (chunk->empty()) break;
    const std::string_view bytes(reinterpret_cast<const char*>(chunk->data()), chunk->size());
    const bool unicode = base == static_cast<uint16_t>(PropType::kUnicode);
    BALEPORT_RETURN_IF_ERROR(unicode ? text.Write(bytes) : (*out)->Write(bytes));
  }
  return (*out)->Close();
}

Result<pst::Property> MultiValue(const msg::PropertyObject& object, const msg::Property& p, PropTag tag) {
  const uint16_t base = mapi::TagType(tag) & ~mapi::kMultiValued;
  std::vector<std::string> elements;
  size_t total = 0;
  for (uint32_t i = 0; i < p.count; ++i) {
    std::string element;
    if (IsString(base)) {
      Result<std::string> text = object.ReadTextUtf8(p, i, kRecipientValueLimit);
      if (!text.ok()) return text.status();
      element = std::move(*text);
    } else {
      Result<std::string> bytes = object.ReadValue(p, i, kRecipientValueLimit);
      if (!bytes.ok()) return bytes.status();
      element = std::move(*bytes);
    }
    total += element.size();
    if (total > kMultiValueLimit) {
      return Status::Error(object.where() + ": multi-valued property " + HexNumber(p.tag, 8) + " holds more than " +
                           std::to_string(kMultiValueLimit) + " bytes");
    }
    elements.push_back(std::move(element));
  }
  return pst::prop::Multi(tag, elements);
}

Result<pst::Property> WholeValue(const msg::PropertyObject& object, const msg::Property& p, PropTag tag, size_t limit) {
  const uint16_t base = mapi::TagType(tag);
  if (IsString(base)) {
    std::string bytes;
    if (base == static_cast<uint16_t>(PropType::kUnicode)) {
      Result<std::string> raw = object.ReadValue(p, 0, limit);
      if (!raw.ok()) return raw.status();
      bytes = TrimUtf16(std::move(*raw));
    } else {
      Result<std::u16string> text = object.ReadText(p, 0, limit);
      if (!text.ok()) return text.status();
      bytes = Utf16LeBytes(*text);
    }
    const PropTag unicode = mapi::MakeTag(Id(tag), PropType::kUnicode);
    return pst::Property{unicode, Id(tag) == Id(kSubject) ? WithoutPrefixHeader(std::move(bytes)) : std::move(bytes)};
  }
  Result<std::string> raw = object.ReadValue(p, 0, limit);
  if (!raw.ok()) return raw.status();
  return pst::Property{tag, std::move(*raw)};
}

constexpr uint32_t kUtf8 = 65001;

// An 8-bit HTML body keeps its bytes, which are already in the Internet code page.
Status CopyHtmlBytes(const msg::PropertyObject& object, const msg::Property& p, const PropertySink& sink) {
  if (p.size > kWholeValueLimit && sink.open_stream) return StreamValue(object, p, kBodyHtml, sink);
  Result<std::string> raw = object.ReadValue(p, 0, kMultiValueLimit);
  if (!raw.ok()) return raw.status();
  std::string bytes = std::move(*raw);
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return sink.set(pst::Property{kBodyHtml, std::move(bytes)});
}

// A Unicode HTML body is encoded into the Internet code page, or UTF-8 when there is none or
// it lacks one of the body's characters. Returns the code page used.
Result<uint32_t> EncodeHtmlBody(const msg::PropertyObject& object, const msg::Property& p, const PropertySink& sink) {
  const msg::Property* declared = object.Find(kInternetCodepage);
  uint32_t code_page =
      declared != nullptr && static_cast<uint32_t>(declared->AsInt32()) == object.body_code_page() ? object.body_code_page()
                                                                                                 : kUtf8;
  if (code_page != kUtf8) {
    Result<bool> fits = EncodeHtml(object, p, code_page, [](std::string_view) { return Status::Ok(); });
    if (!fits.ok()) return fits.status();
    if (!*fits) code_page = kUtf8;
  }
  if (p.size > kWholeValueLimit && sink.open_stream) {
    Result<std::unique_ptr<pst::ValueStream>> out = sink.open_stream(kBodyHtml);
    if (!out.ok()) return out.status();
    Result<bool> done = EncodeHtml(object, p, code_page, [&out](std::string_view b) { return (*out)->Write(b); });
    if (!done.ok()) return done.status();
    BALEPORT_RETURN_IF_ERROR((*out)->Close());
    return code_page;
  }
  std::string bytes;
  Result<bool> done = EncodeHtml(object, p, code_page, [&bytes](std::string_view b) {
    if (bytes.size() + b.size() > kMultiValueLimit) return Status::Error("HTML body too large to hold whole");
    bytes.append(b);
    return Status::Ok();
  });
  if (!done.ok()) return done.status();
  BALEPORT_RETURN_IF_ERROR(sink.set(pst::Property{kBodyHtml, std::move(bytes)}));
  return code_page;
}

pst::Property InlineValue(const msg::Property& p, PropTag tag) {
  switch (static_cast<PropType>(mapi::TagType(tag))) {
    case PropType::kInt16:
      return pst::prop::Int16(tag, p.AsInt16());
    case PropType::kInt32:
    case PropType::kFloat32:
      return pst::prop::Int32(tag, p.AsInt32());
    case PropType::kBoolean:
      return pst::prop::Bool(tag, p.AsBool());
    default:  // the 8-byte types
      return pst::prop::Int64(tag, p.AsInt64());
  }
}

}  // namespace

bool StoreOwned(uint16_t id, ObjectRole role) {
  constexpr uint16_t kSecurityDescriptorId = 0x0E27;  // the object's security descriptor
  constexpr uint16_t kFirstReplId = 0x0E30, kLastReplId = 0x0E3D;  // replication state of the file's store
  // Asked of every property of every object: a switch, not a lookup.
  switch (id) {
    case Id(kParentEntryId): case Id(kStoreEntryId): case Id(kStoreRecordKey): case Id(kStoreSupportMask):
    case Id(kStoreUnicodeMask): case Id(kMappingSignature): case Id(kInstanceKey): case Id(kAccess):
    case Id(kAccessLevel): case Id(kRowId): case Id(kSourceKey): case Id(kParentSourceKey): case Id(kAttachNum):
      return true;
    default:
      if (id >= kFirstReplId && id <= kLastReplId) return true;
  }
  auto of_messages = [id] {
    switch (id) {
      case Id(kEntryId): case Id(kRecordKey): case Id(kObjectType): case Id(kHasAttach): case Id(kNormalizedSubject):
      case Id(kMessageRecipients): case Id(kMessageAttachments): case Id(kMessageSize): case Id(kMessageStatus):
        return true;
      default:
        return false;
    }
  };
  switch (role) {
    case ObjectRole::kItem:
      return of_messages() || id == Id(kMessageFlags);
    case ObjectRole::kEmbeddedMessage:
      return of_messages();
    case ObjectRole::kAttachment:
      return id == Id(kAttachSize) || id == Id(kEntryId) || id == Id(kRecordKey) || id == Id(kObjectType) ||
             id == kSecurityDescriptorId;
    case ObjectRole::kRecipient:
      return false;
  }
  return false;
}

Result<std::optional<PropTag>> PropertyCopier::StoreTag(PropTag tag) {
  const uint16_t id = Id(tag);
  if (id < mapi::kFirstNamedId) return std::optional<PropTag>(tag);
  if (auto known = mapped_.find(id); known != mapped_.end()) {
    return std::optional<PropTag>(mapi::MakeTag(known->second, mapi::TagType(tag)));
  }
  const msg::PropertyName* name = names_.Find(id);
  if (name == nullptr) return std::optional<PropTag>();
  uint16_t store_id = 0;
  if (name->guid == msg::kPsMapi && name->kind == msg::PropertyName::Kind::kNumeric &&
      name->lid < mapi::kFirstNamedId) {
    store_id = static_cast<uint16_t>(name->lid);  // PS_MAPI numbers are ordinary property ids
  } else {
    pst::NamedProperty named;
    named.property_set = name->guid.bytes;
    if (name->kind == msg::PropertyName::Kind::kNumeric) {
      named.number = name->lid;
    } else {
      named.name = name->name_utf8;
    }
    Result<uint16_t> mapped = store_.MapNamedProperty(named);
    if (!mapped.ok()) return mapped.status().WithContext("mapping named property " + HexNumber(tag, 8));
    store_id = *mapped;
  }
  mapped_[id] = store_id;
  return std::optional<PropTag>(mapi::MakeTag(store_id, mapi::TagType(tag)));
}

Status PropertyCopier::CopyValue(const msg::PropertyObject& object, const msg::Property& p, PropTag tag,
                                 const PropertySink& sink) {
  if (mapi::IsMultiValued(tag)) {
    Result<pst::Property> value = MultiValue(object, p, tag);
    return value.ok() ? sink.set(std::move(*value)) : value.status();
  }
  if (Id(tag) == Id(kBodyHtml) && mapi::TagType(tag) == static_cast<uint16_t>(PropType::kString8)) {
    return CopyHtmlBytes(object, p, sink);
  }
  if (Id(tag) == Id(kBodyHtml) && mapi::TagType(tag) == static_cast<uint16_t>(PropType::kUnicode)) {
    Result<uint32_t> code_page = EncodeHtmlBody(object, p, sink);
    if (!code_page.ok()) return code_page.status();
    html_code_page_ = *code_page;
    return Status::Ok();
  }
  if (p.is_inline()) {
    return sink.set(InlineValue(p, tag));
  }
  if (p.size > kWholeValueLimit && sink.open_stream) return StreamValue(object, p, tag, sink);
  Result<pst::Property> value = WholeValue(object, p, tag, sink.open_stream ? kWholeValueLimit : kRecipientValueLimit);
  return value.ok() ? sink.set(std::move(*value)) : value.status();
}

Status PropertyCopier::Copy(const msg::PropertyObject& object, ObjectRole role, const PropertySink& sink) {
  std::bitset<0x10000> written;  // the store keeps one value per id
  html_code_page_ = 0;
  for (const msg::Property& p : object.properties()) {
    const uint16_t base = p.type() & ~mapi::kMultiValued;
    if (!Copyable(base) || StoreOwned(p.id(), role)) continue;
    // Of a string held in both encodings, the Unicode one, unless it is empty.
    if (base == static_cast<uint16_t>(PropType::kString8)) {
      const msg::Property* wide = object.Find(mapi::MakeTag(p.id(), p.type() | 0x0001));
      if (wide != nullptr && wide->size > 0) continue;
    } else if (base == static_cast<uint16_t>(PropType::kUnicode) && p.size == 0) {
      const msg::Property* narrow = object.Find(mapi::MakeTag(p.id(), p.type() & ~0x0001));
      if (narrow != nullptr && narrow->size > 0) continue;
    }
    Result<std::optional<PropTag>> tag = StoreTag(p.tag);
    if (!tag.ok()) return tag.status().WithContext(object.where());
    // A PS_MAPI name stands for a plain id, which may be one the store owns.
    if (!tag->has_value() || StoreOwned(Id(**tag), role) || written.test(Id(**tag))) continue;
    written.set(Id(**tag));
    if (Status copied = CopyValue(object, p, **tag, sink); !copied.ok()) {
      return copied.WithContext(object.where() + ": property " + HexNumber(p.tag, 8));
    }
  }
  // PR_HTML is read in PR_INTERNET_CPID: it names the code page the body was encoded in.
  const msg::Property* declared = object.Find(kInternetCodepage);
  if (html_code_page_ != 0 && (declared == nullptr || static_cast<uint32_t>(declared->AsInt32()) != html_code_page_)) {
    return sink.set(pst::prop::Int32(kInternetCodepage, static_cast<int32_t>(html_code_page_)));
  }
  return Status::Ok();
}

}  // namespace baleport::import
