// Writes .msg files for tests and benchmarks: any properties, recipients, attachments,
// embedded messages and named properties, as Outlook lays them out ([MS-OXMSG] 2.2, 2.4).
// It adds no properties of its own beyond PR_ATTACH_DATA_OBJ for an embedded message, so a
// test states every value the reader should find.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mapi/property_tag.h"
#include "msg/named_properties.h"
#include "support/status.h"

namespace baleport::msg::testing {

struct FixtureProperty {
  mapi::PropTag tag = 0;
  // Fixed-size values: the value bytes. Variable-size values and fixed-size multi-valued
  // ones: the stream bytes (strings without their NUL).
  std::vector<uint8_t> value;
  // Variable-size multi-valued properties: one entry per value.
  std::vector<std::vector<uint8_t>> values;
  bool omit_stream = false;  // entry without its value stream, as damaged files have
};

struct FixtureObject {
  std::vector<FixtureProperty> properties;
  // Replaces the generated property stream (damaged and odd files).
  std::optional<std::vector<uint8_t>> property_stream;
  // Streams written as given, beside the generated ones (odd names, orphans).
  std::vector<std::pair<std::string, std::vector<uint8_t>>> extra_streams;

  FixtureObject& Int32(uint16_t id, int32_t v);
  FixtureObject& Bool(uint16_t id, bool v);
  FixtureObject& Time(uint16_t id, uint64_t filetime);
  FixtureObject& Unicode(uint16_t id, std::string_view utf8);
  FixtureObject& String8(uint16_t id, std::string_view bytes);  // bytes in the message's code page
  FixtureObject& Binary(uint16_t id, std::vector<uint8_t> bytes);
  FixtureObject& Raw(mapi::PropTag tag, std::vector<uint8_t> bytes);  // any type, as FixtureProperty::value
  FixtureObject& MultiVariable(mapi::PropTag tag, std::vector<std::vector<uint8_t>> values);
};

struct FixtureMessage;

struct FixtureAttachment : FixtureObject {
  std::shared_ptr<FixtureMessage> embedded;  // written as __substg1.0_3701000D
  std::array<uint8_t, 16> clsid{};           // of that storage (an OLE object's class)
};

struct FixtureMessage : FixtureObject {
  std::vector<FixtureObject> recipients;
  std::vector<FixtureAttachment> attachments;
};

struct FixtureFile {
  FixtureMessage message;
  // names[i] is the name of local id 0x8000 + i.
  std::vector<PropertyName> names;
  uint32_t sector_size = 512;  // 512 (version 3) or 4096 (version 4)
};

Result<std::vector<uint8_t>> WriteMsgToMemory(const FixtureFile& file);
Status WriteMsgToPath(const FixtureFile& file, const std::string& path);

// UTF-16LE bytes of UTF-8 text, as PT_UNICODE streams hold it.
std::vector<uint8_t> Utf16Bytes(std::string_view utf8);
// `n` bytes that vary with `seed` and their position, for binary values.
std::vector<uint8_t> Pattern(size_t n, uint8_t seed);

}  // namespace baleport::msg::testing
