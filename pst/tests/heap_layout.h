// A heap-on-node read from its raw blocks, apart from the engine's reader, and held to the
// rules Outlook's own heaps follow (pst/README.md, "Heap layout"): stricter readers rely on them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/little_endian.h"

namespace baleport::pst::testing {

class RawHeap {
 public:
  // False when the blocks are not a heap (no 0xEC signature) or their page maps do not fit.
  bool Parse(const std::vector<std::string>& blocks) {
    blocks_ = blocks;
    if (blocks.empty() || blocks[0].size() < 12 || static_cast<uint8_t>(blocks[0][2]) != 0xEC) return false;
    for (size_t b = 0; b < blocks.size(); ++b) {
      const std::string& s = blocks[b];
      if (s.size() < 2) return false;
      const uint16_t map = LoadLe<uint16_t>(s, 0);
      if (map + 4u > s.size()) return false;
      const uint16_t count = LoadLe<uint16_t>(s, map), freed = LoadLe<uint16_t>(s, map + 2);
      if (map + 4u + 2u * (count + 1u) > s.size()) return false;
      used_.push_back(map + 4u + 2u * (count + 1u));
      freed_.push_back(freed);
      for (uint32_t i = 1; i <= count; ++i) {
        const uint16_t from = LoadLe<uint16_t>(s, map + 2 + 2 * i), to = LoadLe<uint16_t>(s, map + 4 + 2 * i);
        if (from > to || to > map) return false;
        items_[static_cast<uint32_t>(b << 16 | i << 5)] = std::string_view(blocks_[b]).substr(from, to - from);
      }
    }
    return true;
  }
  uint8_t client_sig() const { return static_cast<uint8_t>(blocks_[0][3]); }
  uint32_t user_root() const { return LoadLe<uint32_t>(blocks_[0], 4); }
  // Every allocation by HID, in allocation order.
  const std::map<uint32_t, std::string_view>& items() const { return items_; }
  std::string_view Item(uint32_t hid) const { return items_.contains(hid) ? items_.at(hid) : std::string_view(); }

  // What breaks the block-level rules, one line each.
  std::vector<std::string> BlockFaults() const {
    static constexpr size_t kLow[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8, 0};
    std::vector<std::string> faults;
    std::vector<size_t> empty(blocks_.size());
    for (const auto& [hid, bytes] : items_) empty[hid >> 16] += bytes.empty();
    for (size_t i = 0; i < blocks_.size(); ++i) {
      const std::string at = "block " + std::to_string(i) + " of " + std::to_string(blocks_.size());
      if (i + 1 < blocks_.size() && blocks_[i].size() != 8176) {
        faults.push_back(at + " is not full: " + std::to_string(blocks_[i].size()));
      }
      // Block 0 holds the levels of blocks 0..7, each bitmap block (8, 136, ...) of itself and the next 127.
      const size_t holder = i < 8 ? 0 : 8 + (i - 8) / 128 * 128;
      const uint8_t byte = static_cast<uint8_t>(blocks_[holder][(holder == 0 ? 8 : 2) + (i - holder) / 2]);
      const int level = (i - holder) % 2 ? byte >> 4 : byte & 0xF;
      const size_t free = 8176 - used_[i];
      if (free < kLow[level] || (level > 0 && free >= kLow[level - 1])) {
        faults.push_back(at + " has fill level " + std::to_string(level) + " for " + std::to_string(free) + " free bytes");
      }
      if (empty[i] > freed_[i]) {
        faults.push_back(at + " has " + std::to_string(empty[i]) + " zero-length allocations, only " +
                         std::to_string(freed_[i]) + " freed");
      }
    }
    return faults;
  }

 private:
  std::vector<std::string> blocks_;
  std::vector<size_t> used_;
  std::vector<uint16_t> freed_;
  std::map<uint32_t, std::string_view> items_;
};

}  // namespace baleport::pst::testing
