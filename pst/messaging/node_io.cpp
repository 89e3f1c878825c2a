#include "pst/messaging/node_io.h"

#include <cstdio>
#include <cstring>

#include "pst/disk/bytes.h"

namespace baleport::pst {

namespace {

std::string NodeName(uint32_t nid) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "node 0x%X", nid);
  return buf;
}

ltp::SubnodeSource SourceFor(const ndb::NodeDatabase& db, const ndb::SubnodeMap& subs) {
  return [&db, &subs](uint32_t nid) -> Result<std::string> {
    auto it = subs.find(nid);
    if (it == subs.end()) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%X", nid);
      return db.Corrupt(std::string("subnode ") + buf + " is referenced but missing");
    }
    return db.ReadStream(it->second.bid_data);
  };
}

}  // namespace

Result<ltp::Heap> ReadHeap(const ndb::NodeDatabase& db, uint64_t bid_data, const std::string& where) {
  auto leaves = db.DataTreeLeaves(bid_data);
  if (!leaves.ok()) return leaves.status();
  std::vector<std::string> blocks;
  for (uint64_t bid : *leaves) {
    auto b = db.ReadBlock(bid);
    if (!b.ok()) return b.status();
    blocks.push_back(std::move(*b));
  }
  return ltp::Heap::Parse(std::move(blocks), db.path() + ", " + where);
}

Result<ltp::PropertyMap> ReadPc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where) {
  auto heap = ReadHeap(db, node.bid_data, where);
  if (!heap.ok()) return heap.status();
  auto subs = db.ReadSubnodes(node.bid_sub);
  if (!subs.ok()) return subs.status();
  return ltp::ReadPropertyContext(*heap, SourceFor(db, *subs));
}

Result<ltp::Table> ReadTc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where) {
  auto heap = ReadHeap(db, node.bid_data, where);
  if (!heap.ok()) return heap.status();
  auto subs = db.ReadSubnodes(node.bid_sub);
  if (!subs.ok()) return subs.status();
  return ltp::ReadTableContext(*heap, SourceFor(db, *subs));
}

Result<ltp::PropertyMap> ReadPcNode(const ndb::NodeDatabase& db, uint32_t nid) {
  const ndb::NodeEntry* n = db.FindNode(nid);
  if (!n) return db.Corrupt(NodeName(nid) + " is missing");
  return ReadPc(db, NodeStreams{n->bid_data, n->bid_sub}, NodeName(nid));
}

Result<ltp::Table> ReadTcNode(const ndb::NodeDatabase& db, uint32_t nid) {
  const ndb::NodeEntry* n = db.FindNode(nid);
  if (!n) return db.Corrupt(NodeName(nid) + " is missing");
  return ReadTc(db, NodeStreams{n->bid_data, n->bid_sub}, NodeName(nid));
}

namespace {

void ReuseLeaves(const ndb::NodeDatabase& db, uint64_t previous, ndb::StreamWriter& w) {
  if (previous == 0) return;
  auto leaves = db.DataTreeLeaves(previous);
  if (leaves.ok()) w.ReuseFrom(std::move(*leaves));
}

}  // namespace

Result<uint64_t> WriteHeapStream(ndb::NodeDatabase* db, const std::vector<std::string>& blocks, uint64_t previous) {
  ndb::StreamWriter w(db);
  ReuseLeaves(*db, previous, w);
  for (const auto& b : blocks) BALEPORT_RETURN_IF_ERROR(w.AppendBlock(b));
  return w.Finish();
}

SubnodeSet::~SubnodeSet() {
  if (finished_) return;
  for (const auto& [nid, e] : entries_) {
    if (e.bid_data) (void)db_->Release(e.bid_data);
    if (e.bid_sub) (void)db_->Release(e.bid_sub);
  }
}

uint32_t SubnodeSet::NewNid(uint8_t nid_type) {
  for (;;) {
    uint32_t nid = disk::MakeNid(next_index_++, nid_type);
    if (!entries_.count(nid)) return nid;
  }
}

