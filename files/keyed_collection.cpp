#include "files/keyed_collection.h"

#include <functional>
#include <stdexcept>

namespace baleport {
namespace {

void CheckPosition(size_t position, size_t count) {
  if (position < 1 || position > count) {
    throw std::out_of_range("KeyedCollection: position " + std::to_string(position) + " is outside 1.." +
                            std::to_string(count));
  }
}

}  // namespace

size_t KeyedCollection::SlotOf(std::string_view key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = std::hash<std::string_view>{}(key) & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == 0 || keys_[slots_[slot] - 1] == key) return slot;
  }
}

void KeyedCollection::Grow() {
  // At most half full, so that every probe ends soon at an empty slot.
  slots_.assign(slots_.empty() ? 16 : slots_.size() * 2, 0);
  for (size_t i = 0; i < keys_.size(); ++i) slots_[SlotOf(keys_[i])] = static_cast<uint32_t>(i + 1);
}

Status KeyedCollection::Add(std::string item, std::string key) {
  if ((keys_.size() + 1) * 2 > slots_.size()) Grow();
  const size_t slot = SlotOf(key);
  if (slots_[slot] != 0) return Status::Error("key \"" + key + "\" is already in the collection");
  keys_.push_back(std::move(key));
  items_.push_back(std::move(item));
  slots_[slot] = static_cast<uint32_t>(keys_.size());
  return Status::Ok();
}

const std::string& KeyedCollection::Item(size_t position) const {
  CheckPosition(position, items_.size());
  return items_[position - 1];
}

const std::string& KeyedCollection::KeyAt(size_t position) const {
  CheckPosition(position, keys_.size());
  return keys_[position - 1];
}

const std::string* KeyedCollection::Find(std::string_view key) const {
  if (slots_.empty()) return nullptr;
  const uint32_t position = slots_[SlotOf(key)];
  return position == 0 ? nullptr : &items_[position - 1];
}

void KeyedCollection::Clear() {
  items_.clear();
  keys_.clear();
  slots_.clear();
}

}  // namespace baleport
