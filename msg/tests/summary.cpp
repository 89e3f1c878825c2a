#include "msg/tests/summary.h"

#include <algorithm>

#include "msg/text_decoder.h"
#include "support/hex.h"
#include "support/little_endian.h"
#include "support/testing/command.h"

namespace baleport::msg::testing {
namespace {

using mapi::PropType;

std::string Text(const PropertyObject& object, uint16_t id) {
  const Property* p = object.Find(mapi::MakeTag(id, PropType::kUnicode));
  if (p == nullptr) p = object.Find(mapi::MakeTag(id, PropType::kString8));
  if (p == nullptr) return "";
  Result<std::string> text = object.ReadTextUtf8(*p);
  return text.ok() ? *text : "<" + text.status().message() + ">";
}

// FNV-1a, which the olefile script computes the same way.
std::string Fnv(const uint8_t* data, size_t n) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 0x100000001B3ULL;
  return Hex(static_cast<uint32_t>(h >> 32)) + Hex(static_cast<uint32_t>(h));
}

std::string Blob(const PropertyObject& object, mapi::PropTag tag) {
  const Property* p = object.Find(tag);
  if (p == nullptr) return "-";
  Result<std::string> bytes = object.ReadValue(*p, 0, size_t{1} << 30);
  if (!bytes.ok()) return "<" + bytes.status().message() + ">";
  return std::to_string(bytes->size()) + " " + Fnv(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
}

std::string Int32(const PropertyObject& object, uint16_t id) {
  const Property* p = object.Find(mapi::MakeTag(id, PropType::kInt32));
  return p != nullptr ? std::to_string(p->AsInt32()) : "None";
}

std::string Tags(const PropertyObject& object) {
  std::vector<mapi::PropTag> tags;
  for (const Property& p : object.properties()) tags.push_back(p.tag);
  std::sort(tags.begin(), tags.end());
  std::string out;
  for (mapi::PropTag tag : tags) out += (out.empty() ? "" : " ") + Hex(tag);
  return out;
}

void SummariseMessage(const Message& m, const std::string& indent, std::string* out) {
  *out += indent + "class: " + Text(m, 0x001A) + "\n";
  *out += indent + "properties: " + Tags(m) + "\n";
  *out += indent + "subject: " + Text(m, 0x0037) + "\n";
  *out += indent + "sender: " + Text(m, 0x0C1A) + "\n";
  for (auto [id, label] : {std::pair<uint16_t, const char*>{0x0039, "submitted"}, {0x0E06, "delivered"}}) {
    const Property* p = m.Find(mapi::MakeTag(id, PropType::kSysTime));
    *out += indent + label + ": " + (p != nullptr ? std::to_string(static_cast<uint64_t>(p->AsInt64())) : "-") + "\n";
  }
  const std::string body = Text(m, 0x1000);
  *out += indent + "body: " + Fnv(reinterpret_cast<const uint8_t*>(body.data()), body.size()) + "\n";
  *out += indent + "html: " + Blob(m, mapi::MakeTag(0x1013, PropType::kBinary)) + "\n";
  *out += indent + "rtf: " + Blob(m, mapi::MakeTag(0x1009, PropType::kBinary)) + "\n";
  *out += indent + "recipients: " + std::to_string(m.recipients().size()) + "\n";
  for (size_t i = 0; i < m.recipients().size(); ++i) {
    const Recipient& r = m.recipients()[i];
    *out += indent + "recipient " + std::to_string(i) + ": " + Int32(r, 0x0C15) + " | " + Text(r, 0x3001) + " | " +
            Text(r, 0x3002) + " | " + Text(r, 0x3003) + "\n";
    *out += indent + "  properties: " + Tags(r) + "\n";
  }
  for (size_t i = 0; i < m.attachments().size(); ++i) {
    const Attachment& a = m.attachments()[i];
    std::string label = Text(a, 0x3707);
    if (label.empty()) label = Text(a, 0x3704);
    if (label.empty()) label = Text(a, 0x3001);
    *out += indent + "attachment " + std::to_string(i) + ": " + label + " | " +
            Blob(a, mapi::MakeTag(0x3701, PropType::kBinary)) + " | method " + std::to_string(a.method()) + "\n";
    *out += indent + "  properties: " + Tags(a) + "\n";
    if (a.embedded_message() != nullptr) SummariseMessage(*a.embedded_message(), indent + "  ", out);
  }
}

// "{00020328-0000-0000-C000-000000000046}"
std::string GuidText(const Guid& guid) {
  const auto& b = guid.bytes;
  std::string text = "{" + Hex(LoadLe<uint32_t>(&b[0])) + "-" + Hex(LoadLe<uint16_t>(&b[4]), 4) + "-" + Hex(LoadLe<uint16_t>(&b[6]), 4) + "-";
  for (size_t i = 8; i < 16; ++i) text += (i == 10 ? "-" : "") + Hex(b[i], 2);
  return text + "}";
}

}  // namespace

std::string Summarise(const MsgFile& file) {
  std::string out;
  SummariseMessage(file.message(), "", &out);
  for (uint32_t id = 0x8000; id <= 0xFFFE; ++id) {
    const PropertyName* name = file.names().Find(static_cast<uint16_t>(id));
    if (name == nullptr) continue;
    out += "named " + Hex(id, 4) + ": " + GuidText(name->guid) + " " +
           (name->kind == PropertyName::Kind::kNumeric ? "lid 0x" + Hex(name->lid, 4) : "name \"" + name->name_utf8 + "\"") +
           "\n";
  }
  return out;
}

Result<std::string> OlefileSummary(const std::string& path) {
  const std::string command = "/usr/bin/python3 " BALEPORT_MSG_TESTS_DIR "/olefile_summary.py " + baleport::testing::Quote(path);
  const baleport::testing::CommandResult r = baleport::testing::Run(command);
  if (r.exit_code != 0) return Status::Error(command + " failed with status " + std::to_string(r.exit_code) + ": " + r.output);
  return r.output;
}

}  // namespace baleport::msg::testing
