// A property value in the form the LTP stores it.
#pragma once

#include <cstdint>
#include <functional>
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
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

// An object's properties by id, in id order: one sorted array, since an item is built and
// written a property at a time and a tree's node per property cost more than the property.
// Inserting or erasing moves the elements after it (references to them do not stay valid).
class PropertyMap {
 public:
  using value_type = std::pair<uint16_t, PropertyValue>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void reserve(size_t n) { items_.reserve(n); }

  iterator find(uint16_t id) {
    auto it = LowerBound(id);
    return it != items_.end() && it->first == id ? it : items_.end();
  }
  const_iterator find(uint16_t id) const { return const_cast<PropertyMap*>(this)->find(id); }
  size_t count(uint16_t id) const { return find(id) != end() ? 1 : 0; }
  PropertyValue& operator[](uint16_t id) {
    auto it = LowerBound(id);
    if (it == items_.end() || it->first != id) it = items_.emplace(it, id, PropertyValue{});
    return it->second;
  }
  iterator erase(const_iterator it) { return items_.erase(it); }
  size_t erase(uint16_t id) {
    auto it = find(id);
    if (it == items_.end()) return 0;
    items_.erase(it);
    return 1;
  }

 private:
  iterator LowerBound(uint16_t id) {
    // Values mostly arrive in id order: the end is the place to look first.
    if (items_.empty() || items_.back().first < id) return items_.end();
    return std::lower_bound(items_.begin(), items_.end(), id,
                            [](const value_type& item, uint16_t key) { return item.first < key; });
  }
  std::vector<value_type> items_;
};

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
