// A property value in the form the LTP stores it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace baleport::pst::ltp {

struct PropertyValue {
  uint16_t type = 0;
  // Little-endian fixed values, UTF-16LE strings without terminator, binaries, multi-values in
  // the layout of §2.3.3.4; for PtypObject the 8-byte {nid, size} reference.
  std::string data;
  // Non-zero when the value already lies in a subnode of its owner (written as a stream).
  uint32_t subnode = 0;
};
using PropertyMap = std::map<uint16_t, PropertyValue>;  // by property id

// Bytes of a fixed-size type, or 0 for variable-size ones.
uint32_t FixedSize(uint16_t type);
// Whether a PC keeps the value in its record (§2.3.3.3) / a TC in its row (§2.3.4.4.2).
inline bool PcInline(uint16_t type) { uint32_t n = FixedSize(type); return n > 0 && n <= 4; }
inline bool TcInline(uint16_t type) { uint32_t n = FixedSize(type); return n > 0 && n <= 8; }
// Width of a TC column of that type.
inline uint8_t TcCellSize(uint16_t type) { return TcInline(type) ? static_cast<uint8_t>(FixedSize(type)) : 4; }

// Multi-valued variable-size values: ulCount, offsets from the start, items (§2.3.3.4).
std::string JoinMultiValue(const std::vector<std::string>& items);
Result<std::vector<std::string>> SplitMultiValue(std::string_view data);

// Stores a value too large for the heap in a new subnode of the owner; returns its NID.
using BigValueSink = std::function<Result<uint32_t>(std::string_view)>;
// Reads the stream of a subnode of the owner.
using SubnodeSource = std::function<Result<std::string>(uint32_t nid)>;

}  // namespace baleport::pst::ltp
