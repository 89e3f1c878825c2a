// BTree-on-heap (§2.3.2): sorted fixed-size records inside a heap.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// Each leaf record in key order, read item by item.
using BthVisitor = std::function<Status(std::string_view record)>;
Status VisitBth(const Heap& heap, uint32_t header_hid, BthShape shape, const BthVisitor& visit);
Status VisitBth(HeapEditor& heap, uint32_t header_hid, BthShape shape, const BthVisitor& visit);

// Stores `records` (sorted by key, each key_size + data_size bytes) in leaf items, index items
// over them next, and fills in the BTHHEADER at `header`: an 8-byte item the caller allocates
// first, so that it gets HID 0x20 where Outlook puts it. Returns the leaf items' HIDs.
Result<std::vector<uint32_t>> BuildBth(HeapBuilder& heap, uint32_t header, BthShape shape,
                                       const std::vector<std::string>& records);
// Gives the leaf items BuildBth made the final bytes of the same records (values placed since).
void RefillBthLeaves(HeapBuilder& heap, const std::vector<uint32_t>& leaves, BthShape shape,
                     const std::vector<std::string>& records);

// Adds records above every stored key, rewriting only the rightmost item of each level (and
// the header when the root or the depth changes); items that outgrow their block move to the
// heap's end.
class BthAppender {
 public:
  static Result<BthAppender> Open(HeapEditor& heap, uint32_t header_hid, BthShape shape);
  // The highest stored key, if any.
  std::optional<uint32_t> last_key() const;
  // `record` (key then data) must have a key above last_key().
  Status Append(HeapEditor& heap, std::string_view record);
  // Puts the open items in the heap and brings the header up to date.
  Status Finish(HeapEditor& heap);

 private:
  struct RightItem {
    std::string bytes;
    uint32_t hid = 0;  // 0 until placed
    bool dirty = false;
  };
  size_t RecordSize(size_t level) const { return level == 0 ? shape_.key_size + shape_.data_size : shape_.key_size + 4u; }
  Status Add(HeapEditor& heap, size_t level, std::string record);
  Status Place(HeapEditor& heap, size_t level);

  BthShape shape_{};
  uint32_t header_hid_ = 0;
  std::vector<RightItem> path_;  // [0] the rightmost leaf, back() the root
};

}  // namespace baleport::pst::ltp