Result<uint32_t> SubnodeSet::PutStream(std::string_view data) {
  const uint32_t nid = NewNid(disk::kNidTypeLtp);
  ndb::StreamWriter w(db_);
  if (auto old = previous_.find(nid); old != previous_.end()) ReuseLeaves(*db_, old->second.bid_data, w);
  BALEPORT_RETURN_IF_ERROR(w.Write(data));
  auto bid = w.Finish();
  if (!bid.ok()) return bid.status();
  entries_[nid] = ndb::SubnodeEntry{*bid, 0};
  return nid;
}

Result<uint64_t> SubnodeSet::Finish() {
  auto bid = db_->WriteSubnodes(entries_);
  if (bid.ok()) finished_ = true;
  return bid;
}

namespace {

// Writes a node's heap blocks and then its subnodes; a failure leaves neither referenced.
Result<NodeStreams> WriteNode(ndb::NodeDatabase* db, SubnodeSet& subs,
                              const Result<std::vector<std::string>>& blocks, uint64_t previous_data) {
  if (!blocks.ok()) return blocks.status();
  auto data = WriteHeapStream(db, *blocks, previous_data);
  if (!data.ok()) return data.status();
  auto sub = subs.Finish();
  if (!sub.ok()) {
    (void)db->Release(*data);
    return sub.status();
  }
  return NodeStreams{*data, *sub};
}

}  // namespace

Result<NodeStreams> WritePc(ndb::NodeDatabase* db, const ltp::PropertyMap& props) {
  SubnodeSet subs(db);
  return WriteNode(db, subs, ltp::BuildPropertyContext(props, subs.Sink()), 0);
}

Result<NodeStreams> WriteTc(ndb::NodeDatabase* db, const ltp::Table& table, NodeStreams previous) {
  SubnodeSet subs(db);
  if (previous.bid_sub) {
    auto old = db->ReadSubnodes(previous.bid_sub);
    if (old.ok()) subs.ReuseFrom(std::move(*old));
  }
  return WriteNode(db, subs, ltp::BuildTableContext(table, subs.Sink()), previous.bid_data);
}

Status VisitTc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where, const ltp::RowVisitor& row,
               std::vector<ltp::TableColumn>* columns) {
  auto heap = ReadHeap(db, node.bid_data, where);
  if (!heap.ok()) return heap.status();
  auto subs = db.ReadSubnodes(node.bid_sub);
  if (!subs.ok()) return subs.status();
  return ltp::VisitTableRows(*heap, SourceFor(db, *subs), row, columns);
}

namespace {

// References taken while a data tree is written, given back unless the tree is kept.
class TakenBlocks {
 public:
  explicit TakenBlocks(ndb::NodeDatabase* db) : db_(db) {}
  ~TakenBlocks() {
    if (kept_) return;
    for (auto [bid, fresh] : taken_) {
      if (fresh) {
        db_->ForgetBlock(bid);
      } else {
        (void)db_->Release(bid);  // only drops the reference taken here
      }
    }
  }
  void Fresh(uint64_t bid) { taken_.emplace_back(bid, true); }
  void Shared(uint64_t bid) { taken_.emplace_back(bid, false); }
  void Keep() { kept_ = true; }

