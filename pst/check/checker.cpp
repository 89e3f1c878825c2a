#include "pst/check/checker.h"

#include <cstring>
#include <map>
#include <set>

#include "mapi/tags.h"
#include "pst/disk/crc.h"
#include "pst/disk/layout.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/schema.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/space_map.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::pst {

using namespace disk;
using namespace mapi::tags;

namespace {

class Checker {
 public:
  Checker(ndb::NodeDatabase& db, CheckReport& r) : db_(db), r_(r) {}

  void Run() {
    CheckFileAndMaps();
    CheckBlocksAndReferences();
    CheckNodes();
    CheckFolders();
    CheckStoreObject();
  }

 private:
  void Error(const std::string& s) { r_.errors.push_back(s); }
  void Warn(const std::string& s) { r_.warnings.push_back(s); }

  void CheckFileAndMaps() {
    const HEADER& h = db_.header();
    if (db_.file_size() > h.root.ibFileEof) Warn("the file is longer than its header says (an interrupted growth)");
    const uint64_t sections = (h.root.ibFileEof - kFirstAMapOffset) / kSectionSize;
    // What is really in use: map pages, B-tree pages, blocks.
    std::vector<uint8_t> used(sections * kSlotsPerSection, 0);
    auto mark = [&](uint64_t ib, uint64_t size, const std::string& what) {
      for (uint64_t s = (ib - kFirstAMapOffset) / kSlotSize; s < (ib - kFirstAMapOffset + size) / kSlotSize; ++s) {
        if (s >= used.size()) return Error(what + " lies outside the file");
        if (used[s]) return Error(what + " overlaps other data");
        used[s] = 1;
      }
    };
    uint8_t page[kPageSize];
    for (uint64_t k = 0; k < sections; ++k) {
      const uint64_t ib = ndb::SpaceMap::AMapOffset(k);
      mark(ib, uint64_t{kPageSize} * ndb::SpaceMap::MapPagesIn(k), "map pages of section " + std::to_string(k));
      auto check_map = [&](uint64_t at, uint8_t ptype, const char* name) {
        if (!db_.file()->Read(at, page, kPageSize).ok()) return Error(std::string(name) + " at " + std::to_string(at) + " cannot be read");
        PAGETRAILER t;
        std::memcpy(&t, page + kPageDataSize, sizeof t);
        if (t.ptype != ptype || t.ptypeRepeat != ptype || t.wSig != 0 || t.bid != at || Crc(page, kPageDataSize) != t.dwCRC) {
          Error(std::string(name) + " at " + std::to_string(at) + " has a bad trailer or checksum");
        }
      };
      if (ndb::SpaceMap::HasPMap(k)) check_map(ib + kPageSize, kPtypePMap, "PMap");
      if (ndb::SpaceMap::HasFMap(k)) check_map(ib + 2 * kPageSize, kPtypeFMap, "FMap");
      if (ndb::SpaceMap::HasFPMap(k)) check_map(ib + 2 * kPageSize, kPtypeFPMap, "FPMap");
    }
    for (uint64_t ib : db_.tree_pages()) mark(ib, kPageSize, "B-tree page at " + std::to_string(ib));
    for (const auto& [bid, b] : db_.blocks()) mark(b.ib, BlockDiskSize(b.cb), "block " + HexNumber(bid));
    if (h.root.fAMapValid == kInvalidAMap) {
      // Outlook 2013 leaves the flag clear; the maps are then rebuilt before any write.
      Warn("the allocation maps are marked invalid and will be rebuilt when the store is written");
      return;
    }
    uint64_t free_slots = 0;
    for (uint64_t k = 0; k < sections; ++k) {
      const uint64_t ib = ndb::SpaceMap::AMapOffset(k);
      if (!db_.file()->Read(ib, page, kPageSize).ok()) {
        Error("AMap " + std::to_string(k) + " cannot be read");
        continue;
      }
      PAGETRAILER t;
      std::memcpy(&t, page + kPageDataSize, sizeof t);
      if (t.ptype != kPtypeAMap || t.ptypeRepeat != kPtypeAMap || t.wSig != 0 || t.bid != ib || Crc(page, kPageDataSize) != t.dwCRC) {
        Error("AMap " + std::to_string(k) + " has a bad trailer or checksum");
        continue;
      }
      uint64_t leaked = 0;
      for (uint32_t s = 0; s < kSlotsPerSection; ++s) {
        const bool bit = (page[s / 8] & (0x80 >> (s % 8))) != 0;
        const bool in_use = used[k * kSlotsPerSection + s] != 0;
        if (!bit) ++free_slots;
        if (in_use && !bit) {
          Error("AMap " + std::to_string(k) + " marks slot " + std::to_string(s) + " free though it is in use");
          break;
        }
        if (bit && !in_use) ++leaked;
      }
      if (leaked) Warn("AMap " + std::to_string(k) + " holds " + std::to_string(leaked * kSlotSize) + " bytes no structure uses");
    }
    if (h.root.cbAMapFree > free_slots * kSlotSize) {
      Error("the header claims " + std::to_string(h.root.cbAMapFree) + " free bytes, the AMaps hold " + std::to_string(free_slots * kSlotSize));
    } else if (h.root.cbAMapFree < free_slots * kSlotSize) {
      Warn("the header under-reports free space (an interrupted release)");
    }
    if (h.root.cbPMapFree != 0) Warn("cbPMapFree is not zero");
    // The density list only steers allocation; a bad one is ignored by readers.
    DLISTPAGE dl;
    if (db_.file()->Read(kDListOffset, &dl, sizeof dl).ok() &&
        Crc(&dl, kPageDataSize) == dl.pageTrailer.dwCRC && dl.pageTrailer.ptype == kPtypeDL) {
      if (dl.cEntDList > 119) Error("the density list has too many entries");
    } else {
      Warn("the density list is missing or invalid");
    }
  }

