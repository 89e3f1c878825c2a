#include "pst/ndb/node_database.h"

#include <algorithm>
#include <cstring>

#include "pst/disk/crc.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::pst::ndb {

using namespace disk;

namespace {

constexpr uint64_t kBidMask = ~uint64_t{1};  // the reserved bit is Outlook's to use
constexpr int kMaxTreeDepth = 9;

void InitHeader(HEADER& h, CryptMethod crypt) {
  std::memset(&h, 0, sizeof h);
  h.dwMagic = kMagic;
  h.wMagicClient = kMagicClient;
  h.wVer = kVersionUnicode;
  h.wVerClient = kVersionClient;
  h.bPlatformCreate = 0x01;
  h.bPlatformAccess = 0x01;
  h.bidNextP = 1;
  h.bidNextB = 4;
  for (auto& n : h.rgnid) n = 0x400;
  h.rgnid[kNidTypeSearchFolder] = 0x4000;
  h.rgnid[kNidTypeNormalMessage] = 0x10000;
  h.rgnid[kNidTypeAssocMessage] = 0x8000;
  std::memset(h.rgbFM, 0xFF, sizeof h.rgbFM);
  std::memset(h.rgbFP, 0xFF, sizeof h.rgbFP);
  h.bSentinel = 0x80;
  h.bCryptMethod = static_cast<uint8_t>(crypt);
  h.root.fAMapValid = kValidAMap2;
}

void SealHeader(HEADER& h) {
  const auto* p = reinterpret_cast<const uint8_t*>(&h);
  h.dwCRCPartial = Crc(p + kHeaderPartialCrcOffset, kHeaderPartialCrcSize);
  h.dwCRCFull = Crc(p + kHeaderFullCrcOffset, kHeaderFullCrcSize);
}

}  // namespace

Status NodeDatabase::Corrupt(const std::string& what) const {
  return Status::Error(StatusCode::kCorrupt, file_->path() + " is damaged: " + what);
}

Result<std::unique_ptr<NodeDatabase>> NodeDatabase::CreateNew(std::unique_ptr<File> file, CryptMethod crypt) {
  std::unique_ptr<NodeDatabase> db(new NodeDatabase(std::move(file)));
  InitHeader(db->header_, crypt);
  db->space_ = SpaceMap(1);
  db->dirty_ = true;
  return db;
}

Result<std::unique_ptr<NodeDatabase>> NodeDatabase::Open(std::unique_ptr<File> file) {
  std::unique_ptr<NodeDatabase> db(new NodeDatabase(std::move(file)));
  BALEPORT_RETURN_IF_ERROR(db->Load());
  return db;
}

Status NodeDatabase::Load() {
  const std::string& p = file_->path();
  auto size = file_->Size();
  if (!size.ok()) return size.status();
  file_size_ = *size;
  if (file_size_ < sizeof(HEADER)) return Status::Error(StatusCode::kCorrupt, p + " is not a .pst store: it is too short to hold a header");
  BALEPORT_RETURN_IF_ERROR(file_->Read(0, &header_, sizeof header_));
  HEADER& h = header_;
  if (h.dwMagic != kMagic || h.wMagicClient != kMagicClient) {
    return Status::Error(StatusCode::kCorrupt, p + " is not a .pst store: it lacks the \"!BDN\" signature");
  }
  if (h.wVer == 14 || h.wVer == 15) {
    return Status::Error(StatusCode::kUnsupported, p + " is an ANSI (pre-2003) store (format version " + std::to_string(h.wVer) +
                         "), which is not supported; only Unicode stores are");
  }
  if (h.wVer != kVersionUnicode) {
    return Status::Error(StatusCode::kUnsupported, p + " has store format version " + std::to_string(h.wVer) +
                         ", which is not supported; only Unicode stores of version 23 are");
  }
  const auto* raw = reinterpret_cast<const uint8_t*>(&h);
  if (Crc(raw + kHeaderPartialCrcOffset, kHeaderPartialCrcSize) != h.dwCRCPartial ||
      Crc(raw + kHeaderFullCrcOffset, kHeaderFullCrcSize) != h.dwCRCFull) {
    return Corrupt("the header checksum does not match");
  }
  if (h.bCryptMethod > 2) {
    return Status::Error(StatusCode::kUnsupported, p + " uses data encoding " + HexNumber(h.bCryptMethod) + ", which is not supported");
  }
  const ROOT& r = h.root;
  if (r.ibFileEof < kFirstAMapOffset + kSectionSize || (r.ibFileEof - kFirstAMapOffset) % kSectionSize != 0 ||
      r.ibFileEof > file_size_) {
    return Corrupt("the header gives a file size of " + std::to_string(r.ibFileEof) + " bytes, but the file has " +
                   std::to_string(file_size_));
  }
  if (r.ibAMapLast != r.ibFileEof - kSectionSize) return Corrupt("the header names a wrong last allocation map");
  space_ = SpaceMap((r.ibFileEof - kFirstAMapOffset) / kSectionSize);
  committed_next_bid_ = h.bidNextB;
  BALEPORT_RETURN_IF_ERROR(LoadTree(r.BREFNBT.bid, r.BREFNBT.ib, true, -1, 0, 0).WithContext("reading the node B-tree"));
  BALEPORT_RETURN_IF_ERROR(LoadTree(r.BREFBBT.bid, r.BREFBBT.ib, false, -1, 0, 0).WithContext("reading the block B-tree"));
  for (const auto& [bid, info] : blocks_) {
    if (!space_.MarkExisting(info.ib, BlockDiskSize(info.cb))) {
      return Corrupt("block " + HexNumber(bid) + " at offset " + std::to_string(info.ib) +
                     " overlaps other data or lies outside the file");
    }
  }
  return LoadMaps();
}

