// BTree-on-heap (§2.3.2): sorted fixed-size records inside a heap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/ltp/heap.h"

namespace baleport::pst::ltp {

struct BthShape {
  uint8_t key_size;
  uint8_t data_size;
};

// All leaf records (key then data bytes), in key order; checks shape and order.
Result<std::vector<std::string>> ReadBth(const Heap& heap, uint32_t header_hid, BthShape shape);

// Stores `records` (sorted by key, each key_size + data_size bytes) and returns the
// BTHHEADER's HID. The header is allocated first, so an empty heap gets HID 0x20.
Result<uint32_t> BuildBth(HeapBuilder& heap, BthShape shape, const std::vector<std::string>& records);

}  // namespace baleport::pst::ltp
