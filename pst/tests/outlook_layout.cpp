#include "pst/tests/outlook_layout.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "pst/ltp/table_context.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/schema.h"
#include "pst/tests/heap_layout.h"
#include "support/env.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::pst::testing {
namespace {

using disk::NidTypeOf;

// Nodes all of Outlook's stores hold but whose content no format describes; the engine does
// not make these.
const std::set<uint32_t> kUndescribedNodes = {0xE01, 0xE41};
// The templates and the fixed tables, whose columns a store's tables are made from.
const uint32_t kTemplates[] = {disk::kNidHierarchyTableTemplate, disk::kNidContentsTableTemplate,
                               disk::kNidAssocContentsTableTemplate, disk::kNidSearchContentsTableTemplate,
                               disk::kNidAttachmentTable, disk::kNidRecipientTable};

std::string Named(const char* what, uint64_t v) { return std::string(what) + " " + HexNumber(v); }

std::string Columns(const std::vector<ltp::TableColumn>& columns) {
  std::string s;
  for (const auto& c : columns) {
    s += " " + Hex(c.tag, 1) + "@" + std::to_string(c.offset) + "/" + std::to_string(c.size) + "/" + std::to_string(c.bit);
  }
  return s;
}

bool HasTag(const std::vector<ltp::TableColumn>& columns, uint32_t tag) {
  return std::any_of(columns.begin(), columns.end(), [&](const ltp::TableColumn& c) { return c.tag == tag; });
}

struct Facts {
  std::set<std::string> nodes;  // fixed nodes and NID types
  std::set<uint32_t> store_tags;
  std::map<uint32_t, std::vector<ltp::TableColumn>> tables;  // TCINFO columns of templates and fixed tables
  std::set<uint32_t> varied;  // tables whose columns differ between Outlook's stores
  std::vector<std::string> faults;                            // found while reading
};

std::vector<ltp::TableColumn> TcColumns(const ndb::NodeDatabase& db, const ndb::NodeEntry& n, std::vector<std::string>& faults) {
  auto heap = ReadHeap(db, n.bid_data, Named("node", n.nid));
  if (!heap.ok()) return faults.push_back(heap.status().message()), std::vector<ltp::TableColumn>{};
  auto info = heap->Get(heap->user_root());
  auto tc = info.ok() ? ltp::ParseTcInfo(*info, heap->where()) : Result<ltp::TcInfo>(info.status());
  if (!tc.ok()) return faults.push_back(tc.status().message()), std::vector<ltp::TableColumn>{};
  return tc->columns;
}

Result<std::unique_ptr<ndb::NodeDatabase>> OpenRead(const std::string& path) {
  auto file = Env::Default()->OpenForRead(path);
  if (!file.ok()) return file.status();
  return ndb::NodeDatabase::Open(std::move(*file));
}

Facts Gather(const ndb::NodeDatabase& db) {
  Facts f;
  for (const auto& [nid, n] : db.nodes()) {
    const uint8_t type = NidTypeOf(nid);
    // Item types depend on what a store holds, not on how it is laid out.
    const bool item = type == disk::kNidTypeNormalMessage || type == disk::kNidTypeAttachment ||
                      type == disk::kNidTypeAssocMessage;
    if (!item) f.nodes.insert(Named("NID type", type));
    if (type == disk::kNidTypeInternal || (nid < disk::kNidIpmSubtree && !item)) f.nodes.insert(Named("node", nid));
  }
  for (const auto& [bid, b] : db.blocks()) {
    if (b.cb == 0) f.faults.push_back(Named("zero-byte block", bid));
  }
  auto store = ReadPcNode(db, disk::kNidMessageStore);
  if (!store.ok()) {
    f.faults.push_back(store.status().message());
  } else {
    for (const auto& [id, v] : *store) f.store_tags.insert(uint32_t{id} << 16 | v.type);
    auto password = store->find(0x67FF);
    if (password != store->end() && password->second.data != std::string(4, '\0')) f.faults.push_back("a password is set");
  }
  std::vector<uint32_t> tables(std::begin(kTemplates), std::end(kTemplates));
  for (const auto& [nid, columns] : FixedTables()) tables.push_back(nid);
  for (uint32_t nid : tables) {
    if (const ndb::NodeEntry* n = db.FindNode(nid)) f.tables[nid] = TcColumns(db, *n, f.faults);
  }
  return f;
}

// Every table made from a template keeps the template's columns, types included.
void CheckFolderTables(const ndb::NodeDatabase& db, const Facts& ours, std::vector<std::string>& out) {
  const std::pair<uint8_t, uint32_t> made_from[] = {
      {disk::kNidTypeHierarchyTable, disk::kNidHierarchyTableTemplate},
      {disk::kNidTypeContentsTable, disk::kNidContentsTableTemplate},
      {disk::kNidTypeAssocContentsTable, disk::kNidAssocContentsTableTemplate},
      {disk::kNidTypeSearchContentsTable, disk::kNidSearchContentsTableTemplate}};
  for (const auto& [nid, n] : db.nodes()) {
    for (const auto& [type, tmpl] : made_from) {
      if (NidTypeOf(nid) != type || !ours.tables.count(tmpl)) continue;
      std::vector<std::string> faults;
      const auto columns = TcColumns(db, n, faults);
      for (const auto& c : ours.tables.at(tmpl)) {
        if (!HasTag(columns, c.tag)) {
          out.push_back(Named("table", nid) + " lacks its template's column " + Named("tag", c.tag));
        }
      }
      out.insert(out.end(), faults.begin(), faults.end());
    }
  }
}

// The root lists the IPM subtree, the search root and the spam search folder; the store's
// Inbox bit agrees with the receive-folder table.
void CheckRootAndReceiveFolder(const ndb::NodeDatabase& db, std::vector<std::string>& out) {
  auto root = ReadTcNode(db, disk::MakeNid(disk::NidIndexOf(disk::kNidRootFolder), disk::kNidTypeHierarchyTable));
  if (!root.ok()) return out.push_back(root.status().message());
  std::set<uint32_t> rows;
  for (const auto& r : root->rows) rows.insert(r.id);
  auto store = ReadPcNode(db, disk::kNidMessageStore);
  if (!store.ok()) return out.push_back(store.status().message());
  for (uint16_t id : {uint16_t{0x35E0}, uint16_t{0x35E7}}) {  // the IPM subtree's and the search root's entry IDs
    auto e = store->find(id);
    const uint32_t nid = e != store->end() && e->second.data.size() == 24 ? LoadLe<uint32_t>(e->second.data, 20) : 0;
    if (!rows.count(nid)) out.push_back("the root folder's hierarchy lacks " + Named("folder", nid));
  }
  if (!rows.count(disk::kNidSpamSearchFolder)) out.push_back("the root folder's hierarchy lacks the spam search folder");
  auto receive = ReadTcNode(db, kNidReceiveFolderTable);
  if (!receive.ok()) return out.push_back(receive.status().message());
  const auto mask = store->find(0x35DF);
  const bool inbox_bit = mask != store->end() && (LoadLe<uint32_t>(mask->second.data, 0) & kFolderMaskInbox);
  const int nid_col = receive->ColumnIndex(kTagReceiveFolderNid);
  bool delivers = false;
  for (const auto& r : receive->rows) {
    ltp::Cells cells = ltp::UnpackCells(r.packed, receive->columns.size());
    if (nid_col >= 0 && cells[nid_col]) {
      const uint32_t to = LoadLe<uint32_t>(*cells[nid_col], 0);
      delivers |= to != disk::kNidRootFolder;
      if (!db.FindNode(to)) out.push_back("the receive-folder table names a missing " + Named("folder", to));
    }
  }
  if (inbox_bit != delivers) out.push_back("the valid-folder mask's Inbox bit disagrees with the receive-folder table");
}

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

// Every heap of the store (nodes and their subnodes) against the rules of heap_layout.h.
void CheckHeaps(const ndb::NodeDatabase& db, std::vector<std::string>& faults) {
  std::function<void(uint32_t, uint64_t, uint64_t, const std::string&)> node = [&](uint32_t nid, uint64_t data, uint64_t sub,
                                                                                    const std::string& where) {
    if (data != 0 && disk::NidTypeOf(nid) != disk::kNidTypeLtp) {
      auto leaves = db.DataTreeLeaves(data);
      if (!leaves.ok()) return faults.push_back(leaves.status().message());
      std::vector<std::string> blocks;
      for (uint64_t leaf : *leaves) {
        auto block = db.ReadBlock(leaf);
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
    auto children = db.ReadSubnodes(sub);
    if (!children.ok()) return faults.push_back(children.status().message());
    for (const auto& [child, e] : *children) node(child, e.bid_data, e.bid_sub, where + " subnode " + HexNumber(child));
  };
  for (const auto& [nid, n] : db.nodes()) node(nid, n.bid_data, n.bid_sub, "node " + HexNumber(nid));
}


}  // namespace

std::vector<std::string> OutlookSamples(const std::string& samples_dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(samples_dir + "/pst", ec)) {
    if (e.path().extension() == ".pst" && OpenRead(e.path().string()).ok()) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> LayoutFaults(const std::string& path, const std::vector<std::string>& samples) {
  auto db = OpenRead(path);
  if (!db.ok()) return {db.status().message()};
  const Facts ours = Gather(**db);
  std::vector<std::string> out = ours.faults;
  std::optional<Facts> common;
  for (const std::string& sample : samples) {
    auto sdb = OpenRead(sample);
    if (!sdb.ok()) return {sdb.status().message()};
    Facts f = Gather(**sdb);
    if (!common) {
      common = std::move(f);
      continue;
    }
    std::erase_if(common->nodes, [&](const std::string& n) { return !f.nodes.count(n); });
    std::erase_if(common->store_tags, [&](uint32_t t) { return !f.store_tags.count(t); });
    for (auto& [nid, columns] : common->tables) {
      const auto other = f.tables.find(nid);
      if (other != f.tables.end() && Columns(other->second) == Columns(columns)) continue;
      common->varied.insert(nid);
      std::erase_if(columns, [&](const ltp::TableColumn& c) {
        return other == f.tables.end() || !HasTag(other->second, c.tag);
      });
    }
  }
  if (!common) return {"no Outlook-made store to compare with"};
  for (const std::string& n : common->nodes) {
    const bool undescribed = std::any_of(kUndescribedNodes.begin(), kUndescribedNodes.end(),
                                         [&](uint32_t nid) { return n == Named("node", nid); });
    if (!undescribed && !ours.nodes.count(n)) out.push_back("no " + n);
  }
  for (uint32_t tag : common->store_tags) {
    if (!ours.store_tags.count(tag)) out.push_back("the message store lacks " + Named("property", tag));
  }
  // Tables alike in all of Outlook's stores are alike in ours, cell for cell; of the others
  // (Outlook adds columns as it uses them) ours has the columns all of them have.
  for (const auto& [nid, columns] : common->tables) {
    auto it = ours.tables.find(nid);
    const std::string have = it == ours.tables.end() ? " (none)" : Columns(it->second);
    if (!common->varied.count(nid)) {
      if (have != Columns(columns)) out.push_back(Named("table", nid) + " has columns" + have + ", Outlook's" + Columns(columns));
      continue;
    }
    for (const auto& c : columns) {
      if (it == ours.tables.end() || !HasTag(it->second, c.tag)) out.push_back(Named("table", nid) + " lacks " + Named("column", c.tag));
    }
  }
  CheckFolderTables(**db, ours, out);
  CheckRootAndReceiveFolder(**db, out);
  CheckHeaps(**db, out);
  return out;
}

}  // namespace baleport::pst::testing
