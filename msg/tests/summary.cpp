#include "msg/tests/summary.h"

#include <cstdio>
#include <sys/wait.h>

#include "msg/hex.h"
#include "msg/text_decoder.h"

namespace baleport::msg::testing {
namespace {

using mapi::PropType;

std::string Text(const PropertyObject& object, uint16_t id) {
  const Property* p = object.Find(id, PropType::kUnicode, PropType::kString8);
  if (p == nullptr) return "";
  Result<std::string> text = object.ReadTextUtf8(*p);
  return text.ok() ? *text : "<" + text.status().message() + ">";
}

void SummariseMessage(const Message& m, const std::string& indent, std::string* out) {
  *out += indent + "class: " + Text(m, 0x001A) + "\n";
  *out += indent + "subject: " + Text(m, 0x0037) + "\n";
  *out += indent + "recipients: " + std::to_string(m.recipients().size()) + "\n";
  for (size_t i = 0; i < m.attachments().size(); ++i) {
    const Attachment& a = m.attachments()[i];
    std::string label = Text(a, 0x3707);
    if (label.empty()) label = Text(a, 0x3704);
    if (label.empty()) label = Text(a, 0x3001);
    const Property* data = a.Find(mapi::MakeTag(0x3701, PropType::kBinary));
    *out += indent + "attachment " + std::to_string(i) + ": " + label + " | " +
            (data != nullptr ? std::to_string(data->size) : "-") + " | method " + std::to_string(a.method()) + "\n";
    if (a.embedded_message() != nullptr) SummariseMessage(*a.embedded_message(), indent + "  ", out);
  }
}

}  // namespace

std::string Summarise(const MsgFile& file) {
  std::string out;
  SummariseMessage(file.message(), "", &out);
  for (const auto& [id, name] : file.names().entries()) {
    out += "named " + Hex(id, 4) + ": " + name.guid.ToString() + " " +
           (name.kind == PropertyName::Kind::kNumeric ? "lid 0x" + Hex(name.lid, 4) : "name \"" + name.name_utf8 + "\"") +
           "\n";
  }
  return out;
}

Result<std::string> OlefileSummary(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command = "/usr/bin/python3 " BALEPORT_MSG_TESTS_DIR "/olefile_summary.py " + quoted;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return Status::Error("cannot run " + command);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (rc != 0) return Status::Error(command + " failed with status " + std::to_string(rc));
  return out;
}

}  // namespace baleport::msg::testing