 private:
  ndb::NodeDatabase* db_;
  std::vector<std::pair<uint64_t, bool>> taken_;
  bool kept_ = false;
};

struct TreeGroup {
  uint64_t xblock = 0;  // the stored XBLOCK over these leaves, if any
  uint32_t size = 0;
  std::vector<std::pair<uint64_t, const std::string*>> leaves;  // stored BID or new payload
  bool changed = false;
};

constexpr uint64_t kBidReserved = 1;  // Outlook's bit in a BID, not part of it

struct XBlock {
  uint8_t level = 0;
  uint32_t size = 0;
  std::vector<uint64_t> children;
};

Result<XBlock> ReadXBlock(const ndb::NodeDatabase& db, uint64_t bid) {
  auto data = db.ReadBlock(bid);
  if (!data.ok()) return data.status();
  disk::XBLOCK_HEADER h;
  if (data->size() < sizeof h) return db.Corrupt("data tree block is truncated");
  std::memcpy(&h, data->data(), sizeof h);
  if (h.btype != 0x01 || h.cLevel < 1 || h.cLevel > 2 || sizeof h + h.cEnt * 8u > data->size()) {
    return db.Corrupt("block is not a valid data tree block");
  }
  XBlock x{h.cLevel, h.lcbTotal, {}};
  for (uint32_t i = 0; i < h.cEnt; ++i) x.children.push_back(disk::Load<uint64_t>(data->data() + sizeof h + i * 8) & ~kBidReserved);
  return x;
}

Result<uint64_t> WriteXBlock(ndb::NodeDatabase* db, uint8_t level, const std::vector<std::pair<uint64_t, uint64_t>>& children,
                             TakenBlocks& taken) {
  std::string blk(sizeof(disk::XBLOCK_HEADER), '\0');
  uint64_t total = 0;
  for (auto [bid, size] : children) {
    disk::Append<uint64_t>(blk, bid);
    total += size;
  }
  if (total > 0xFFFFFFFFull) return Status::Error("a stream of " + std::to_string(total) + " bytes exceeds the 4 GiB a value may hold");
  disk::XBLOCK_HEADER h{0x01, level, static_cast<uint16_t>(children.size()), static_cast<uint32_t>(total)};
  std::memcpy(blk.data(), &h, sizeof h);
  auto bid = db->WriteBlock(blk, true);
  if (bid.ok()) taken.Fresh(*bid);
  return bid;
}

// The leaves of a data tree by XBLOCK, read from the XBLOCKs alone (a stream of thousands
// of blocks is mapped without a look-up per block), unless `shape` already describes it.
Status EnsureShape(const ndb::NodeDatabase& db, uint64_t root, TreeShape& shape) {
  root &= ~kBidReserved;
  if (shape.root == root && !shape.chunks.empty()) return Status::Ok();
  TreeShape read;
  read.root = root;
  if (!(root & disk::kBidInternal)) {
    read.chunks.push_back(TreeShape::Chunk{0, 0, {root}});
    shape = std::move(read);
    return Status::Ok();
  }
  auto top = ReadXBlock(db, root);
  if (!top.ok()) return top.status();
  const std::vector<uint64_t> xblocks = top->level == 1 ? std::vector<uint64_t>{root} : top->children;
  for (uint64_t x : xblocks) {
    auto leaves = x == root ? std::move(top) : ReadXBlock(db, x);
    if (!leaves.ok()) return leaves.status();
    if (leaves->level != 1) return db.Corrupt("a data tree mixes levels");
    read.chunks.push_back(TreeShape::Chunk{x, leaves->size, std::move(leaves->children)});
  }
  shape = std::move(read);
  return Status::Ok();
}

std::vector<uint64_t> Leaves(const TreeShape& shape) {
  std::vector<uint64_t> out;
  for (const auto& c : shape.chunks) out.insert(out.end(), c.leaves.begin(), c.leaves.end());
  return out;
}

// A heap read block by block as the editor asks for them.
struct StoredHeap {
  std::vector<uint64_t> leaves;
  std::optional<ltp::HeapEditor> editor;
};

Result<std::unique_ptr<StoredHeap>> OpenHeap(const ndb::NodeDatabase& db, uint64_t bid_data, const std::string& where,
                                             TreeShape& shape) {
  BALEPORT_RETURN_IF_ERROR(EnsureShape(db, bid_data, shape));
  auto h = std::make_unique<StoredHeap>();
  h->leaves = Leaves(shape);
  StoredHeap* raw = h.get();
  h->editor.emplace(raw->leaves.size(), [&db, raw](size_t i) { return db.ReadBlock(raw->leaves[i]); }, db.path() + ", " + where);
  return h;
}

}  // namespace