Result<bool> NodeDatabase::Unchanged(File& file) const {
  auto size = file.Size();
  if (!size.ok()) return size.status();
  if (*size != file_size_) return false;
  HEADER now;
  BALEPORT_RETURN_IF_ERROR(file.Read(0, &now, sizeof now));
  return std::memcmp(&now, &header_, sizeof now) == 0;
}

Status NodeDatabase::LoadMaps() {
  // Maps marked invalid are rebuilt (§2.6.1.3.7): what the B-trees reach is all that is used.
  if (header_.root.fAMapValid == kInvalidAMap) return Status::Ok();
  uint8_t page[kPageSize];
  for (uint64_t k = 0; k < space_.sections(); ++k) {
    uint64_t ib = SpaceMap::AMapOffset(k);
    BALEPORT_RETURN_IF_ERROR(file_->Read(ib, page, kPageSize));
    PAGETRAILER t;
    std::memcpy(&t, page + kPageDataSize, sizeof t);
    // The B-trees already told what is in use; a valid AMap may add space Outlook holds
    // without having released it, which is never handed out either. A bad one adds nothing.
    if (t.ptype == kPtypeAMap && t.ptypeRepeat == kPtypeAMap && Crc(page, kPageDataSize) == t.dwCRC) {
      space_.MergeAMapBits(k, page);
    }
  }
  return Status::Ok();
}

Status NodeDatabase::LoadTree(uint64_t bid, uint64_t ib, bool nbt, int expected_level, uint64_t min_key, int depth) {
  if (depth > kMaxTreeDepth) return Corrupt("the B-tree is deeper than the format allows");
  if (ib % kPageSize != 0 || ib < kFirstAMapOffset || header_.root.ibFileEof < kPageSize || ib > header_.root.ibFileEof - kPageSize) {
    return Corrupt("a B-tree page offset " + std::to_string(ib) + " lies outside the file");
  }
  uint8_t page[kPageSize];
  BALEPORT_RETURN_IF_ERROR(file_->Read(ib, page, kPageSize));
  PAGETRAILER t;
  std::memcpy(&t, page + kPageDataSize, sizeof t);
  BTPAGE_COUNTS c;
  std::memcpy(&c, page + kBTPageEntryBytes, sizeof c);
  const uint8_t want = nbt ? kPtypeNBT : kPtypeBBT;
  const std::string where = " at offset " + std::to_string(ib);
  if (t.ptype != want || t.ptypeRepeat != want) return Corrupt("wrong page type" + where);
  if (Crc(page, kPageDataSize) != t.dwCRC) return Corrupt("page checksum mismatch" + where);
  if (t.wSig != ComputeSig(ib, t.bid) || (t.bid & kBidMask) != (bid & kBidMask)) {
    return Corrupt("page signature does not match its place" + where);
  }
  if (expected_level >= 0 && c.cLevel != expected_level) return Corrupt("B-tree levels out of step" + where);
  const uint32_t ent = c.cLevel > 0 ? sizeof(BTENTRY) : (nbt ? sizeof(NBTENTRY) : sizeof(BBTENTRY));
  if (c.cbEnt < ent || c.cEnt * c.cbEnt > kBTPageEntryBytes) return Corrupt("bad B-tree entry sizes" + where);
  if (!space_.MarkExisting(ib, kPageSize)) return Corrupt("B-tree page reached twice or overlapping" + where);
  TreeLevels& levels = nbt ? nbt_levels_ : bbt_levels_;
  if (levels.size() <= c.cLevel) levels.resize(c.cLevel + 1u);
  uint64_t first = c.cEnt ? LoadLe<uint64_t>(page) : 0;
  first = nbt ? first & 0xFFFFFFFFu : first & kBidMask;
  levels[c.cLevel].push_back(TreePage{first, ib, t.bid, t.dwCRC});
  uint64_t prev = min_key;
  for (uint32_t i = 0; i < c.cEnt; ++i) {
    const uint8_t* e = page + i * c.cbEnt;
    uint64_t key = LoadLe<uint64_t>(e);
    key = nbt ? key & 0xFFFFFFFFu : key & kBidMask;  // NIDs are 32 bits wide
    if ((i > 0 || depth > 0) && key < prev) return Corrupt("B-tree keys out of order" + where);
    if (i > 0 && key == prev) return Corrupt("duplicate B-tree key " + HexNumber(key) + where);
    prev = key;
    if (c.cLevel > 0) {
      BTENTRY be;
      std::memcpy(&be, e, sizeof be);
      BALEPORT_RETURN_IF_ERROR(LoadTree(be.BREF_.bid, be.BREF_.ib, nbt, c.cLevel - 1, key, depth + 1));
    } else if (nbt) {
      NBTENTRY ne;
      std::memcpy(&ne, e, sizeof ne);
      nodes_[static_cast<uint32_t>(ne.nid)] =
          NodeEntry{static_cast<uint32_t>(ne.nid), ne.bidData & kBidMask, ne.bidSub & kBidMask, ne.nidParent};
    } else {
      BBTENTRY bb;
      std::memcpy(&bb, e, sizeof bb);
      if (bb.cb > kMaxBlockData) return Corrupt("block " + HexNumber(key) + " claims " + std::to_string(bb.cb) + " bytes");
      blocks_[key] = BlockInfo{bb.BREF_.ib, bb.cb, bb.cRef};
    }
  }
  return Status::Ok();
}

const NodeEntry* NodeDatabase::FindNode(uint32_t nid) const {
  auto it = nodes_.find(nid);
  return it == nodes_.end() ? nullptr : &it->second;
}

