#include "pst/messaging/stream_patch.h"

#include <cstring>

#include "support/little_endian.h"

namespace baleport::pst {

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
  for (uint32_t i = 0; i < h.cEnt; ++i) x.children.push_back(LoadLe<uint64_t>(data->data() + sizeof h + i * 8) & ~kBidReserved);
  return x;
}

Result<uint64_t> WriteXBlock(ndb::NodeDatabase* db, uint8_t level, const std::vector<std::pair<uint64_t, uint64_t>>& children,
                             TakenBlocks& taken) {
  std::string blk(sizeof(disk::XBLOCK_HEADER), '\0');
  uint64_t total = 0;
  for (auto [bid, size] : children) {
    AppendLe<uint64_t>(blk, bid);
    total += size;
  }
  if (total > 0xFFFFFFFFull) return Status::Error("a stream of " + std::to_string(total) + " bytes exceeds the 4 GiB a value may hold");
  disk::XBLOCK_HEADER h{0x01, level, static_cast<uint16_t>(children.size()), static_cast<uint32_t>(total)};
  std::memcpy(blk.data(), &h, sizeof h);
  auto bid = db->WriteBlock(blk, true);
  if (bid.ok()) taken.Fresh(*bid);
  return bid;
}


}  // namespace

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


}  // namespace baleport::pst
