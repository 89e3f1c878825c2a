#include "pst/messaging/node_io.h"

#include "support/hex.h"

namespace baleport::pst {

namespace {

std::string NodeName(uint32_t nid) { return "node " + HexNumber(nid); }

ltp::SubnodeSource SourceFor(const ndb::NodeDatabase& db, const ndb::SubnodeMap& subs) {
  return [&db, &subs](uint32_t nid) -> Result<std::string> {
    auto it = subs.find(nid);
    if (it == subs.end()) {
      return db.Corrupt("subnode " + HexNumber(nid) + " is referenced but missing");
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
  const auto old = previous_.find(nid);
  Result<uint64_t> bid = uint64_t{0};
  if (old == previous_.end() && data.size() <= disk::kMaxBlockData) {
    // Most values fit one block and share none: written straight, without a writer's buffers.
    bid = db_->WriteBlock(data, false);
  } else {
    ndb::StreamWriter w(db_);
    if (old != previous_.end()) ReuseLeaves(*db_, old->second.bid_data, w);
    BALEPORT_RETURN_IF_ERROR(w.Write(data));
    bid = w.Finish();
  }
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

}  // namespace baleport::pst