const BlockInfo* NodeDatabase::FindBlock(uint64_t bid) const {
  auto it = blocks_.find(bid & kBidMask);
  return it == blocks_.end() ? nullptr : &it->second;
}

Status NodeDatabase::SetNode(const NodeEntry& entry) {
  dirty_ = true;
  touched_nodes_.push_back(entry.nid);
  auto it = nodes_.find(entry.nid);
  if (it == nodes_.end()) {
    nodes_[entry.nid] = entry;
    return Status::Ok();
  }
  NodeEntry old = it->second;
  it->second = entry;
  if (old.bid_data) BALEPORT_RETURN_IF_ERROR(Release(old.bid_data));
  if (old.bid_sub) BALEPORT_RETURN_IF_ERROR(Release(old.bid_sub));
  return Status::Ok();
}

uint32_t NodeDatabase::AllocateNid(uint8_t nid_type) {
  dirty_ = true;
  for (;;) {
    uint32_t nid = MakeNid(++header_.rgnid[nid_type], nid_type);
    if (!nodes_.count(nid)) return nid;
  }
}

uint32_t NodeDatabase::AllocateFolderIndex() {
  dirty_ = true;
  for (;;) {
    uint32_t index = ++header_.rgnid[kNidTypeNormalFolder];
    for (uint8_t t : {kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable}) {
      header_.rgnid[t] = std::max(header_.rgnid[t], index);
    }
    bool taken = false;
    for (uint8_t t : {kNidTypeNormalFolder, kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable}) {
      taken = taken || nodes_.count(MakeNid(index, t));
    }
    if (!taken) return index;
  }
}

Result<std::string> NodeDatabase::ReadBlockRaw(uint64_t bid, const BlockInfo& info) const {
  const uint32_t disk_size = BlockDiskSize(info.cb);
  if (info.ib < kFirstAMapOffset || info.ib % kSlotSize != 0 || info.ib > space_.file_end() || disk_size > space_.file_end() - info.ib) {
    return Corrupt("block " + HexNumber(bid) + " lies outside the file");
  }
  std::string buf(disk_size, '\0');
  if (!write_buffer_.empty() && info.ib >= write_buffer_ib_ && info.ib + disk_size <= write_buffer_ib_ + write_buffer_.size()) {
    std::memcpy(buf.data(), write_buffer_.data() + (info.ib - write_buffer_ib_), disk_size);
  } else {
    BALEPORT_RETURN_IF_ERROR(file_->Read(info.ib, buf.data(), disk_size));
  }
  BLOCKTRAILER t;
  std::memcpy(&t, buf.data() + disk_size - kBlockTrailerSize, sizeof t);
  const std::string where = "block " + HexNumber(bid) + " at offset " + std::to_string(info.ib);
  if ((t.bid & kBidMask) != bid || t.cb != info.cb) return Corrupt(where + " does not carry its own id and size");
  if (t.wSig != ComputeSig(info.ib, t.bid)) return Corrupt(where + " has a wrong signature");
  if (Crc(buf.data(), info.cb) != t.dwCRC) return Corrupt(where + " fails its checksum");
  buf.resize(info.cb);
  return buf;
}

Result<std::string> NodeDatabase::ReadBlock(uint64_t bid) const {
  bid &= kBidMask;
  const BlockInfo* info = FindBlock(bid);
  if (!info) return Corrupt("block " + HexNumber(bid) + " is referenced but missing from the block B-tree");
  auto data = ReadBlockRaw(bid, *info);
  if (!data.ok()) return data;
  if (!(bid & kBidInternal)) Decode(crypt(), bid, data->data(), data->size());
  return data;
}

Status NodeDatabase::CollectLeaves(uint64_t bid, int depth, std::vector<uint64_t>& out, uint64_t& total) const {
  if (!(bid & kBidInternal)) {
    const BlockInfo* info = FindBlock(bid);
    if (!info) return Corrupt("data block " + HexNumber(bid) + " is missing from the block B-tree");
    out.push_back(bid & kBidMask);
    total += info->cb;
    return Status::Ok();
  }
  if (depth >= 2) return Corrupt("data tree " + HexNumber(bid) + " nests deeper than two levels");
  auto data = ReadBlock(bid);
  if (!data.ok()) return data.status();
  if (data->size() < sizeof(XBLOCK_HEADER)) return Corrupt("data tree block " + HexNumber(bid) + " is truncated");
  XBLOCK_HEADER x;
  std::memcpy(&x, data->data(), sizeof x);
  if (x.btype != 0x01 || x.cLevel < 1 || x.cLevel > 2 || sizeof x + x.cEnt * 8u > data->size()) {
    return Corrupt("block " + HexNumber(bid) + " is not a valid data tree block");
  }
  if (x.lcbTotal > space_.file_end()) return Corrupt("data tree " + HexNumber(bid) + " claims more data than the file holds");
  const uint64_t before = total;
  for (uint32_t i = 0; i < x.cEnt; ++i) {
    uint64_t child = LoadLe<uint64_t>(data->data() + sizeof x + i * 8);
    bool child_internal = (child & kBidInternal) != 0;
    if (child_internal != (x.cLevel == 2)) return Corrupt("data tree " + HexNumber(bid) + " mixes levels");
    BALEPORT_RETURN_IF_ERROR(CollectLeaves(child, depth + 1, out, total));
  }
  if (total - before != x.lcbTotal) return Corrupt("data tree " + HexNumber(bid) + " holds a different size than it claims");
  return Status::Ok();
}

Result<std::vector<uint64_t>> NodeDatabase::DataTreeLeaves(uint64_t bid) const {
  std::vector<uint64_t> out;
  uint64_t total = 0;
  BALEPORT_RETURN_IF_ERROR(CollectLeaves(bid & kBidMask, 0, out, total));
  return out;
}