  void CheckBlocksAndReferences() {
    const auto& blocks = db_.blocks();
    r_.blocks = blocks.size();
    std::map<uint64_t, uint32_t> refs;
    std::set<uint64_t> expanded;
    std::vector<uint64_t> work;
    auto ref = [&](uint64_t bid, const std::string& from) {
      if (bid == 0) return;
      if (!db_.FindBlock(bid)) return Error(from + " names block " + HexNumber(bid) + ", which does not exist");
      ++refs[bid & ~uint64_t{1}];
      if (bid & kBidInternal) work.push_back(bid & ~uint64_t{1});
    };
    for (const auto& [nid, n] : db_.nodes()) {
      ref(n.bid_data, "node " + HexNumber(nid));
      ref(n.bid_sub, "node " + HexNumber(nid));
    }
    while (!work.empty()) {
      uint64_t bid = work.back();
      work.pop_back();
      if (!expanded.insert(bid).second) continue;
      auto data = db_.ReadBlock(bid);
      if (!data.ok()) {
        Error(data.status().message());
        continue;
      }
      const std::string& d = *data;
      if (d.size() < 8) {
        Error("internal block " + HexNumber(bid) + " is truncated");
        continue;
      }
      const uint8_t btype = static_cast<uint8_t>(d[0]), level = static_cast<uint8_t>(d[1]);
      const uint16_t n = LoadLe<uint16_t>(d.data() + 2);
      const std::string from = "block " + HexNumber(bid);
      if (btype == 0x01 && (level == 1 || level == 2) && 8 + n * 8u <= d.size()) {
        for (uint32_t i = 0; i < n; ++i) ref(LoadLe<uint64_t>(d.data() + 8 + 8 * i), from);
      } else if (btype == 0x02 && level == 0 && n > 0 && 8 + n * 24u <= d.size()) {
        uint32_t prev = 0;
        for (uint32_t i = 0; i < n; ++i) {
          const char* e = d.data() + 8 + 24 * i;
          // NIDs are 32 bits; Outlook leaves junk in the upper half of the 8-byte slot.
          const uint32_t nid = LoadLe<uint32_t>(e);
          if (i > 0 && nid <= prev) Error(from + " lists subnodes out of order");
          prev = nid;
          ref(LoadLe<uint64_t>(e + 8), from);
          ref(LoadLe<uint64_t>(e + 16), from);
        }
      } else if (btype == 0x02 && level == 1 && n > 0 && 8 + n * 16u <= d.size()) {
        for (uint32_t i = 0; i < n; ++i) ref(LoadLe<uint64_t>(d.data() + 8 + 16 * i + 8), from);
      } else {
        Error(from + " is an internal block of no known kind");
      }
    }
    uint64_t max_bid = 0;
    for (const auto& [bid, b] : blocks) {
      max_bid = std::max(max_bid, bid);
      if (!(bid & kBidInternal) && !expanded.count(bid)) {
        auto d = db_.ReadBlock(bid);  // trailer, signature and CRC
        if (!d.ok()) Error(d.status().message());
      }
      const uint32_t found = refs.count(bid) ? refs[bid] : 0;
      if (found == 0) {
        Warn("block " + HexNumber(bid) + " is referenced by nothing (leaked)");
      } else if (b.cref < 2 || found > b.cref - 1u) {
        Error("block " + HexNumber(bid) + " has " + std::to_string(found) + " holders but a reference count of " + std::to_string(b.cref));
      } else if (found < b.cref - 1u) {
        Warn("block " + HexNumber(bid) + " counts more holders than it has");
      }
    }
    if (db_.header().bidNextB <= max_bid) Error("the header's next block id is not above every block id");
  }

