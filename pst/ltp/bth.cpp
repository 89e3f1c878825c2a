#include "pst/ltp/bth.h"

#include <cstring>

#include "support/little_endian.h"

namespace baleport::pst::ltp {

namespace {

uint64_t KeyOf(std::string_view rec, uint8_t key_size) {
  uint64_t k = 0;
  for (int i = std::min<int>(key_size, 8) - 1; i >= 0; --i) k = (k << 8) | static_cast<uint8_t>(rec[i]);
  return k;
}

template <typename H>
Status Walk(H& heap, uint32_t hid, int levels, BthShape shape, const BthVisitor& visit, std::optional<uint64_t>& last,
            int budget) {
  if (budget <= 0) return Status::Error(heap.where() + ": BTree-on-heap is malformed (too deep or cyclic)");
  auto got = heap.Get(hid);
  if (!got.ok()) return got.status();
  // Held by value: reading a child may load blocks of an editor, not move this item.
  const std::string item(*got);
  const size_t rec = levels == 0 ? shape.key_size + shape.data_size : shape.key_size + 4u;
  if (item.size() % rec != 0) return Status::Error(heap.where() + ": BTree-on-heap item has a partial record");
  for (size_t off = 0; off < item.size(); off += rec) {
    std::string_view r = std::string_view(item).substr(off, rec);
    if (levels == 0) {
      const uint64_t key = KeyOf(r, shape.key_size);
      if (last && *last >= key) return Status::Error(heap.where() + ": BTree-on-heap keys are out of order");
      last = key;
      BALEPORT_RETURN_IF_ERROR(visit(r));
    } else {
      uint32_t child = LoadLe<uint32_t>(r.data() + shape.key_size);
      BALEPORT_RETURN_IF_ERROR(Walk(heap, child, levels - 1, shape, visit, last, budget - 1));
    }
  }
  return Status::Ok();
}

template <typename H>
Status Visit(H& heap, uint32_t header_hid, BthShape shape, const BthVisitor& visit) {
  auto got = heap.Get(header_hid);
  if (!got.ok()) return got.status();
  const std::string hdr(*got);
  if (hdr.size() != 8 || static_cast<uint8_t>(hdr[0]) != kClientSigBTH) {
    return Status::Error(heap.where() + ": BTree-on-heap header is invalid");
  }
  if (static_cast<uint8_t>(hdr[1]) != shape.key_size || static_cast<uint8_t>(hdr[2]) != shape.data_size) {
    return Status::Error(heap.where() + ": BTree-on-heap has unexpected record sizes");
  }
  uint8_t levels = static_cast<uint8_t>(hdr[3]);
  uint32_t root = LoadLe<uint32_t>(hdr.data() + 4);
  if (root == 0) return Status::Ok();
  if (levels > 8) return Status::Error(heap.where() + ": BTree-on-heap is too deep");
  std::optional<uint64_t> last;
  return Walk(heap, root, levels, shape, visit, last, 10);
}

}  // namespace

Status VisitBth(const Heap& heap, uint32_t header_hid, BthShape shape, const BthVisitor& visit) {
  return Visit(heap, header_hid, shape, visit);
}

Status VisitBth(HeapEditor& heap, uint32_t header_hid, BthShape shape, const BthVisitor& visit) {
  return Visit(heap, header_hid, shape, visit);
}

Result<std::vector<std::string>> ReadBth(const Heap& heap, uint32_t header_hid, BthShape shape) {
  std::vector<std::string> out;
  BALEPORT_RETURN_IF_ERROR(VisitBth(heap, header_hid, shape, [&](std::string_view r) {
    out.emplace_back(r);
    return Status::Ok();
  }));
  return out;
}

Result<std::vector<uint32_t>> BuildBth(HeapBuilder& heap, uint32_t header, BthShape shape,
                                       const std::vector<std::string>& records) {
  std::vector<uint32_t> leaves;
  uint32_t root = 0;
  uint8_t levels = 0;
  if (!records.empty()) {
    // Leaf items, then index items over them, until one item holds the level.
    std::vector<std::pair<std::string, uint32_t>> level;  // first key bytes, hid
    const size_t per_leaf = kMaxHeapItem / (shape.key_size + shape.data_size);
    for (size_t i = 0; i < records.size(); i += per_leaf) {
      std::string item;
      for (size_t j = i; j < std::min(records.size(), i + per_leaf); ++j) item += records[j];
      auto hid = heap.Allocate(item);
      if (!hid.ok()) return hid.status();
      level.emplace_back(records[i].substr(0, shape.key_size), *hid);
      leaves.push_back(*hid);
    }
    const size_t per_index = kMaxHeapItem / (shape.key_size + 4u);
    while (level.size() > 1) {
      std::vector<std::pair<std::string, uint32_t>> up;
      for (size_t i = 0; i < level.size(); i += per_index) {
        std::string item;
        for (size_t j = i; j < std::min(level.size(), i + per_index); ++j) {
          item += level[j].first;
          AppendLe<uint32_t>(item, level[j].second);
        }
        auto hid = heap.Allocate(item);
        if (!hid.ok()) return hid.status();
        up.emplace_back(level[i].first, *hid);
      }
      level.swap(up);
      ++levels;
    }
    root = level[0].second;
  }
  std::string h(8, '\0');
  h[0] = static_cast<char>(kClientSigBTH);
  h[1] = static_cast<char>(shape.key_size);
  h[2] = static_cast<char>(shape.data_size);
  h[3] = static_cast<char>(levels);
  StoreLe<uint32_t>(h.data() + 4, root);
  heap.Replace(header, h);
  return leaves;
}

void RefillBthLeaves(HeapBuilder& heap, const std::vector<uint32_t>& leaves, BthShape shape,
                     const std::vector<std::string>& records) {
  const size_t per_leaf = kMaxHeapItem / (shape.key_size + shape.data_size);
  for (size_t n = 0; n < leaves.size(); ++n) {
    std::string item;
    for (size_t j = n * per_leaf; j < std::min(records.size(), (n + 1) * per_leaf); ++j) item += records[j];
    heap.Replace(leaves[n], item);
  }
}

Result<BthAppender> BthAppender::Open(HeapEditor& heap, uint32_t header_hid, BthShape shape) {
  BthAppender a;
  a.shape_ = shape;
  a.header_hid_ = header_hid;
  auto hdr = heap.Get(header_hid);
  if (!hdr.ok()) return hdr.status();
  if (hdr->size() != 8 || static_cast<uint8_t>((*hdr)[0]) != kClientSigBTH || static_cast<uint8_t>((*hdr)[1]) != shape.key_size ||
      static_cast<uint8_t>((*hdr)[2]) != shape.data_size || static_cast<uint8_t>((*hdr)[3]) > 8) {
    return Status::Error("BTree-on-heap header is not one rows can be added to");
  }
  const size_t levels = static_cast<uint8_t>((*hdr)[3]);
  uint32_t hid = LoadLe<uint32_t>(hdr->data() + 4);
  if (hid == 0) return a;
  a.path_.resize(levels + 1);
  for (size_t level = levels + 1; level-- > 0;) {
    auto item = heap.Get(hid);
    if (!item.ok()) return item.status();
    const size_t rec = a.RecordSize(level);
    if (item->empty() || item->size() % rec != 0) return Status::Error("BTree-on-heap item has a partial record");
    a.path_[level] = RightItem{std::string(*item), hid, false};
    if (level > 0) hid = LoadLe<uint32_t>(item->data() + item->size() - 4);
  }
  return a;
}

std::optional<uint32_t> BthAppender::last_key() const {
  if (path_.empty()) return std::nullopt;
  const std::string& leaf = path_[0].bytes;
  return static_cast<uint32_t>(KeyOf(std::string_view(leaf).substr(leaf.size() - RecordSize(0)), shape_.key_size));
}

Status BthAppender::Append(HeapEditor& heap, std::string_view record) {
  if (path_.empty()) {
    path_.push_back(RightItem{std::string(record), 0, true});
    return Status::Ok();
  }
  return Add(heap, 0, std::string(record));
}

Status BthAppender::Add(HeapEditor& heap, size_t level, std::string record) {
  RightItem& open = path_[level];
  if (open.bytes.size() / RecordSize(level) < kMaxHeapItem / RecordSize(level)) {
    open.bytes += record;
    open.dirty = true;
    return Status::Ok();
  }
  // The item is full: it is final, and a sibling starts with this record.
  BALEPORT_RETURN_IF_ERROR(Place(heap, level));
  if (level + 1 == path_.size()) {
    std::string root = path_[level].bytes.substr(0, shape_.key_size);
    AppendLe<uint32_t>(root, path_[level].hid);
    path_.push_back(RightItem{std::move(root), 0, true});
  }
  std::string entry = record.substr(0, shape_.key_size);
  AppendLe<uint32_t>(entry, 0);  // the sibling's HID, once placed
  path_[level] = RightItem{std::move(record), 0, true};
  return Add(heap, level + 1, std::move(entry));
}

Status BthAppender::Place(HeapEditor& heap, size_t level) {
  RightItem& open = path_[level];
  if (!open.dirty) return Status::Ok();
  uint32_t hid = open.hid;
  bool placed = false;
  if (hid != 0) {
    auto replaced = heap.Replace(hid, open.bytes);
    if (!replaced.ok()) return replaced.status();
    placed = *replaced;
    if (!placed) BALEPORT_RETURN_IF_ERROR(heap.Free(hid));
  }
  if (!placed) {
    auto fresh = heap.Allocate(open.bytes);
    if (!fresh.ok()) return fresh.status();
    hid = *fresh;
  }
  open.hid = hid;
  open.dirty = false;
  if (level + 1 < path_.size()) {
    RightItem& parent = path_[level + 1];
    char* last = parent.bytes.data() + parent.bytes.size() - 4;
    if (LoadLe<uint32_t>(last) != hid) {
      StoreLe<uint32_t>(last, hid);
      parent.dirty = true;
    }
  }
  return Status::Ok();
}

Status BthAppender::Finish(HeapEditor& heap) {
  for (size_t level = 0; level < path_.size(); ++level) BALEPORT_RETURN_IF_ERROR(Place(heap, level));
  auto hdr = heap.Get(header_hid_);
  if (!hdr.ok()) return hdr.status();
  std::string h(*hdr);
  h[3] = static_cast<char>(path_.empty() ? 0 : path_.size() - 1);
  StoreLe<uint32_t>(h.data() + 4, path_.empty() ? 0 : path_.back().hid);
  if (h == *hdr) return Status::Ok();
  auto replaced = heap.Replace(header_hid_, h);
  if (!replaced.ok()) return replaced.status();
  return *replaced ? Status::Ok() : Status::Error("BTree-on-heap header could not be rewritten in place");
}

}  // namespace baleport::pst::ltp
