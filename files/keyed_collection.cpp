#include "files/keyed_collection.h"

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

Status KeyedCollection::Add(std::string item, std::string key) {
  if (index_.contains(key)) return Status::Error("key \"" + key + "\" is already in the collection");
  index_.emplace(key, items_.size());
  keys_.push_back(std::move(key));
  items_.push_back(std::move(item));
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

const std::string* KeyedCollection::Find(const std::string& key) const {
  const auto it = index_.find(key);
  return it == index_.end() ? nullptr : &items_[it->second];
}

void KeyedCollection::Clear() {
  items_.clear();
  keys_.clear();
  index_.clear();
}

}  // namespace baleport