  void CheckNodes() {
    r_.nodes = db_.nodes().size();
    for (uint32_t nid : {kNidMessageStore, kNidNameToIdMap, kNidRootFolder, kNidHierarchyTableTemplate, kNidContentsTableTemplate,
                         kNidAssocContentsTableTemplate, kNidSearchContentsTableTemplate, kNidAttachmentTable, kNidRecipientTable}) {
      if (!db_.FindNode(nid)) Error("mandatory node " + HexNumber(nid) + " is missing");
    }
    for (const auto& [nid, n] : db_.nodes()) {
      const uint8_t type = NidTypeOf(nid);
      if (type == kNidTypeNormalFolder) {
        ++r_.folders;
        for (uint8_t t : {kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable}) {
          if (!db_.FindNode(MakeNid(NidIndexOf(nid), t))) Error("folder " + HexNumber(nid) + " lacks its table of type " + HexNumber(t));
        }
      }
      if (type == kNidTypeNormalFolder || type == kNidTypeNormalMessage) {
        const ndb::NodeEntry* parent = db_.FindNode(n.nid_parent);
        if (!parent || NidTypeOf(n.nid_parent) != kNidTypeNormalFolder) Error("node " + HexNumber(nid) + " has no parent folder " + HexNumber(n.nid_parent));
      }
      if (type == kNidTypeNormalMessage) {
        ++r_.messages;
        CheckMessage(NodeStreams{n.bid_data, n.bid_sub}, "item " + HexNumber(nid), 0);
      }
      if (type == kNidTypeHierarchyTable || type == kNidTypeContentsTable || type == kNidTypeAssocContentsTable) {
        auto t = ReadTc(db_, NodeStreams{n.bid_data, n.bid_sub}, "table " + HexNumber(nid));
        if (!t.ok()) Error(t.status().message());
      }
    }
  }

