#include "pst/tests/heap_layout.h"

#include <algorithm>
#include <functional>

#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database.h"
#include "support/hex.h"

namespace baleport::pst::testing {
namespace {

// The HIDs of a BTH's items below its header: index items, then leaves, the leftmost first.
void BthItems(const RawHeap& heap, uint32_t hid, int levels, size_t key_size, std::vector<uint32_t>& out, int budget = 10) {
  if (hid == 0 || budget == 0) return;
  out.push_back(hid);
  if (levels == 0) return;
  const std::string_view item = heap.Item(hid);
  for (size_t off = 0; off + key_size + 4 <= item.size(); off += key_size + 4) {
    BthItems(heap, LoadLe<uint32_t>(item.data() + off + key_size), levels - 1, key_size, out, budget - 1);
  }
}

// The BTH under the header at `header_hid`: its items, and the leftmost leaf (0 when empty).
std::pair<std::vector<uint32_t>, uint32_t> Bth(const RawHeap& heap, uint32_t header_hid) {
  const std::string_view h = heap.Item(header_hid);
  if (h.size() != 8 || static_cast<uint8_t>(h[0]) != 0xB5) return {};
  std::vector<uint32_t> items;
  BthItems(heap, LoadLe<uint32_t>(h.data() + 4), static_cast<uint8_t>(h[3]), static_cast<uint8_t>(h[1]), items);
  uint32_t leftmost = 0;
  for (size_t i = 0, level = static_cast<uint8_t>(h[3]); i < items.size(); ++i) {
    if (level-- == 0) {
      leftmost = items[i];
      break;
    }
  }
  return {items, leftmost};
}

// What breaks the allocation order of one heap.
std::vector<std::string> OrderFaults(const RawHeap& heap) {
  std::vector<std::string> faults;
  if (heap.client_sig() == 0xBC) {
    if (heap.user_root() != 0x20) return {"property context's user root is " + HexNumber(heap.user_root())};
    auto [items, leftmost] = Bth(heap, 0x20);
    if (items.empty()) return faults;
    // Outlook allocates an item's message class (0x001A) before its records.
    uint32_t class_hid = 0;
    for (uint32_t hid : items) {
      const std::string_view leaf = heap.Item(hid);
      for (size_t off = 0; leftmost == hid && off + 8 <= leaf.size(); off += 8) {
        if (LoadLe<uint16_t>(leaf.data() + off) == 0x001A) class_hid = LoadLe<uint32_t>(leaf.data() + off + 4);
      }
    }
    if (leftmost != 0x40 && !(leftmost == 0x60 && class_hid == 0x40)) faults.push_back("first records at " + HexNumber(leftmost));
    const uint32_t last = *std::max_element(items.begin(), items.end());
    for (const auto& [hid, bytes] : heap.items()) {
      if (hid < last && hid != 0x20 && hid != class_hid && std::find(items.begin(), items.end(), hid) == items.end() && !bytes.empty()) {
        faults.push_back("value " + HexNumber(hid) + " before the records at " + HexNumber(last));
      }
    }
  } else if (heap.client_sig() == 0x7C) {
    if (heap.user_root() != 0x40) return {"table context's TCINFO is at " + HexNumber(heap.user_root())};
    auto info = ltp::ParseTcInfo(heap.Item(0x40), "table");
    if (!info.ok()) return {info.status().message()};
    if (info->hid_row_index != 0x20) faults.push_back("row index at " + HexNumber(info->hid_row_index));
    auto [items, leftmost] = Bth(heap, 0x20);
    if (info->hnid_rows != 0 && ltp::IsHid(info->hnid_rows)) {
      // A table kept whole in its heap; one with its rows in a subnode may have had rows
      // appended, its index records moved to the heap's end as they outgrew their block.
      if (leftmost != 0x60) faults.push_back("first index records at " + HexNumber(leftmost));
      for (const auto& [hid, bytes] : heap.items()) {
        const bool before = hid < info->hnid_rows, structure = hid <= 0x40 || std::find(items.begin(), items.end(), hid) != items.end();
        if (before != structure && !bytes.empty()) faults.push_back("item " + HexNumber(hid) + " on the wrong side of the row matrix");
      }
    }
  }
  return faults;
}

}  // namespace

// Every heap of the store (nodes and their subnodes) and every block, against the rules.
std::vector<std::string> HeapLayoutFaults(const std::string& path) {
  auto file = Env::Default()->OpenForRead(path);
  auto db = file.ok() ? ndb::NodeDatabase::Open(std::move(*file)) : Result<std::unique_ptr<ndb::NodeDatabase>>(file.status());
  if (!db.ok()) return {db.status().message()};
  std::vector<std::string> faults;
  for (const auto& [bid, info] : (*db)->blocks()) {
    if (info.cb == 0) faults.push_back("block " + HexNumber(bid) + " is empty");
  }
  std::function<void(uint32_t, uint64_t, uint64_t, const std::string&)> node = [&](uint32_t nid, uint64_t data, uint64_t sub,
                                                                                    const std::string& where) {
    if (data != 0 && disk::NidTypeOf(nid) != disk::kNidTypeLtp) {
      auto leaves = (*db)->DataTreeLeaves(data);
      if (!leaves.ok()) return faults.push_back(leaves.status().message());
      std::vector<std::string> blocks;
      for (uint64_t leaf : *leaves) {
        auto block = (*db)->ReadBlock(leaf);
        if (!block.ok()) return faults.push_back(block.status().message());
        blocks.push_back(std::move(*block));
      }
      RawHeap heap;
      if (heap.Parse(blocks)) {
        for (const std::string& f : heap.BlockFaults()) faults.push_back(where + ": " + f);
        for (const std::string& f : OrderFaults(heap)) faults.push_back(where + ": " + f);
      }
    }
    if (sub == 0) return;
    auto children = (*db)->ReadSubnodes(sub);
    if (!children.ok()) return faults.push_back(children.status().message());
    for (const auto& [child, e] : *children) node(child, e.bid_data, e.bid_sub, where + " subnode " + HexNumber(child));
  };
  for (const auto& [nid, n] : (*db)->nodes()) node(nid, n.bid_data, n.bid_sub, "node " + HexNumber(nid));
  return faults;
}

}  // namespace baleport::pst::testing
