// An ordered map kept as a list of sorted chunks of up to kChunk entries, for the node and block
// indexes: a big store has a million blocks, and entries packed in chunks cost little more than
// their own size where a node-per-entry map costs three times that. Keys grow as blocks and nodes
// are made, so an entry past the last one opens a new chunk rather than splitting a full one,
// and chunks stay full.
//
// Inserting or erasing moves entries: iterators and pointers to values are good only until the
// next change.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace baleport::pst::ndb {

template <typename K, typename V>
class ChunkedMap {
  using Entry = std::pair<K, V>;
  using Chunk = std::vector<Entry>;

 public:
  static constexpr size_t kChunk = 256;

  template <bool kConst>
  class Iterator {
    using Map = std::conditional_t<kConst, const ChunkedMap, ChunkedMap>;

   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<kConst, const Entry&, Entry&>;
    using pointer = std::conditional_t<kConst, const Entry*, Entry*>;

    Iterator() = default;
    Iterator(Map* map, size_t chunk, size_t pos) : map_(map), chunk_(chunk), pos_(pos) {}
    // A const iterator from a mutable one.
    template <bool kOther>
      requires(kConst && !kOther)
    Iterator(const Iterator<kOther>& o) : map_(o.map_), chunk_(o.chunk_), pos_(o.pos_) {}

    reference operator*() const { return map_->chunks_[chunk_][pos_]; }
    pointer operator->() const { return &**this; }
    Iterator& operator++() {
      if (++pos_ == map_->chunks_[chunk_].size()) {
        ++chunk_;
        pos_ = 0;
      }
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& o) const { return chunk_ == o.chunk_ && pos_ == o.pos_; }

   private:
    friend class ChunkedMap;
    friend class Iterator<true>;
    Map* map_ = nullptr;
    size_t chunk_ = 0;  // chunks_.size() at the end
    size_t pos_ = 0;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  iterator begin() { return {this, 0, 0}; }
  iterator end() { return {this, chunks_.size(), 0}; }
  const_iterator begin() const { return {this, 0, 0}; }
  const_iterator end() const { return {this, chunks_.size(), 0}; }

  iterator lower_bound(const K& key) { return Locate(key); }
  const_iterator lower_bound(const K& key) const { return const_cast<ChunkedMap*>(this)->Locate(key); }
  iterator find(const K& key) {
    iterator it = Locate(key);
    return it != end() && it->first == key ? it : end();
  }
  const_iterator find(const K& key) const { return const_cast<ChunkedMap*>(this)->find(key); }
  size_t count(const K& key) const { return find(key) != end(); }

  V& operator[](const K& key) { return try_emplace(key).first->second; }

  // Inserts (key, V{}) unless the key is there; the entry and whether it was inserted.
  std::pair<iterator, bool> try_emplace(const K& key) {
    iterator it = Locate(key);
    if (it != end() && it->first == key) return {it, false};
    ++size_;
    if (chunks_.empty() || (it == end() && chunks_.back().size() == kChunk)) {
      // Past the last entry of a full chunk (or the first entry): a new chunk, filled from here on.
      chunks_.emplace_back().reserve(kChunk);
      chunks_.back().emplace_back(key, V{});
      firsts_.push_back(key);
      return {iterator(this, chunks_.size() - 1, 0), true};
    }
    if (it == end()) it = iterator(this, chunks_.size() - 1, chunks_.back().size());
    Chunk& c = chunks_[it.chunk_];
    if (c.size() == kChunk) {
      // Splits the full chunk in halves and inserts into the half that holds the key.
      Chunk upper(c.begin() + kChunk / 2, c.end());
      upper.reserve(kChunk);
      c.erase(c.begin() + kChunk / 2, c.end());
      chunks_.insert(chunks_.begin() + it.chunk_ + 1, std::move(upper));
      firsts_.insert(firsts_.begin() + it.chunk_ + 1, chunks_[it.chunk_ + 1].front().first);
      if (it.pos_ > kChunk / 2) {
        ++it.chunk_;
        it.pos_ -= kChunk / 2;
      }
    }
    Chunk& target = chunks_[it.chunk_];
    target.emplace(target.begin() + it.pos_, key, V{});
    if (it.pos_ == 0) firsts_[it.chunk_] = key;
    return {it, true};
  }

  // Removes the entry at `it`; the iterator to the entry after it.
  iterator erase(iterator it) {
    Chunk& c = chunks_[it.chunk_];
    c.erase(c.begin() + it.pos_);
    --size_;
    if (c.empty()) {
      chunks_.erase(chunks_.begin() + it.chunk_);
      firsts_.erase(firsts_.begin() + it.chunk_);
      return {this, it.chunk_, 0};
    }
    firsts_[it.chunk_] = c.front().first;
    // A chunk that has thinned out joins its successor when both fit in one.
    if (c.size() < kChunk / 4 && it.chunk_ + 1 < chunks_.size() && c.size() + chunks_[it.chunk_ + 1].size() <= kChunk) {
      Chunk& next = chunks_[it.chunk_ + 1];
      c.insert(c.end(), next.begin(), next.end());
      chunks_.erase(chunks_.begin() + it.chunk_ + 1);
      firsts_.erase(firsts_.begin() + it.chunk_ + 1);
    }
    if (it.pos_ == c.size()) return {this, it.chunk_ + 1, 0};
    return it;
  }
  size_t erase(const K& key) {
    iterator it = find(key);
    if (it == end()) return 0;
    erase(it);
    return 1;
  }

 private:
  // The first entry not below `key`.
  iterator Locate(const K& key) {
    // The last chunk whose first key is not above `key`.
    size_t chunk = std::upper_bound(firsts_.begin(), firsts_.end(), key) - firsts_.begin();
    if (chunk == 0) return begin();
    --chunk;
    const Chunk& c = chunks_[chunk];
    const size_t pos =
        std::lower_bound(c.begin(), c.end(), key, [](const Entry& e, const K& k) { return e.first < k; }) - c.begin();
    if (pos == c.size()) return {this, chunk + 1, 0};
    return {this, chunk, pos};
  }

  std::vector<Chunk> chunks_;
  std::vector<K> firsts_;  // chunks_[i].front().first, searched without touching the chunks
  size_t size_ = 0;
};

}  // namespace baleport::pst::ndb