  void CheckMessage(NodeStreams m, const std::string& what, int depth) {
    if (depth > 4) return Error(what + " nests embedded messages too deep");
    auto pc = ReadPc(db_, m, what);
    if (!pc.ok()) return Error(pc.status().message());
    for (uint16_t id : {mapi::TagId(kMessageClass), mapi::TagId(kMessageFlags), mapi::TagId(kMessageSize)}) {
      if (!pc->count(id)) Error(what + " lacks required property " + HexNumber(id));
    }
    auto subs = db_.ReadSubnodes(m.bid_sub);
    if (!subs.ok()) return Error(subs.status().message());
    // A recipient table is optional: Outlook leaves it out of items without recipients.
    std::set<uint32_t> attachments;
    for (const auto& [nid, e] : *subs) {
      if (NidTypeOf(nid) == kNidTypeAttachment) attachments.insert(nid);
    }
    const uint32_t flags = pc->count(mapi::TagId(kMessageFlags)) ? LoadLe<uint32_t>((*pc)[mapi::TagId(kMessageFlags)].data, 0) : 0;
    auto at = subs->find(kNidAttachmentTable);
    if (((flags & 0x10) != 0) != (at != subs->end())) Error(what + " has its attachment flag out of step with its attachments");
    for (uint32_t table : {kNidRecipientTable, kNidAttachmentTable}) {
      auto it = subs->find(table);
      if (it == subs->end()) continue;
      auto t = ReadTc(db_, NodeStreams{it->second.bid_data, it->second.bid_sub}, what + " table " + HexNumber(table));
      if (!t.ok()) {
        Error(t.status().message());
        continue;
      }
      if (table != kNidAttachmentTable) continue;
      std::set<uint32_t> rows;
      for (const auto& r : t->rows) rows.insert(r.id);
      if (rows != attachments) Error(what + ": attachment table rows and attachments differ");
    }
    for (uint32_t a : attachments) {
      const auto& e = subs->at(a);
      const std::string aw = what + " attachment " + HexNumber(a);
      auto apc = ReadPc(db_, NodeStreams{e.bid_data, e.bid_sub}, aw);
      if (!apc.ok()) {
        Error(apc.status().message());
        continue;
      }
      auto obj = apc->find(mapi::TagId(kAttachDataObject));
      if (obj == apc->end() || obj->second.type != 0x000D) continue;
      // Method 5 holds a message; any other method (6, an OLE storage) holds plain bytes.
      auto method = apc->find(mapi::TagId(kAttachMethod));
      const bool message = method != apc->end() && method->second.data.size() == 4 && LoadLe<uint32_t>(method->second.data, 0) == 5;
      const std::string object = message ? "an embedded message" : "a data object";
      if (obj->second.data.size() != 8) {
        Error(aw + " has a bad reference to " + object);
        continue;
      }
      auto asubs = db_.ReadSubnodes(e.bid_sub);
      const uint32_t inner = LoadLe<uint32_t>(obj->second.data, 0);
      if (!asubs.ok() || !asubs->count(inner)) {
        Error(aw + " names " + object + " that is missing");
        continue;
      }
      const auto& ie = asubs->at(inner);
      if (!message) {
        auto leaves = db_.DataTreeLeaves(ie.bid_data);
        if (!leaves.ok()) Error(aw + " data object: " + leaves.status().message());
        continue;
      }
      CheckMessage(NodeStreams{ie.bid_data, ie.bid_sub}, aw + " embedded message", depth + 1);
    }
  }

  static std::optional<std::string> Cell(const ltp::Table& t, const ltp::TableRow& r, mapi::PropTag tag) {
    int c = t.ColumnIndex(tag);
    if (c < 0) return std::nullopt;
    return ltp::UnpackCells(r.packed, t.columns.size())[c];
  }

