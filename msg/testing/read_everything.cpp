#include "msg/testing/read_everything.h"

#include <vector>

#include "support/hex.h"
#include "support/testing/memory_env.h"

namespace baleport::msg::testing {
namespace {

Status ReadObject(const PropertyObject& object, uint64_t* bytes) {
  char chunk[4096];
  for (const Property& p : object.properties()) {
    const uint16_t base = p.type() & ~mapi::kMultiValued;
    const bool text = base == static_cast<uint16_t>(mapi::PropType::kUnicode) || base == static_cast<uint16_t>(mapi::PropType::kString8);
    for (uint32_t i = 0; i < p.count; ++i) {
      if (text && p.size <= sizeof chunk) {  // short strings whole, long ones streamed, as an importer takes them
        Result<std::string> whole = object.ReadTextUtf8(p, i);
        if (!whole.ok()) return whole.status();
        *bytes += whole->size();
      } else if (text) {
        Result<TextStream> stream = object.OpenText(p, i);
        if (!stream.ok()) return stream.status();
        for (std::u16string decoded;; decoded.clear()) {
          Result<bool> more = stream->Read(&decoded, sizeof chunk);
          if (!more.ok()) return more.status();
          *bytes += decoded.size() * 2;
          if (!*more) break;
        }
      } else {
        Result<ValueStream> value = object.OpenValue(p, i);
        if (!value.ok()) return value.status();
        uint64_t read = 0;
        for (Result<size_t> n = 1; *n > 0; read += *n) {
          n = value->Read(chunk, sizeof chunk);
          if (!n.ok()) return n.status();
        }
        // A value that streams short or long of its declared size is a fault of the reader.
        if (read != value->size()) {
          return Status::Error(object.where() + ": value " + std::to_string(i) + " of " + Hex(p.tag) + " streamed " +
                               std::to_string(read) + " of its " + std::to_string(value->size()) + " bytes");
        }
        *bytes += read;
      }
    }
  }
  return Status::Ok();
}

Status ReadMessage(const Message& m, uint64_t* bytes) {
  BALEPORT_RETURN_IF_ERROR(ReadObject(m, bytes));
  for (const Recipient& r : m.recipients()) BALEPORT_RETURN_IF_ERROR(ReadObject(r, bytes));
  for (const Attachment& a : m.attachments()) {
    BALEPORT_RETURN_IF_ERROR(ReadObject(a, bytes));
    if (a.embedded_message() != nullptr) BALEPORT_RETURN_IF_ERROR(ReadMessage(*a.embedded_message(), bytes));
  }
  return Status::Ok();
}

}  // namespace

Result<uint64_t> ReadEverything(const MsgFile& file) {
  uint64_t bytes = 0;
  BALEPORT_RETURN_IF_ERROR(ReadMessage(file.message(), &bytes));
  return bytes;
}

Result<uint64_t> ReadEverything(const uint8_t* data, size_t size) {
  Result<std::unique_ptr<MsgFile>> file =
      MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(std::vector<uint8_t>(data, data + size), "input.msg"));
  if (!file.ok()) return file.status();
  return ReadEverything(**file);
}

}  // namespace baleport::msg::testing