Result<uint64_t> PatchStream(ndb::NodeDatabase* db, uint64_t root, const std::map<size_t, std::string>& changes,
                             TreeShape* shape) {
  TreeShape scratch;
  TreeShape& stored = shape ? *shape : scratch;
  BALEPORT_RETURN_IF_ERROR(EnsureShape(*db, root, stored));
  std::vector<TreeGroup> groups;
  for (const auto& c : stored.chunks) {
    TreeGroup g{c.xblock, c.size, {}};
    for (uint64_t leaf : c.leaves) g.leaves.emplace_back(leaf, nullptr);
    groups.push_back(std::move(g));
  }
  size_t count = 0;
  for (const auto& g : groups) count += g.leaves.size();
  // XBLOCKs that are written are cut short, so that the next patch near them (the end of a
  // growing stream, a heap's first block) shares all the others instead of taking a
  // reference to each of up to 1021 leaves.
  const size_t chunk = std::max<size_t>(128, (count + changes.size()) / 1000 + 1);
  size_t group = 0, first = 0;  // changes come in index order
  for (const auto& [index, payload] : changes) {
    if (index < count) {
      while (index >= first + groups[group].leaves.size()) first += groups[group++].leaves.size();
      groups[group].leaves[index - first].second = &payload;
      groups[group].changed = true;
      continue;
    }
    if (index != count) return Status::Error("a stream patch leaves a gap at leaf " + std::to_string(count));
    if (groups.back().leaves.size() >= chunk) groups.push_back(TreeGroup{});
    groups.back().leaves.emplace_back(0, &payload);
    groups.back().changed = true;
    ++count;
  }

  TakenBlocks taken(db);
  auto leaf = [&](const std::pair<uint64_t, const std::string*>& l) -> Result<std::pair<uint64_t, uint64_t>> {
    std::string copy;
    const std::string* payload = l.second;
    if (!payload) {
      const ndb::BlockInfo* info = db->FindBlock(l.first);
      if (!info) return db->Corrupt("a data block of a rewritten stream is missing");
      if (db->AddRef(l.first)) {
        taken.Shared(l.first);
        return std::pair<uint64_t, uint64_t>{l.first, info->cb};
      }
      // Shared as often as its count allows: a copy of its own.
      auto data = db->ReadBlock(l.first);
      if (!data.ok()) return data.status();
      copy = std::move(*data);
      payload = &copy;
    }
    auto bid = db->WriteBlock(*payload, false);
    if (!bid.ok()) return bid.status();
    taken.Fresh(*bid);
    return std::pair<uint64_t, uint64_t>{*bid, payload->size()};
  };
  TreeShape patched;
  if (count == 1) {
    auto only = leaf(groups[0].leaves[0]);
    if (!only.ok()) return only.status();
    taken.Keep();
    patched.root = only->first;
    patched.chunks.push_back(TreeShape::Chunk{0, 0, {only->first}});
    stored = std::move(patched);
    return only->first;
  }
  std::vector<std::pair<uint64_t, uint64_t>> xblocks;  // bid, size
  for (size_t gi = 0; gi < groups.size(); ++gi) {
    const TreeGroup& g = groups[gi];
    if (!g.changed && g.xblock && db->AddRef(g.xblock)) {
      taken.Shared(g.xblock);
      xblocks.emplace_back(g.xblock, g.size);
      patched.chunks.push_back(gi < stored.chunks.size() ? stored.chunks[gi] : TreeShape::Chunk{});
      continue;
    }
    for (size_t at = 0; at < g.leaves.size(); at += chunk) {
      std::vector<std::pair<uint64_t, uint64_t>> leaves;  // bid, size
      uint64_t size = 0;
      for (size_t i = at; i < std::min(g.leaves.size(), at + chunk); ++i) {
        auto written = leaf(g.leaves[i]);
        if (!written.ok()) return written.status();
        leaves.push_back(*written);
        size += written->second;
      }
      auto x = WriteXBlock(db, 1, leaves, taken);
      if (!x.ok()) return x.status();
      xblocks.emplace_back(*x, size);
      TreeShape::Chunk c{*x, static_cast<uint32_t>(size), {}};
      for (auto [bid, n] : leaves) c.leaves.push_back(bid);
      patched.chunks.push_back(std::move(c));
    }
  }
  if (xblocks.size() > disk::kXBlockMaxEntries) return Status::Error("stream too large for a data tree");
  auto result = xblocks.size() == 1 ? Result<uint64_t>(xblocks[0].first) : WriteXBlock(db, 2, xblocks, taken);
  if (!result.ok()) return result;
  taken.Keep();
  patched.root = *result;
  stored = std::move(patched);
  return result;
}

