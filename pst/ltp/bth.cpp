#include "pst/ltp/bth.h"

#include <cstring>

#include "pst/disk/bytes.h"

namespace baleport::pst::ltp {

namespace {

uint64_t KeyOf(std::string_view rec, uint8_t key_size) {
  uint64_t k = 0;
  for (int i = std::min<int>(key_size, 8) - 1; i >= 0; --i) k = (k << 8) | static_cast<uint8_t>(rec[i]);
  return k;
}

Status Walk(const Heap& heap, uint32_t hid, int levels, BthShape shape, std::vector<std::string>& out, int budget) {
  if (budget <= 0) return Status::Error(heap.where() + ": BTree-on-heap is malformed (too deep or cyclic)");
  auto item = heap.Get(hid);
  if (!item.ok()) return item.status();
  const size_t rec = levels == 0 ? shape.key_size + shape.data_size : shape.key_size + 4u;
  if (item->size() % rec != 0) return Status::Error(heap.where() + ": BTree-on-heap item has a partial record");
  for (size_t off = 0; off < item->size(); off += rec) {
    std::string_view r = item->substr(off, rec);
    if (levels == 0) {
      if (!out.empty() && KeyOf(out.back(), shape.key_size) >= KeyOf(r, shape.key_size)) {
        return Status::Error(heap.where() + ": BTree-on-heap keys are out of order");
      }
      out.emplace_back(r);
    } else {
      uint32_t child = disk::Load<uint32_t>(r.data() + shape.key_size);
      BALEPORT_RETURN_IF_ERROR(Walk(heap, child, levels - 1, shape, out, budget - 1));
    }
  }
  return Status::Ok();
}

}  // namespace

Result<std::vector<std::string>> ReadBth(const Heap& heap, uint32_t header_hid, BthShape shape) {
  auto hdr = heap.Get(header_hid);
  if (!hdr.ok()) return hdr.status();
  if (hdr->size() != 8 || static_cast<uint8_t>((*hdr)[0]) != kClientSigBTH) {
    return Status::Error(heap.where() + ": BTree-on-heap header is invalid");
  }
  if (static_cast<uint8_t>((*hdr)[1]) != shape.key_size || static_cast<uint8_t>((*hdr)[2]) != shape.data_size) {
    return Status::Error(heap.where() + ": BTree-on-heap has unexpected record sizes");
  }
  uint8_t levels = static_cast<uint8_t>((*hdr)[3]);
  uint32_t root = disk::Load<uint32_t>(hdr->data() + 4);
  std::vector<std::string> out;
  if (root == 0) return out;
  if (levels > 8) return Status::Error(heap.where() + ": BTree-on-heap is too deep");
  BALEPORT_RETURN_IF_ERROR(Walk(heap, root, levels, shape, out, 10));
  return out;
}

Result<uint32_t> BuildBth(HeapBuilder& heap, BthShape shape, const std::vector<std::string>& records) {
  auto header = heap.Allocate(std::string(8, '\0'));
  if (!header.ok()) return header;
  uint32_t root = 0;
  uint8_t levels = 0;
  if (!records.empty()) {
    // Leaf items, then index items over them, until one item holds the level.
    std::vector<std::pair<std::string, uint32_t>> level;  // first key bytes, hid
    const size_t rec = shape.key_size + shape.data_size;
    const size_t per_leaf = kMaxHeapItem / rec;
    for (size_t i = 0; i < records.size(); i += per_leaf) {
      std::string item;
      for (size_t j = i; j < std::min(records.size(), i + per_leaf); ++j) item += records[j];
      auto hid = heap.Allocate(item);
      if (!hid.ok()) return hid;
      level.emplace_back(records[i].substr(0, shape.key_size), *hid);
    }
    const size_t per_index = kMaxHeapItem / (shape.key_size + 4u);
    while (level.size() > 1) {
      std::vector<std::pair<std::string, uint32_t>> up;
      for (size_t i = 0; i < level.size(); i += per_index) {
        std::string item;
        for (size_t j = i; j < std::min(level.size(), i + per_index); ++j) {
          item += level[j].first;
          disk::Append<uint32_t>(item, level[j].second);
        }
        auto hid = heap.Allocate(item);
        if (!hid.ok()) return hid;
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
  disk::Store<uint32_t>(h.data() + 4, root);
  heap.Replace(*header, h);
  return header;
}

}  // namespace baleport::pst::ltp
