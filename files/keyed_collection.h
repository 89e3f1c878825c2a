// An insertion-ordered list of texts with unique text keys, addressed by 1-based
// position or by key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace baleport {

class KeyedCollection {
 public:
  // Fails, adding nothing, when `key` is already present.
  Status Add(std::string item, std::string key);
  size_t Count() const { return items_.size(); }
  // 1-based; a position outside 1..Count() throws std::out_of_range.
  const std::string& Item(size_t position) const;
  // nullptr when no item has that key.
  const std::string* Find(std::string_view key) const;
  // The key of the item at a 1-based position; throws std::out_of_range like Item.
  const std::string& KeyAt(size_t position) const;
  void Clear();

  std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
  std::vector<std::string>::const_iterator end() const { return items_.end(); }

 private:
  // The slot that holds key, or the empty slot where it would go.
  size_t SlotOf(std::string_view key) const;
  void Grow();

  std::vector<std::string> items_;
  std::vector<std::string> keys_;
  // Open addressing over positions: a search fills the collections with 100,000 items,
  // and a node per key made the index the costliest part of it.
  std::vector<uint32_t> slots_;  // position + 1; 0 is empty
};

}  // namespace baleport