Result<std::string> NodeDatabase::ReadStream(uint64_t bid) const {
  auto leaves = DataTreeLeaves(bid);
  if (!leaves.ok()) return leaves.status();
  if (leaves->size() == 1) return ReadBlock(leaves->front());
  std::string out;
  for (uint64_t leaf : *leaves) {
    auto d = ReadBlock(leaf);
    if (!d.ok()) return d.status();
    out += *d;
  }
  return out;
}

Status NodeDatabase::ReadSubnodesInto(uint64_t bid, int depth, SubnodeMap& out) const {
  if (depth > 1) return Corrupt("subnode tree " + HexNumber(bid) + " nests too deep");
  auto data = ReadBlock(bid);
  if (!data.ok()) return data.status();
  if (!(bid & kBidInternal) || data->size() < sizeof(SLBLOCK_HEADER)) {
    return Corrupt("block " + HexNumber(bid) + " is not a subnode tree block");
  }
  SLBLOCK_HEADER h;
  std::memcpy(&h, data->data(), sizeof h);
  const uint32_t ent = h.cLevel == 0 ? sizeof(SLENTRY) : sizeof(SIENTRY);
  if (h.btype != 0x02 || h.cLevel > 1 || sizeof h + h.cEnt * ent > data->size()) {
    return Corrupt("block " + HexNumber(bid) + " is not a valid subnode tree block");
  }
  for (uint32_t i = 0; i < h.cEnt; ++i) {
    const char* e = data->data() + sizeof h + i * ent;
    if (h.cLevel == 0) {
      SLENTRY s;
      std::memcpy(&s, e, sizeof s);
      out[static_cast<uint32_t>(s.nid)] = SubnodeEntry{s.bidData & kBidMask, s.bidSub & kBidMask};
    } else {
      SIENTRY s;
      std::memcpy(&s, e, sizeof s);
      BALEPORT_RETURN_IF_ERROR(ReadSubnodesInto(s.bid & kBidMask, depth + 1, out));
    }
  }
  return Status::Ok();
}

Result<SubnodeMap> NodeDatabase::ReadSubnodes(uint64_t bid_sub) const {
  SubnodeMap out;
  if (bid_sub == 0) return out;
  BALEPORT_RETURN_IF_ERROR(ReadSubnodesInto(bid_sub & kBidMask, 0, out));
  return out;
}

Result<uint64_t> NodeDatabase::WriteBlock(std::string_view payload, bool internal) {
  if (payload.size() > kMaxBlockData) return Status::Error("a block of " + std::to_string(payload.size()) + " bytes is too big");
  // Readers take a zero-byte block for a damaged one: an empty stream has no block at all.
  if (payload.empty()) return Status::Error("an empty block cannot be written");
  BALEPORT_RETURN_IF_ERROR(write_failure_);
  dirty_ = true;
  uint64_t bid = header_.bidNextB | (internal ? kBidInternal : 0);
  header_.bidNextB += 4;
  const uint32_t disk_size = BlockDiskSize(static_cast<uint32_t>(payload.size()));
  uint64_t ib = space_.Allocate(disk_size, kSlotSize);
  // Made in place at the end of the write buffer: no buffer of its own to fill, copy and free.
  BALEPORT_RETURN_IF_ERROR(StartBufferedWrite(ib, disk_size));
  const size_t at = write_buffer_.size();
  write_buffer_.append(payload);
  char* block = write_buffer_.data() + at;
  if (!internal) Encode(crypt(), bid, block, payload.size());
  BLOCKTRAILER t{static_cast<uint16_t>(payload.size()), ComputeSig(ib, bid), Crc(block, payload.size()), bid};
  write_buffer_.append(disk_size - kBlockTrailerSize - payload.size(), '\0');
  write_buffer_.append(reinterpret_cast<const char*>(&t), sizeof t);
  blocks_[bid] = BlockInfo{ib, static_cast<uint16_t>(payload.size()), 2, t.dwCRC};
  touched_blocks_.push_back(bid);
  return bid;
}

bool NodeDatabase::ReuseIfSame(uint64_t candidate, std::string_view payload) {
  auto it = blocks_.find(candidate & kBidMask);
  if (it == blocks_.end() || (candidate & kBidInternal) || it->second.cb != payload.size() || it->second.crc == 0 ||
      it->second.cref >= kMaxSharing) {
    return false;
  }
  std::string stored(payload);
  Encode(crypt(), it->first, stored.data(), stored.size());
  if (Crc(stored.data(), stored.size()) != it->second.crc) return false;
  auto raw = ReadBlockRaw(it->first, it->second);
  if (!raw.ok() || *raw != stored) return false;
  TouchBlock(it->first, it->second);
  ++it->second.cref;
  dirty_ = true;
  return true;
}

Status NodeDatabase::StartBufferedWrite(uint64_t ib, size_t size) {
  constexpr size_t kBufferLimit = 1 << 20;
  if (!write_buffer_.empty() &&
      (ib != write_buffer_ib_ + write_buffer_.size() || write_buffer_.size() + size > kBufferLimit)) {
    BALEPORT_RETURN_IF_ERROR(FlushWrites());
  }
  if (write_buffer_.empty()) write_buffer_ib_ = ib;
  return Status::Ok();
}

Status NodeDatabase::FlushWrites() {
  BALEPORT_RETURN_IF_ERROR(write_failure_);
  if (write_buffer_.empty()) return Status::Ok();
  Status s = file_->Write(write_buffer_ib_, write_buffer_.data(), write_buffer_.size());
  write_buffer_.clear();
  if (!s.ok()) write_failure_ = s.WithContext("an earlier write failed, so the store must be reopened");
  return s;
}

