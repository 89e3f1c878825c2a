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

std::string Named(const char* what, uint64_t v) { return std::string(what) + " " + HexNumber(v); }

// A table's TCINFO columns: "tag@offset/size/bit" in their order, and their tags.
struct Columns {
  std::string text;
  std::set<uint32_t> tags;
};

Columns TcColumns(const ndb::NodeDatabase& db, const ndb::NodeEntry& n, std::vector<std::string>& faults) {
  auto heap = ReadHeap(db, n.bid_data, Named("node", n.nid));
  auto info = heap.ok() ? heap->Get(heap->user_root()) : Result<std::string_view>(heap.status());
  auto tc = info.ok() ? ltp::ParseTcInfo(*info, heap->where()) : Result<ltp::TcInfo>(info.status());
  if (!tc.ok()) return faults.push_back(tc.status().message()), Columns{};
  Columns out;
  for (const auto& c : tc->columns) {
    out.text += " " + Hex(c.tag, 1) + "@" + std::to_string(c.offset) + "/" + std::to_string(c.size) + "/" + std::to_string(c.bit);
    out.tags.insert(c.tag);
  }
  return out;
}

Result<std::unique_ptr<ndb::NodeDatabase>> OpenRead(const std::string& path) {
  auto file = Env::Default()->OpenForRead(path);
  if (!file.ok()) return file.status();
  return ndb::NodeDatabase::Open(std::move(*file));
}

// What a store holds that does not depend on what was put in it.
struct Facts {
  std::set<std::string> nodes;  // fixed nodes and NID types
  std::set<uint32_t> store_tags;
  std::map<uint32_t, Columns> tables;  // templates and fixed tables
  std::set<uint32_t> varied;           // tables whose columns differ between Outlook's stores
  std::vector<std::string> faults;     // found while reading
};

// The templates, and the tables made from each (by NID type).
const std::pair<uint32_t, uint8_t> kTemplates[] = {
    {disk::kNidHierarchyTableTemplate, disk::kNidTypeHierarchyTable},
    {disk::kNidContentsTableTemplate, disk::kNidTypeContentsTable},
    {disk::kNidAssocContentsTableTemplate, disk::kNidTypeAssocContentsTable},
    {disk::kNidSearchContentsTableTemplate, disk::kNidTypeSearchContentsTable},
    {disk::kNidAttachmentTable, 0},
    {disk::kNidRecipientTable, 0}};

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
  if (!store.ok()) return f.faults.push_back(store.status().message()), f;
  for (const auto& [id, v] : *store) f.store_tags.insert(uint32_t{id} << 16 | v.type);
  auto password = store->find(0x67FF);
  if (password != store->end() && password->second.data != std::string(4, '\0')) f.faults.push_back("a password is set");
  std::vector<uint32_t> tables;
  for (const auto& [nid, type] : kTemplates) tables.push_back(nid);
  for (const auto& [nid, columns] : FixedTables()) tables.push_back(nid);
  for (uint32_t nid : tables) {
    if (const ndb::NodeEntry* n = db.FindNode(nid)) f.tables[nid] = TcColumns(db, *n, f.faults);
  }
  return f;
}

// Every table made from a template keeps its columns; the store's Inbox bit agrees with the
// receive-folder table, which names folders that exist.
void CheckTablesAndReceiveFolder(const ndb::NodeDatabase& db, const Facts& ours, std::vector<std::string>& out) {
  for (const auto& [nid, n] : db.nodes()) {
    for (const auto& [tmpl, type] : kTemplates) {
      if (type == 0 || NidTypeOf(nid) != type || !ours.tables.count(tmpl)) continue;
      const Columns columns = TcColumns(db, n, out);
      for (uint32_t tag : ours.tables.at(tmpl).tags) {
        if (!columns.tags.count(tag)) out.push_back(Named("table", nid) + " lacks its template's column " + Named("tag", tag));
      }
    }
  }
  auto store = ReadPcNode(db, disk::kNidMessageStore);
  auto receive = ReadTcNode(db, kNidReceiveFolderTable);
  if (!store.ok() || !receive.ok()) return out.push_back((store.ok() ? receive.status() : store.status()).message());
  const auto mask = store->find(0x35DF);
  const bool inbox_bit = mask != store->end() && (LoadLe<uint32_t>(mask->second.data, 0) & kFolderMaskInbox);
  const int nid_col = receive->ColumnIndex(kTagReceiveFolderNid);
  bool delivers = false;
  for (const auto& r : receive->rows) {
    ltp::Cells cells = ltp::UnpackCells(r.packed, receive->columns.size());
    if (nid_col < 0 || !cells[nid_col]) continue;
    const uint32_t to = LoadLe<uint32_t>(*cells[nid_col], 0);
    delivers |= to != disk::kNidRootFolder;
    if (!db.FindNode(to)) out.push_back("the receive-folder table names a missing " + Named("folder", to));
  }
  if (inbox_bit != delivers) out.push_back("the valid-folder mask's Inbox bit disagrees with the receive-folder table");
}

