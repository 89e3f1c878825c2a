#include "msg/named_properties.h"

#include <algorithm>

#include "support/hex.h"
#include "support/little_endian.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

// Entry and GUID streams hold at most one record per id in 0x8000-0xFFFE; names are short.
constexpr size_t kMaxEntryStream = 0x8000 * 8;
constexpr size_t kMaxGuidStream = 0x8000 * 16;
constexpr size_t kMaxStringStream = 16u << 20;

// A stream of the mapping storage; empty when absent.
Result<std::span<const uint8_t>> ViewOptional(const Storage& storage, const char* name, size_t max_size,
                                              std::vector<uint8_t>* scratch) {
  const int index = storage.Find(name);
  if (index < 0) return std::span<const uint8_t>();
  return storage.ViewStream(index, max_size, scratch);
}

}  // namespace

Result<NameMap> NameMap::Read(const Storage& nameid, std::vector<std::string>* notes) {
  std::vector<uint8_t> scratch[3];
  Result<std::span<const uint8_t>> guids = ViewOptional(nameid, "__substg1.0_00020102", kMaxGuidStream, &scratch[0]);
  if (!guids.ok()) return guids.status();
  Result<std::span<const uint8_t>> entries = ViewOptional(nameid, "__substg1.0_00030102", kMaxEntryStream, &scratch[1]);
  if (!entries.ok()) return entries.status();
  Result<std::span<const uint8_t>> strings = ViewOptional(nameid, "__substg1.0_00040102", kMaxStringStream, &scratch[2]);
  if (!strings.ok()) return strings.status();

  NameMap map;
  auto drop = [&](size_t i, const std::string& why) {
    notes->push_back(nameid.path() + ": named-property entry " + std::to_string(i) + " dropped: " + why);
  };
  const size_t count = entries->size() / 8;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = entries->data() + 8 * i;
    const uint32_t id_or_offset = LoadLe<uint32_t>(e);
    const uint16_t kind_and_guid = LoadLe<uint16_t>(e + 4);
    const uint32_t id = 0x8000u + LoadLe<uint16_t>(e + 6);
    if (id > 0xFFFE) {
      drop(i, "property index out of range");
      continue;
    }
    PropertyName name;
    const uint16_t guid_index = kind_and_guid >> 1;
    if (guid_index == 1) {
      name.guid = kPsMapi;
    } else if (guid_index == 2) {
      name.guid = kPsPublicStrings;
    } else if (guid_index >= 3 && (guid_index - 3u) * 16u + 16u <= guids->size()) {
      std::copy_n(guids->data() + (guid_index - 3u) * 16u, 16, name.guid.bytes.begin());
    } else {
      drop(i, "GUID index " + std::to_string(guid_index) + " is not in the GUID stream");
      continue;
    }
    if ((kind_and_guid & 1) == 0) {
      name.lid = id_or_offset;
    } else {
      name.kind = PropertyName::Kind::kString;
      const uint64_t offset = id_or_offset;
      if (offset + 4 > strings->size()) {
        drop(i, "string offset " + std::to_string(offset) + " is past the string stream");
        continue;
      }
      const uint32_t length = LoadLe<uint32_t>(strings->data() + offset);
      if (offset + 4 + length > strings->size() || length % 2 != 0) {
        drop(i, "string of " + std::to_string(length) + " bytes does not fit the string stream");
        continue;
      }
      name.name = Utf16FromLeBytes(std::string_view(reinterpret_cast<const char*>(strings->data()) + offset + 4, length));
      name.name_utf8 = Utf16ToUtf8(name.name, BadText::kReplace);
    }
    if (!map.names_.emplace(static_cast<uint16_t>(id), std::move(name)).second) {
      drop(i, "id 0x" + Hex(id, 4) + " is defined twice");
    }
  }
  return map;
}

const PropertyName* NameMap::Find(uint16_t id) const {
  auto it = names_.find(id);
  return it == names_.end() ? nullptr : &it->second;
}

}  // namespace baleport::msg