Result<uint64_t> NodeDatabase::WriteSubnodes(const SubnodeMap& entries) {
  if (entries.empty()) return uint64_t{0};
  std::vector<std::pair<uint32_t, uint64_t>> leaves;  // first nid, SLBLOCK bid
  auto it = entries.begin();
  while (it != entries.end()) {
    std::string blk;
    SLBLOCK_HEADER h{0x02, 0x00, 0, 0};
    blk.resize(sizeof h);
    uint32_t first = it->first;
    for (; it != entries.end() && h.cEnt < kSLBlockMaxEntries; ++it, ++h.cEnt) {
      SLENTRY e{it->first, it->second.bid_data, it->second.bid_sub};
      blk.append(reinterpret_cast<const char*>(&e), sizeof e);
    }
    std::memcpy(blk.data(), &h, sizeof h);
    auto bid = WriteBlock(blk, true);
    if (!bid.ok()) return bid;
    leaves.emplace_back(first, *bid);
  }
  if (leaves.size() == 1) return leaves[0].second;
  if (leaves.size() > kSIBlockMaxEntries) return Status::Error("too many subnodes in one node");
  std::string blk;
  SLBLOCK_HEADER h{0x02, 0x01, static_cast<uint16_t>(leaves.size()), 0};
  blk.append(reinterpret_cast<const char*>(&h), sizeof h);
  for (const auto& [nid, bid] : leaves) {
    SIENTRY e{nid, bid};
    blk.append(reinterpret_cast<const char*>(&e), sizeof e);
  }
  return WriteBlock(blk, true);
}

bool NodeDatabase::AddRef(uint64_t bid) {
  auto it = blocks_.find(bid & kBidMask);
  if (it == blocks_.end() || it->second.cref >= kMaxSharing) return false;
  TouchBlock(it->first, it->second);
  ++it->second.cref;
  dirty_ = true;
  return true;
}

void NodeDatabase::ForgetBlock(uint64_t bid) {
  auto it = blocks_.find(bid & kBidMask);
  if (it != blocks_.end()) FreeBlock(it->first, it->second);
}

void NodeDatabase::TouchBlock(uint64_t bid, const BlockInfo& before) {
  touched_blocks_.push_back(bid);
  if (bid < committed_next_bid_) committed_entries_.try_emplace(bid, before);
}

void NodeDatabase::FreeBlock(uint64_t bid, const BlockInfo& info) {
  touched_blocks_.push_back(bid);
  space_.Free(info.ib, BlockDiskSize(info.cb));
  blocks_.erase(bid);
}

Status NodeDatabase::Release(uint64_t bid) {
  bid &= kBidMask;
  auto it = blocks_.find(bid);
  if (it == blocks_.end()) return Corrupt("block " + HexNumber(bid) + " is released but missing from the block B-tree");
  dirty_ = true;
  if (it->second.cref > 2) {
    TouchBlock(bid, it->second);
    --it->second.cref;
    return Status::Ok();
  }
  // Last holder: the children of an internal block lose their holder too.
  std::vector<uint64_t> children;
  if (bid & kBidInternal) {
    auto data = ReadBlock(bid);
    if (!data.ok()) return data.status();
    if (data->size() >= 8) {
      const uint8_t btype = static_cast<uint8_t>((*data)[0]), level = static_cast<uint8_t>((*data)[1]);
      const uint16_t n = LoadLe<uint16_t>(data->data() + 2);
      if (btype == 0x01) {
        for (uint32_t i = 0; i < n && 8 + i * 8 + 8 <= data->size(); ++i) children.push_back(LoadLe<uint64_t>(data->data() + 8 + i * 8));
      } else if (btype == 0x02 && level == 0) {
        for (uint32_t i = 0; i < n && 8 + (i + 1) * 24 <= data->size(); ++i) {
          const char* e = data->data() + 8 + i * 24;
          if (uint64_t d = LoadLe<uint64_t>(e + 8)) children.push_back(d);
          if (uint64_t s = LoadLe<uint64_t>(e + 16)) children.push_back(s);
        }
      } else if (btype == 0x02) {
        for (uint32_t i = 0; i < n && 8 + (i + 1) * 16 <= data->size(); ++i) children.push_back(LoadLe<uint64_t>(data->data() + 8 + i * 16 + 8));
      }
    }
  }
  FreeBlock(bid, it->second);
  for (uint64_t c : children) BALEPORT_RETURN_IF_ERROR(Release(c));
  return Status::Ok();
}

Result<uint64_t> NodeDatabase::WritePage(uint8_t ptype, const uint8_t* data496, uint64_t ib_fixed) {
  uint8_t page[kPageSize];
  std::memcpy(page, data496, kPageDataSize);
  const bool map_page = ptype == kPtypeAMap || ptype == kPtypePMap || ptype == kPtypeFMap || ptype == kPtypeFPMap;
  uint64_t ib = ib_fixed ? ib_fixed : space_.Allocate(kPageSize, kPageSize);
  uint64_t bid = map_page ? ib : header_.bidNextP++;
  PAGETRAILER t{ptype, ptype, map_page ? uint16_t{0} : ComputeSig(ib, bid), Crc(page, kPageDataSize), bid};
  std::memcpy(page + kPageDataSize, &t, sizeof t);
  BALEPORT_RETURN_IF_ERROR(file_->Write(ib, page, kPageSize));
  return ib;
}

std::vector<uint64_t> NodeDatabase::tree_pages() const {
  std::vector<uint64_t> out;
  for (const TreeLevels* levels : {&nbt_levels_, &bbt_levels_}) {
    for (const auto& level : *levels) {
      for (const auto& p : level) out.push_back(p.ib);
    }
  }
  return out;
}