  void CheckFolders() {
    std::map<uint32_t, std::set<uint32_t>> subfolders, items;
    for (const auto& [nid, n] : db_.nodes()) {
      const uint8_t type = NidTypeOf(nid);
      if ((type == kNidTypeNormalFolder || type == kNidTypeSearchFolder) && nid != kNidRootFolder) subfolders[n.nid_parent].insert(nid);
      if (type == kNidTypeNormalMessage) items[n.nid_parent].insert(nid);
    }
    std::map<uint32_t, ltp::PropertyMap> pcs;
    for (const auto& [nid, n] : db_.nodes()) {
      if (NidTypeOf(nid) != kNidTypeNormalFolder) continue;
      const std::string what = "folder " + HexNumber(nid);
      auto pc = ReadPcNode(db_, nid);
      auto hier = ReadTcNode(db_, MakeNid(NidIndexOf(nid), kNidTypeHierarchyTable));
      auto contents = ReadTcNode(db_, MakeNid(NidIndexOf(nid), kNidTypeContentsTable));
      if (!pc.ok() || !hier.ok() || !contents.ok()) {
        Error(what + " cannot be read: " + (!pc.ok() ? pc.status() : !hier.ok() ? hier.status() : contents.status()).message());
        continue;
      }
      pcs[nid] = *pc;
      std::set<uint32_t> hrows, crows;
      for (const auto& r : hier->rows) hrows.insert(r.id);
      for (const auto& r : contents->rows) crows.insert(r.id);
      if (hrows != subfolders[nid]) Error(what + ": hierarchy table rows differ from its subfolders");
      if (crows != items[nid]) Error(what + ": contents table rows differ from its items");
      auto int_prop = [&](mapi::PropTag tag) -> int64_t {
        auto it = pc->find(mapi::TagId(tag));
        return it == pc->end() || it->second.data.size() != 4 ? int64_t{-1} : int64_t{LoadLe<uint32_t>(it->second.data, 0)};
      };
      const int64_t hidden = std::max<int64_t>(0, int_prop(kPstHiddenCount));
      if (int_prop(kContentCount) - hidden != static_cast<int64_t>(crows.size())) {
        Error(what + ": its item count " + std::to_string(int_prop(kContentCount)) + " differs from its " +
              std::to_string(crows.size()) + " items");
      }
      int64_t unread = 0;
      for (const auto& r : contents->rows) {
        auto f = Cell(*contents, r, kMessageFlags);
        if (!f || f->size() != 4 || !(LoadLe<uint32_t>(*f, 0) & 1)) ++unread;
      }
      if (int_prop(kContentUnread) - std::max<int64_t>(0, int_prop(kPstHiddenUnread)) != unread) {
        Error(what + ": its unread count differs from its unread items");
      }
      auto sub = pc->find(mapi::TagId(kSubfolders));
      const bool has_sub = sub != pc->end() && !sub->second.data.empty() && sub->second.data[0] != 0;
      if (has_sub != !hrows.empty()) Error(what + ": PR_SUBFOLDERS is out of step with its subfolders");
    }
    // Each folder's row in its parent repeats its name and counts.
    for (const auto& [nid, pc] : pcs) {
      if (nid == kNidRootFolder) continue;
      const ndb::NodeEntry* n = db_.FindNode(nid);
      auto hier = ReadTcNode(db_, MakeNid(NidIndexOf(n->nid_parent), kNidTypeHierarchyTable));
      if (!hier.ok()) continue;
      for (const auto& r : hier->rows) {
        if (r.id != nid) continue;
        for (mapi::PropTag tag : {kDisplayName, kContentCount, kContentUnread, kSubfolders}) {
          auto cell = Cell(*hier, r, tag);
          auto it = pc.find(mapi::TagId(tag));
          if (cell && it != pc.end() && *cell != it->second.data) {
            Error("folder " + HexNumber(nid) + ": its row in the parent's hierarchy table is stale (" + HexNumber(tag) + ")");
          }
        }
      }
    }
  }

  void CheckStoreObject() {
    auto pc = ReadPcNode(db_, kNidMessageStore);
    if (!pc.ok()) return Error(pc.status().message());
    for (mapi::PropTag tag : {kRecordKey, kDisplayName, kIpmSubTreeEntryId, kIpmWastebasketEntryId, kFinderEntryId}) {
      if (!pc->count(mapi::TagId(tag))) Error("the message store lacks property " + HexNumber(tag));
    }
    auto key = pc->find(mapi::TagId(kRecordKey));
    if (key == pc->end() || key->second.data.size() != 16) return;
    std::array<uint8_t, 16> rk;
    std::memcpy(rk.data(), key->second.data.data(), 16);
    for (mapi::PropTag tag : {kIpmSubTreeEntryId, kIpmWastebasketEntryId, kFinderEntryId, kIpmSentMailEntryId, kIpmOutboxEntryId}) {
      auto it = pc->find(mapi::TagId(tag));
      if (it == pc->end()) continue;
      uint32_t nid = EntryIdNid(rk, it->second.data);
      if (!nid || !db_.FindNode(nid)) Error("the message store's entry id " + HexNumber(tag) + " names no folder of this store");
    }
    auto names = ReadPcNode(db_, kNidNameToIdMap);
    if (!names.ok()) return Error(names.status().message());
    if (!names->count(0x0001)) Error("the named-property map has no bucket count");
  }

  ndb::NodeDatabase& db_;
  CheckReport& r_;
};

}  // namespace

std::string CheckReport::Summary() const {
  std::string s;
  for (const auto& e : errors) s += "error: " + e + "\n";
  for (const auto& w : warnings) s += "warning: " + w + "\n";
  return s;
}

CheckReport CheckStore(Env* env, const std::string& path) {
  CheckReport r;
  auto file = env->OpenForRead(path);
  if (!file.ok()) {
    r.errors.push_back(file.status().message());
    return r;
  }
  auto db = ndb::NodeDatabase::Open(std::move(*file));
  if (!db.ok()) {
    r.errors.push_back(db.status().message());
    return r;
  }
  Checker(**db, r).Run();
  return r;
}

}  // namespace baleport::pst
