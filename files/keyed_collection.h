// An insertion-ordered list of texts with unique text keys, addressed by 1-based
// position or by key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace baleport {

class KeyedCollection {
 public:
  // The texts in order.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const KeyedCollection* collection, size_t index) : collection_(collection), index_(index) {}
    std::string_view operator*() const { return collection_->ItemAt(index_); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    const KeyedCollection* collection_ = nullptr;
    size_t index_ = 0;
  };

  // Fails, adding nothing, when `key` is already present.
  Status Add(std::string_view item, std::string_view key);
  size_t Count() const { return entries_.size(); }
  // 1-based; a position outside 1..Count() throws std::out_of_range. The texts stay in
  // place until Clear, whatever is added after.
  std::string_view Item(size_t position) const;
  // Empty when no item has that key.
  std::optional<std::string_view> Find(std::string_view key) const;
  // The key of the item at a 1-based position; throws std::out_of_range like Item.
  std::string_view KeyAt(size_t position) const;
  void Clear();

  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, entries_.size()}; }

 private:
  // An item and its key, side by side in one of the blocks.
  struct Entry {
    uint32_t block;
    uint32_t offset;
    uint32_t itemSize;
    uint32_t keySize;
  };

  std::string_view ItemAt(size_t index) const;
  std::string_view KeyOf(size_t index) const;
  // The slot that holds key, or the empty slot where it would go.
  size_t SlotOf(std::string_view key) const;
  void Grow();
  // Room for `size` bytes that will not move: the texts of a search (100,000 paths and
  // more) live in a few large blocks instead of two allocations each.
  char* Reserve(size_t size, Entry& entry);

  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t used = 0;
    size_t size = 0;
  };
  std::vector<Block> blocks_;
  std::vector<Entry> entries_;
  // Open addressing over positions: a node per key made the index the costliest part of
  // a search.
  std::vector<uint32_t> slots_;  // position + 1; 0 is empty
};

}  // namespace baleport