Result<BREF> NodeDatabase::WriteTree(const LeafRecords& leaf_records, const std::vector<uint64_t>& touched, uint32_t rec_size,
                                     uint8_t ptype, uint8_t leaf_max, const TreeLevels& levels, TreeLevels& out,
                                     std::vector<uint64_t>& freed) {
  // `out` keeps its pages' storage from an earlier commit: the lists of a large store are
  // megabytes, and allocating them anew at each commit cost more the larger it grew.
  // Keys whose pages changed at the level below (at the leaves: the keys changed since the
  // last commit). A page with none in its key range comes out as it was, so it is kept
  // without being built or read: a commit costs what it changes, not what the tree holds.
  std::vector<uint64_t> dirty = touched;
  const auto page_after = [](uint64_t key, const TreePage& p) { return key < p.first_key; };
  const auto page_before = [](const TreePage& p, uint64_t key) { return p.first_key < key; };
  for (uint8_t clevel = 0;; ++clevel) {
    static const std::vector<TreePage> kNone;
    const std::vector<TreePage>& old = clevel < levels.size() ? levels[clevel] : kNone;
    if (out.size() <= clevel) out.emplace_back();
    const std::vector<TreePage>* below = clevel > 0 ? &out[clevel - 1] : nullptr;
    const uint8_t max = clevel == 0 ? leaf_max : kBtIntermediateMax;
    std::vector<TreePage>& pages = out[clevel];
    pages.clear();
    std::vector<uint64_t> changed;  // first keys of pages written or dropped at this level
    // Builds the page for `recs`; keeps `old_page` when it comes out the same.
    auto emit = [&](std::string_view recs, const TreePage* old_page) -> Result<bool> {
      std::string bytes(kPageDataSize, '\0');
      std::memcpy(bytes.data(), recs.data(), recs.size());
      const size_t count = recs.size() / rec_size;
      BTPAGE_COUNTS c{static_cast<uint8_t>(count), max, static_cast<uint8_t>(rec_size), clevel, 0};
      std::memcpy(bytes.data() + kBTPageEntryBytes, &c, sizeof c);
      const uint32_t crc = Crc(bytes.data(), kPageDataSize);
      if (old_page && old_page->crc == crc) {
        char on_disk[kPageDataSize];
        BALEPORT_RETURN_IF_ERROR(file_->Read(old_page->ib, on_disk, kPageDataSize));
        if (std::memcmp(on_disk, bytes.data(), kPageDataSize) == 0) {
          pages.push_back(*old_page);
          return true;
        }
      }
      const uint64_t bid = header_.bidNextP;
      auto ib = WritePage(ptype, reinterpret_cast<const uint8_t*>(bytes.data()), 0);
      if (!ib.ok()) return ib.status();
      const uint64_t first_key = count ? LoadLe<uint64_t>(recs.data()) : 0;
      pages.push_back(TreePage{first_key, *ib, bid, crc});
      changed.push_back(first_key);
      return false;
    };
    // Records go to the page whose key range held them before, so an append or a change
    // touches only the pages it falls in.
    const size_t groups = std::max<size_t>(old.size(), 1);
    for (size_t g = 0; g < groups; ++g) {
      const TreePage* old_page = g < old.size() ? &old[g] : nullptr;
      const uint64_t lower = g == 0 ? 0 : old[g].first_key;
      if (old_page) {
        auto t = std::lower_bound(dirty.begin(), dirty.end(), lower);
        size_t next = groups;  // the group holding the next dirty key
        if (t != dirty.end()) {
          const size_t after = std::upper_bound(old.begin() + g, old.end(), *t, page_after) - old.begin();
          next = std::max(g, after ? after - 1 : 0);
        }
        if (next > g) {
          pages.insert(pages.end(), old.begin() + g, old.begin() + next);
          g = next - 1;
          continue;
        }
      }
      const bool last = g + 1 == groups;
      const uint64_t upper = last ? 0 : old[g + 1].first_key;
      std::string group;
      if (clevel == 0) {
        group = leaf_records(lower, upper, last);
      } else {
        auto from = g == 0 ? below->begin() : std::lower_bound(below->begin(), below->end(), lower, page_before);
        auto to = last ? below->end() : std::lower_bound(from, below->end(), upper, page_before);
        for (auto it = from; it != to; ++it) {
          BTENTRY e{it->first_key, BREF{it->bid, it->ib}};
          group.append(reinterpret_cast<const char*>(&e), sizeof e);
        }
      }
      const size_t n = group.size() / rec_size;
      bool kept = false;
      if (n <= max && n > 0) {
        auto k = emit(group, old_page);
        if (!k.ok()) return k.status();
        kept = *k;
      } else {
        for (size_t from = 0; from < n; from += max) {
          auto k = emit(std::string_view(group).substr(from * rec_size, std::min<size_t>(max, n - from) * rec_size), nullptr);
          if (!k.ok()) return k.status();
        }
      }
      if (old_page && !kept) {
        space_.Free(old_page->ib, kPageSize);
        freed.push_back(old_page->ib);
        changed.push_back(old_page->first_key);
      }
    }
    if (pages.empty()) {
      auto k = emit(std::string_view(), nullptr);
      if (!k.ok()) return k.status();
    }
    if (pages.size() == 1) {
      for (size_t above = clevel + 1u; above < levels.size(); ++above) {
        for (const auto& p : levels[above]) {
          space_.Free(p.ib, kPageSize);
          freed.push_back(p.ib);
        }
      }
      const BREF root{pages[0].bid, pages[0].ib};
      out.resize(clevel + 1u);
      return root;
    }
    std::sort(changed.begin(), changed.end());
    dirty = std::move(changed);
    rec_size = sizeof(BTENTRY);
  }
}

