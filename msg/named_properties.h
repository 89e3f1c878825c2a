// The file's map from local named-property ids (0x8000 and up) to their names
// (__nameid_version1.0, [MS-OXMSG] 2.2.3). One map serves every object of the file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "msg/compound_file.h"
#include "support/status.h"

namespace baleport::msg {

// A property set GUID in its stored (Windows, Data1-3 little-endian) byte order.
struct Guid {
  std::array<uint8_t, 16> bytes{};
  auto operator<=>(const Guid&) const = default;
};

inline constexpr Guid kPsMapi = {{0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x46}};
inline constexpr Guid kPsPublicStrings = {{0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                           0x00, 0x00, 0x00, 0x46}};

struct PropertyName {
  Guid guid;
  enum class Kind : uint8_t { kNumeric, kString } kind = Kind::kNumeric;
  uint32_t lid = 0;          // kNumeric
  std::u16string name;       // kString, as stored
  std::string name_utf8;     // kString
};

class NameMap {
 public:
  // Reads the mapping storage; `notes` collects entries that were dropped and why.
  static Result<NameMap> Read(const Storage& nameid, std::vector<std::string>* notes);

  // The name of a local id, or nullptr when the file does not define it.
  const PropertyName* Find(uint16_t id) const;

 private:
  std::map<uint16_t, PropertyName> names_;
};

}  // namespace baleport::msg