Result<std::optional<std::vector<ltp::TableColumn>>> AppendableTc(const ndb::NodeDatabase& db, NodeStreams node,
                                                                  const std::string& where) {
  TreeShape shape;
  auto heap = OpenHeap(db, node.bid_data, where, shape);
  if (!heap.ok()) return heap.status();
  auto info = ltp::AppendableTable(*(*heap)->editor);
  if (!info.ok()) return info.status();
  if (!*info) return std::optional<std::vector<ltp::TableColumn>>();
  return std::optional<std::vector<ltp::TableColumn>>((*info)->columns);
}

Result<std::optional<NodeStreams>> AppendTc(ndb::NodeDatabase* db, NodeStreams node, const std::vector<ltp::TableRow>& rows,
                                            bool verify, const std::string& where, TableShapes* shapes) {
  const std::optional<NodeStreams> cannot;
  TableShapes scratch;
  TableShapes& known = shapes ? *shapes : scratch;
  auto heap = OpenHeap(*db, node.bid_data, where, known.heap);
  if (!heap.ok()) return heap.status();
  ltp::HeapEditor& editor = *(*heap)->editor;
  auto info = ltp::AppendableTable(editor);
  if (!info.ok()) return info.status();
  if (!*info) return cannot;
  auto subs = db->ReadSubnodes(node.bid_sub);
  if (!subs.ok()) return subs.status();
  auto matrix = subs->find((*info)->hnid_rows);
  if (matrix == subs->end()) return db->Corrupt(where + ": the table's row matrix is missing");
  BALEPORT_RETURN_IF_ERROR(EnsureShape(*db, matrix->second.bid_data, known.matrix));
  const std::vector<uint64_t> matrix_leaves_list = Leaves(known.matrix);
  const std::vector<uint64_t>* matrix_leaves = &matrix_leaves_list;
  if (verify) {
    // Rows are found by position, so every block but the last must be whole.
    for (size_t i = 0; i + 1 < matrix_leaves->size(); ++i) {
      const ndb::BlockInfo* b = db->FindBlock((*matrix_leaves)[i]);
      if (!b || b->cb != disk::kMaxBlockData) return cannot;
    }
  }
  ltp::StoredRowMatrix stored{matrix_leaves->size(), {}};
  auto last = db->ReadBlock(matrix_leaves->back());
  if (!last.ok()) return last.status();
  stored.last = std::move(*last);

  SubnodeSet set(db);
  for (const auto& [nid, e] : *subs) {
    if (nid == (*info)->hnid_rows) continue;
    if (!db->AddRef(e.bid_data)) return cannot;
    set.entries()[nid] = ndb::SubnodeEntry{e.bid_data, 0};
    if (e.bid_sub && !db->AddRef(e.bid_sub)) return cannot;
    set.entries()[nid].bid_sub = e.bid_sub;
  }
  auto appended = ltp::AppendTableRows(editor, **info, stored, rows, set.Sink(), verify);
  if (!appended.ok()) return appended.status();
  if (!*appended) return cannot;
  auto matrix_root = PatchStream(db, matrix->second.bid_data, (*appended)->matrix_blocks, &known.matrix);
  if (!matrix_root.ok()) return matrix_root.status();
  set.entries()[matrix->first] = ndb::SubnodeEntry{*matrix_root, 0};
  if (matrix->second.bid_sub) {
    if (!db->AddRef(matrix->second.bid_sub)) return cannot;
    set.entries()[matrix->first].bid_sub = matrix->second.bid_sub;
  }
  auto data = PatchStream(db, node.bid_data, (*appended)->heap_blocks, &known.heap);
  if (!data.ok()) return data.status();
  auto sub = set.Finish();
  if (!sub.ok()) {
    (void)db->Release(*data);
    return sub.status();
  }
  return std::optional<NodeStreams>(NodeStreams{*data, *sub});
}

}  // namespace baleport::pst