// The items of the BTH whose header is at `header`: index items before their children, the
// leftmost first; the second of each pair is the item's level (0 for leaves).
std::vector<std::pair<uint32_t, int>> BthItems(const RawHeap& heap, uint32_t header) {
  const std::string_view h = heap.Item(header);
  std::vector<std::pair<uint32_t, int>> out;
  if (h.size() != 8 || static_cast<uint8_t>(h[0]) != 0xB5) return out;
  const size_t key = static_cast<uint8_t>(h[1]);
  std::function<void(uint32_t, int)> walk = [&](uint32_t hid, int level) {
    if (hid == 0) return;
    out.emplace_back(hid, level);
    const std::string_view item = heap.Item(hid);
    for (size_t off = 0; level > 0 && off + key + 4 <= item.size(); off += key + 4) {
      walk(LoadLe<uint32_t>(item.data() + off + key), level - 1);
    }
  };
  walk(LoadLe<uint32_t>(h.data() + 4), static_cast<uint8_t>(h[3]));
  return out;
}

// What breaks the allocation order of one heap (pst/README.md, "Heap layout").
std::vector<std::string> OrderFaults(const RawHeap& heap) {
  const bool pc = heap.client_sig() == 0xBC;
  if (!pc && heap.client_sig() != 0x7C) return {};
  if (heap.user_root() != (pc ? 0x20u : 0x40u)) return {"user root at " + HexNumber(heap.user_root())};
  const auto items = BthItems(heap, 0x20);
  if (items.empty()) return {};
  const auto leaf = std::find_if(items.begin(), items.end(), [](const auto& i) { return i.second == 0; });
  const uint32_t leftmost = leaf == items.end() ? 0 : leaf->first;
  auto in_bth = [&](uint32_t hid) { return std::any_of(items.begin(), items.end(), [&](const auto& i) { return i.first == hid; }); };
  std::vector<std::string> faults;
  if (pc) {
    // Outlook allocates an item's message class (0x001A) before its records, and the records
    // before the values.
    const std::string_view records = heap.Item(leftmost);
    uint32_t class_hid = 0;
    for (size_t off = 0; off + 8 <= records.size(); off += 8) {
      if (LoadLe<uint16_t>(records.data() + off) == 0x001A) class_hid = LoadLe<uint32_t>(records.data() + off + 4);
    }
    if (leftmost != 0x40 && !(leftmost == 0x60 && class_hid == 0x40)) faults.push_back("first records at " + HexNumber(leftmost));
    const uint32_t last = std::max_element(items.begin(), items.end())->first;
    for (const auto& [hid, bytes] : heap.items()) {
      if (hid < last && hid != 0x20 && hid != class_hid && !in_bth(hid) && !bytes.empty()) {
        faults.push_back("value " + HexNumber(hid) + " before the records at " + HexNumber(last));
      }
    }
    return faults;
  }
  auto info = ltp::ParseTcInfo(heap.Item(0x40), "table");
  if (!info.ok()) return {info.status().message()};
  if (info->hid_row_index != 0x20) faults.push_back("row index at " + HexNumber(info->hid_row_index));
  // A table kept whole in its heap: its index, then its rows, then its cells. One with its rows
  // in a subnode may have had rows appended, its index records moved to the heap's end.
  if (info->hnid_rows == 0 || !ltp::IsHid(info->hnid_rows)) return faults;
  if (leftmost != 0x60) faults.push_back("first index records at " + HexNumber(leftmost));
  for (const auto& [hid, bytes] : heap.items()) {
    if ((hid < info->hnid_rows) != (hid <= 0x40 || in_bth(hid)) && !bytes.empty()) {
      faults.push_back("item " + HexNumber(hid) + " on the wrong side of the row matrix");
    }
  }
  return faults;
}

// Every heap of the store (nodes and their subnodes) against the rules of heap_layout.h.
void CheckHeaps(const ndb::NodeDatabase& db, std::vector<std::string>& faults) {
  std::function<void(uint32_t, uint64_t, uint64_t, const std::string&)> node = [&](uint32_t nid, uint64_t data, uint64_t sub,
                                                                                    const std::string& where) {
    if (data != 0 && NidTypeOf(nid) != disk::kNidTypeLtp) {
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
      const Columns other = f.tables.count(nid) ? f.tables.at(nid) : Columns{};
      if (other.text == columns.text) continue;
      common->varied.insert(nid);
      std::erase_if(columns.tags, [&](uint32_t tag) { return !other.tags.count(tag); });
    }
  }
  if (!common) return {"no Outlook-made store to compare with"};
  // 0xE01 and 0xE41 are in all of Outlook's stores, but no format describes what they hold.
  common->nodes.erase(Named("node", 0xE01));
  common->nodes.erase(Named("node", 0xE41));
  for (const std::string& n : common->nodes) {
    if (!ours.nodes.count(n)) out.push_back("no " + n);
  }
  for (uint32_t tag : common->store_tags) {
    if (!ours.store_tags.count(tag)) out.push_back("the message store lacks " + Named("property", tag));
  }
  // Tables alike in all of Outlook's stores are alike in ours, cell for cell; of the others
  // (Outlook adds columns as it uses them) ours has the columns all of them have.
  for (const auto& [nid, columns] : common->tables) {
    const Columns have = ours.tables.count(nid) ? ours.tables.at(nid) : Columns{" (none)", {}};
    if (!common->varied.count(nid)) {
      if (have.text != columns.text) out.push_back(Named("table", nid) + " has columns" + have.text + ", Outlook's" + columns.text);
      continue;
    }
    for (uint32_t tag : columns.tags) {
      if (!have.tags.count(tag)) out.push_back(Named("table", nid) + " lacks " + Named("column", tag));
    }
  }
  CheckTablesAndReceiveFolder(**db, ours, out);
  CheckHeaps(**db, out);
  return out;
}

}  // namespace baleport::pst::testing