Status NodeDatabase::WriteHeader(bool sync) {
  ++header_.dwUnique;
  SealHeader(header_);
  BALEPORT_RETURN_IF_ERROR(file_->Write(0, &header_, sizeof header_));
  return sync ? file_->Sync() : Status::Ok();
}

Status NodeDatabase::WriteMaps(bool sync) {
  uint8_t bits[kPageDataSize];
  for (uint64_t k = 0; k < space_.sections(); ++k) {
    if (!space_.SectionDirty(k)) continue;
    uint64_t ib = SpaceMap::AMapOffset(k);
    space_.AMapBits(k, bits);
    auto w = WritePage(kPtypeAMap, bits, ib);
    if (!w.ok()) return w.status();
    std::memset(bits, 0xFF, sizeof bits);
    if (SpaceMap::HasPMap(k)) {
      auto p = WritePage(kPtypePMap, bits, ib + kPageSize);
      if (!p.ok()) return p.status();
    }
    if (SpaceMap::HasFMap(k) || SpaceMap::HasFPMap(k)) {
      std::memset(bits, SpaceMap::HasFMap(k) ? 0x00 : 0xFF, sizeof bits);
      auto f = WritePage(SpaceMap::HasFMap(k) ? kPtypeFMap : kPtypeFPMap, bits, ib + 2 * kPageSize);
      if (!f.ok()) return f.status();
    }
  }
  // Density list: sections by free space, most free first (§2.2.2.7.4).
  DLISTPAGE dl{};
  dl.bFlags = 0x01;
  std::vector<std::pair<uint32_t, uint32_t>> dens;
  for (uint64_t k = 0; k < space_.sections(); ++k) dens.emplace_back(space_.FreeSlotsLive(k), static_cast<uint32_t>(k));
  std::stable_sort(dens.begin(), dens.end(), [](auto a, auto b) { return a.first > b.first; });
  for (const auto& [free_slots, k] : dens) {
    if (dl.cEntDList == 119 || free_slots == 0) break;
    dl.rgDListPageEnt[dl.cEntDList++] = (k & 0xFFFFF) | (free_slots << 20);
  }
  dl.ulCurrentPage = dens.empty() ? 0 : dens.front().second;
  auto d = WritePage(kPtypeDL, reinterpret_cast<const uint8_t*>(&dl), kDListOffset);
  if (!d.ok()) return d.status();
  return sync ? file_->Sync() : Status::Ok();
}

void NodeDatabase::DescribeSpace() {
  ROOT& r = header_.root;
  r.ibFileEof = space_.file_end();
  r.ibAMapLast = space_.last_amap_offset();
  r.cbAMapFree = space_.FreeBytesForCommit();
  r.cbPMapFree = 0;
  r.fAMapValid = kValidAMap2;
}

Status NodeDatabase::Commit() {
  if (!dirty_) return Status::Ok();
  BALEPORT_RETURN_IF_ERROR(FlushWrites());
  const ROOT committed = header_.root;
  // Pages replaced here stay reserved until the new header is durable (the committed
  // bitmap keeps them); on failure they are marked in use again.
  std::vector<uint64_t> freed;
  auto fail = [&](Status s) {
    for (uint64_t ib : freed) space_.MarkExisting(ib, kPageSize);
    header_.root = committed;
    return s;
  };

  auto nbt_records = [this](uint64_t lower, uint64_t upper, bool to_end) {
    std::string out;
    for (auto it = nodes_.lower_bound(static_cast<uint32_t>(lower)); it != nodes_.end() && (to_end || it->first < upper); ++it) {
      NBTENTRY e{it->first, it->second.bid_data, it->second.bid_sub, it->second.nid_parent, 0};
      out.append(reinterpret_cast<const char*>(&e), sizeof e);
    }
    return out;
  };
  auto bbt_records = [this](uint64_t lower, uint64_t upper, bool to_end) {
    std::string out;
    for (auto it = blocks_.lower_bound(lower); it != blocks_.end() && (to_end || it->first < upper); ++it) {
      BBTENTRY e{BREF{it->first, it->second.ib}, it->second.cb, it->second.cref, 0};
      out.append(reinterpret_cast<const char*>(&e), sizeof e);
    }
    return out;
  };
  std::sort(touched_nodes_.begin(), touched_nodes_.end());
  std::sort(touched_blocks_.begin(), touched_blocks_.end());
  touched_blocks_.erase(std::unique(touched_blocks_.begin(), touched_blocks_.end()), touched_blocks_.end());
  std::erase_if(touched_blocks_, [this](uint64_t bid) {
    if (bid >= committed_next_bid_) return false;  // new since the last commit
    auto before = committed_entries_.find(bid);
    if (before == committed_entries_.end()) return false;
    const BlockInfo* now = FindBlock(bid);
    return now && now->ib == before->second.ib && now->cb == before->second.cb && now->cref == before->second.cref;
  });
  TreeLevels& new_nbt = nbt_spare_;
  TreeLevels& new_bbt = bbt_spare_;
  auto nbt_root = WriteTree(nbt_records, touched_nodes_, sizeof(NBTENTRY), kPtypeNBT, kNbtLeafMax, nbt_levels_, new_nbt, freed);
  if (!nbt_root.ok()) return fail(nbt_root.status());
  auto bbt_root = WriteTree(bbt_records, touched_blocks_, sizeof(BBTENTRY), kPtypeBBT, kBbtLeafMax, bbt_levels_, new_bbt, freed);
  if (!bbt_root.ok()) return fail(bbt_root.status());

  // The AMaps are rewritten in place with the old and the new state marked, which has less
  // free space than the committed header says. Lower the header's figure first, so that no
  // header ever claims more free space than its maps show, wherever the process stops.
  Status s = Status::Ok();
  if (committed.cbAMapFree > 0 && committed.fAMapValid != kInvalidAMap) {
    const uint64_t old_sections = (committed.ibFileEof - kFirstAMapOffset) / kSectionSize;
    const uint64_t claimed = committed.cbAMapFree;  // a packed field: no reference to it
    header_.root.cbAMapFree = std::min(claimed, space_.FreeBytesForCommit(old_sections));
    s = WriteHeader(true);
  }
  if (s.ok() && file_size_ < space_.file_end()) {
    s = file_->Truncate(space_.file_end());
    if (s.ok()) file_size_ = space_.file_end();
  }
  if (s.ok()) s = WriteMaps(true);
  if (!s.ok()) return fail(s);
  DescribeSpace();
  header_.root.BREFNBT = *nbt_root;
  header_.root.BREFBBT = *bbt_root;
  s = WriteHeader(true);
  if (!s.ok()) return fail(s);
  std::swap(nbt_levels_, nbt_spare_);
  std::swap(bbt_levels_, bbt_spare_);
  touched_nodes_.clear();
  touched_blocks_.clear();
  committed_entries_.clear();
  committed_next_bid_ = header_.bidNextB;
  // Committed. Release what only the previous commit used and record the exact maps.
  space_.CommitDone();
  dirty_ = false;
  // Tidying only: if it is lost, the maps still cover the commit, with space to spare.
  BALEPORT_RETURN_IF_ERROR(WriteMaps(false));
  space_.MarkSectionsWritten();
  DescribeSpace();
  return WriteHeader(false);
}

