#include "files/keyed_collection.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>

namespace baleport {
namespace {

// Blocks double from the first to the largest, so that a small collection stays small.
constexpr size_t kFirstBlockSize = size_t{4} << 10;
constexpr size_t kLargestBlockSize = size_t{1} << 20;

void CheckPosition(size_t position, size_t count) {
  if (position < 1 || position > count) {
    throw std::out_of_range("KeyedCollection: position " + std::to_string(position) + " is outside 1.." +
                            std::to_string(count));
  }
}

}  // namespace

std::string_view KeyedCollection::ItemAt(size_t index) const {
  const Entry& e = entries_[index];
  return {blocks_[e.block].bytes.get() + e.offset, e.itemSize};
}

std::string_view KeyedCollection::KeyOf(size_t index) const {
  const Entry& e = entries_[index];
  return {blocks_[e.block].bytes.get() + e.offset + e.itemSize, e.keySize};
}

size_t KeyedCollection::SlotOf(std::string_view key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = std::hash<std::string_view>{}(key) & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == 0 || KeyOf(slots_[slot] - 1) == key) return slot;
  }
}

void KeyedCollection::Grow() {
  // At most half full, so that every probe ends soon at an empty slot.
  slots_.assign(slots_.empty() ? 16 : slots_.size() * 2, 0);
  for (size_t i = 0; i < entries_.size(); ++i) slots_[SlotOf(KeyOf(i))] = static_cast<uint32_t>(i + 1);
}

char* KeyedCollection::Reserve(size_t size, Entry& entry) {
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < size) {
    const size_t grown = blocks_.empty() ? kFirstBlockSize : std::min(kLargestBlockSize, blocks_.back().size * 2);
    const size_t blockSize = std::max(grown, size);
    blocks_.push_back({std::make_unique<char[]>(blockSize), 0, blockSize});
  }
  Block& block = blocks_.back();
  entry.block = static_cast<uint32_t>(blocks_.size() - 1);
  entry.offset = static_cast<uint32_t>(block.used);
  block.used += size;
  return block.bytes.get() + entry.offset;
}

Status KeyedCollection::Add(std::string_view item, std::string_view key) {
  constexpr size_t kLimit = std::numeric_limits<uint32_t>::max() / 2;
  if (item.size() > kLimit || key.size() > kLimit || entries_.size() >= kLimit) {
    return Status::Error("the item of key \"" + std::string(key) + "\" does not fit in the collection");
  }
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const size_t slot = SlotOf(key);
  if (slots_[slot] != 0) return Status::Error("key \"" + std::string(key) + "\" is already in the collection");
  Entry entry{0, 0, static_cast<uint32_t>(item.size()), static_cast<uint32_t>(key.size())};
  char* at = Reserve(item.size() + key.size(), entry);
  std::copy(item.begin(), item.end(), at);
  std::copy(key.begin(), key.end(), at + item.size());
  entries_.push_back(entry);
  slots_[slot] = static_cast<uint32_t>(entries_.size());
  return Status::Ok();
}

std::string_view KeyedCollection::Item(size_t position) const {
  CheckPosition(position, entries_.size());
  return ItemAt(position - 1);
}

std::string_view KeyedCollection::KeyAt(size_t position) const {
  CheckPosition(position, entries_.size());
  return KeyOf(position - 1);
}

std::optional<std::string_view> KeyedCollection::Find(std::string_view key) const {
  if (slots_.empty()) return std::nullopt;
  const uint32_t position = slots_[SlotOf(key)];
  if (position == 0) return std::nullopt;
  return ItemAt(position - 1);
}

void KeyedCollection::Clear() {
  blocks_.clear();
  entries_.clear();
  slots_.clear();
}

}  // namespace baleport