StreamWriter::~StreamWriter() {
  if (finished_) return;
  for (size_t i = 0; i < leaves_.size(); ++i) {
    if (reused_[i]) {
      (void)db_->Release(leaves_[i]);  // only drops the reference taken here
    } else {
      db_->ForgetBlock(leaves_[i]);
    }
  }
}

Status StreamWriter::FlushPending() {
  const size_t i = leaves_.size();
  if (i < previous_.size() && db_->ReuseIfSame(previous_[i], pending_)) {
    leaves_.push_back(previous_[i]);
    reused_.push_back(true);
    leaf_sizes_.push_back(static_cast<uint32_t>(pending_.size()));
    pending_.clear();
    return Status::Ok();
  }
  auto bid = db_->WriteBlock(pending_, false);
  if (!bid.ok()) return bid.status();
  leaves_.push_back(*bid);
  reused_.push_back(false);
  leaf_sizes_.push_back(static_cast<uint32_t>(pending_.size()));
  pending_.clear();
  return Status::Ok();
}

Status StreamWriter::Write(std::string_view data) {
  size_ += data.size();
  while (!data.empty()) {
    size_t take = std::min<size_t>(data.size(), kMaxBlockData - pending_.size());
    pending_.append(data.data(), take);
    data.remove_prefix(take);
    if (pending_.size() == kMaxBlockData) BALEPORT_RETURN_IF_ERROR(FlushPending());
  }
  return Status::Ok();
}

Status StreamWriter::AppendBlock(std::string_view block) {
  size_ += block.size();
  pending_.assign(block.data(), block.size());
  return FlushPending();
}

Result<uint64_t> StreamWriter::Finish() {
  if (!pending_.empty() || leaves_.empty()) BALEPORT_RETURN_IF_ERROR(FlushPending());
  if (size_ > 0xFFFFFFFFull) return Status::Error("a stream of " + std::to_string(size_) + " bytes exceeds the 4 GiB a value may hold");
  uint64_t result;
  if (leaves_.size() == 1) {
    result = leaves_[0];
  } else {
    // XBLOCKs of up to 1021 leaves; an XXBLOCK above them when one is not enough.
    std::vector<uint64_t> xblocks;
    std::vector<uint64_t> xsizes;
    for (size_t i = 0; i < leaves_.size(); i += kXBlockMaxEntries) {
      size_t n = std::min<size_t>(kXBlockMaxEntries, leaves_.size() - i);
      uint64_t total = 0;
      std::string blk(sizeof(XBLOCK_HEADER), '\0');
      for (size_t j = i; j < i + n; ++j) {
        AppendLe<uint64_t>(blk, leaves_[j]);
        total += leaf_sizes_[j];
      }
      XBLOCK_HEADER h{0x01, 0x01, static_cast<uint16_t>(n), static_cast<uint32_t>(total)};
      std::memcpy(blk.data(), &h, sizeof h);
      auto bid = db_->WriteBlock(blk, true);
      if (!bid.ok()) {
        for (uint64_t x : xblocks) db_->ForgetBlock(x);
        return bid;
      }
      xblocks.push_back(*bid);
      xsizes.push_back(total);
    }
    if (xblocks.size() == 1) {
      result = xblocks[0];
    } else {
      if (xblocks.size() > kXBlockMaxEntries) return Status::Error("stream too large for a data tree");
      std::string blk(sizeof(XBLOCK_HEADER), '\0');
      for (uint64_t x : xblocks) AppendLe<uint64_t>(blk, x);
      XBLOCK_HEADER h{0x01, 0x02, static_cast<uint16_t>(xblocks.size()), static_cast<uint32_t>(size_)};
      std::memcpy(blk.data(), &h, sizeof h);
      auto bid = db_->WriteBlock(blk, true);
      if (!bid.ok()) {
        for (uint64_t x : xblocks) db_->ForgetBlock(x);
        return bid;
      }
      result = *bid;
    }
  }
  finished_ = true;
  return result;
}

}  // namespace baleport::pst::ndb
