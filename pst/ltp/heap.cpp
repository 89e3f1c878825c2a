#include "pst/ltp/heap.h"

#include <cstring>

#include "pst/disk/layout.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::pst::ltp {


namespace {

constexpr uint8_t kHeapSig = 0xEC;

bool IsBitmapBlock(size_t i) { return i >= 8 && (i - 8) % 128 == 0; }
size_t HeaderSize(size_t index) { return index == 0 ? 12 : IsBitmapBlock(index) ? 66 : 2; }

// Fill-level nibble for the free bytes of a block (§2.3.1.2).
uint8_t FillLevel(size_t free_bytes) {
  static constexpr size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
  for (uint8_t i = 0; i < 15; ++i) {
    if (free_bytes >= kLimits[i]) return i;
  }
  return 15;
}

// Whether a block with this header holds `count` items of `bytes` in all.
bool Fits(size_t header, size_t bytes, size_t count) {
  size_t used = header + bytes;
  used += used & 1;
  return used + 4 + 2 * (count + 1) <= disk::kMaxBlockData && count < 0x7FF;
}

// The page map of block `index`: item offsets (one more than items) and the freed count.
Status ParseBlock(std::string_view b, size_t index, std::vector<uint16_t>& offs, uint16_t& freed,
                  const std::function<Status(const std::string&)>& bad) {
  const size_t hdr = HeaderSize(index);
  if (b.size() < hdr + 4) return bad("block " + std::to_string(index) + " is too short");
  const uint16_t ibHnpm = LoadLe<uint16_t>(b, 0);  // every block's header begins with it
  if (ibHnpm < hdr || ibHnpm + sizeof(disk::HNPAGEMAP) > b.size()) {
    return bad("block " + std::to_string(index) + " has a bad page map offset");
  }
  disk::HNPAGEMAP map;
  std::memcpy(&map, b.data() + ibHnpm, sizeof map);
  const uint16_t cAlloc = map.cAlloc;
  freed = map.cFree;
  if (ibHnpm + 4u + 2u * (cAlloc + 1u) > b.size()) return bad("block " + std::to_string(index) + " has a truncated page map");
  offs.assign(cAlloc + 1u, 0);
  for (size_t j = 0; j <= cAlloc; ++j) {
    offs[j] = LoadLe<uint16_t>(b, ibHnpm + 4 + 2 * j);
    if (offs[j] < hdr || offs[j] > ibHnpm || (j > 0 && offs[j] < offs[j - 1])) {
      return bad("block " + std::to_string(index) + " has items out of place");
    }
  }
  return Status::Ok();
}

// A block laid out from its header bytes and items; fill levels in the header are kept.
std::string SerializeBlock(std::string header, const HeapItems& items, uint16_t freed) {
  std::string s = std::move(header);
  size_t bytes = s.size() + 1 + 4 + 2 * (items.size() + 1);  // the items, a pad byte, the page map
  for (const auto& item : items) bytes += item.size();
  s.reserve(bytes);  // one allocation: grown item by item it was reallocated and copied again and again
  std::vector<uint16_t> offs;
  offs.reserve(items.size() + 1);
  for (const auto& item : items) {
    offs.push_back(static_cast<uint16_t>(s.size()));
    s += item;
  }
  offs.push_back(static_cast<uint16_t>(s.size()));
  if (s.size() & 1) s.push_back('\0');
  StoreLe<uint16_t>(s.data(), static_cast<uint16_t>(s.size()));
  AppendLe<uint16_t>(s, static_cast<uint16_t>(items.size()));
  AppendLe<uint16_t>(s, freed);
  for (uint16_t o : offs) AppendLe<uint16_t>(s, o);
  return s;
}

// Fill levels live in block 0 (for blocks 0..7) and in every bitmap block (for it and the
// next 127): the header block and nibble position for block `index`.
std::pair<size_t, size_t> LevelSlot(size_t index) {
  if (index < 8) return {0, 8 * 2 + index};
  const size_t holder = 8 + (index - 8) / 128 * 128;
  return {holder, 2 * 2 + (index - holder)};
}

void PutLevel(std::string& header, size_t nibble, uint8_t level) {
  uint8_t& byte = reinterpret_cast<uint8_t&>(header[nibble / 2]);
  byte = nibble % 2 == 0 ? static_cast<uint8_t>((byte & 0xF0) | level) : static_cast<uint8_t>((byte & 0x0F) | level << 4);
}

}  // namespace

Result<Heap> Heap::Parse(std::vector<std::string> blocks, std::string where) {
  Heap h;
  h.where_ = std::move(where);
  auto bad = [&](const std::string& what) { return Status::Error(h.where_ + ": heap " + what); };
  if (blocks.empty()) return bad("has no blocks");
  if (blocks.size() > 0xFFFF) return bad("has too many blocks");
  for (size_t i = 0; i < blocks.size(); ++i) {
    const std::string& b = blocks[i];
    if (i == 0) {
      disk::HNHDR hnhdr;
      if (b.size() < sizeof hnhdr) return bad("lacks its signature");
      std::memcpy(&hnhdr, b.data(), sizeof hnhdr);
      if (hnhdr.bSig != kHeapSig) return bad("lacks its signature");
      h.client_sig_ = hnhdr.bClientSig;
      h.user_root_ = hnhdr.hidUserRoot;
    }
    std::vector<uint16_t> offs;
    uint16_t freed;
    BALEPORT_RETURN_IF_ERROR(ParseBlock(b, i, offs, freed, bad));
    h.allocs_.push_back(std::move(offs));
  }
  h.blocks_ = std::move(blocks);
  return h;
}

Result<std::string_view> Heap::Get(uint32_t hid) const {
  if (hid == 0) return std::string_view();
  uint32_t block = hid >> 16, index = (hid >> 5) & 0x7FF;
  if (!IsHid(hid) || index == 0 || block >= blocks_.size() || index >= allocs_[block].size()) {
    return Status::Error(where_ + ": heap item " + HexNumber(hid) + " does not exist");
  }
  const auto& offs = allocs_[block];
  return std::string_view(blocks_[block]).substr(offs[index - 1], offs[index] - offs[index - 1]);
}

bool HeapBuilder::Fits(const Block& b, size_t index, size_t more) const {
  return ltp::Fits(HeaderSize(index), b.bytes + more, b.items.size() + 1);
}

Result<uint32_t> HeapBuilder::Allocate(std::string_view bytes) {
  if (bytes.size() > kMaxHeapItem) return Status::Error("a heap item of " + std::to_string(bytes.size()) + " bytes is too big");
  if (!Fits(blocks_.back(), blocks_.size() - 1, bytes.size())) {
    if (blocks_.size() == 0xFFFF) return Status::Error("a heap grew past 65535 blocks");
    blocks_.emplace_back(arena_.get());
  }
  Block& b = blocks_.back();
  b.items.emplace_back(bytes);
  b.bytes += bytes.size();
  return static_cast<uint32_t>(((blocks_.size() - 1) << 16) | (b.items.size() << 5));
}

void HeapBuilder::Replace(uint32_t hid, std::string_view bytes) {
  Block& b = blocks_[hid >> 16];
  b.items[((hid >> 5) & 0x7FF) - 1].assign(bytes);
}

std::vector<std::string> HeapBuilder::Finish() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < blocks_.size(); ++i) out.push_back(SerializeBlock(std::string(HeaderSize(i), '\0'), blocks_[i].items, 0));
  std::string& b0 = out[0];
  b0[2] = static_cast<char>(kHeapSig);
  b0[3] = static_cast<char>(client_sig_);
  StoreLe<uint32_t>(b0.data() + 4, user_root_);
  for (size_t i = 0; i < out.size(); ++i) {
    auto [holder, nibble] = LevelSlot(i);
    PutLevel(out[holder], nibble, FillLevel(disk::kMaxBlockData - out[i].size()));
  }
  for (size_t i = 0; i + 1 < out.size(); ++i) out[i].resize(disk::kMaxBlockData, '\0');
  return out;
}

Result<HeapEditor::Block*> HeapEditor::Load(size_t index) {
  if (auto it = blocks_.find(index); it != blocks_.end()) return &it->second;
  if (index >= count_) return Status::Error(where_ + ": heap block " + std::to_string(index) + " does not exist");
  auto bytes = read_(index);
  if (!bytes.ok()) return bytes.status();
  auto bad = [&](const std::string& what) { return Status::Error(where_ + ": heap " + what); };
  if (index == 0 && (bytes->size() < 12 || static_cast<uint8_t>((*bytes)[2]) != kHeapSig)) return bad("lacks its signature");
  std::vector<uint16_t> offs;
  uint16_t freed = 0;
  BALEPORT_RETURN_IF_ERROR(ParseBlock(*bytes, index, offs, freed, bad));
  Block& b = blocks_.try_emplace(index, arena_.get()).first->second;
  b.freed = freed;
  b.header = bytes->substr(0, HeaderSize(index));
  for (size_t j = 0; j + 1 < offs.size(); ++j) b.items.emplace_back(std::string_view(*bytes).substr(offs[j], offs[j + 1] - offs[j]));
  b.bytes = offs.back() - offs.front();
  return &b;
}

Result<std::pair<HeapEditor::Block*, size_t>> HeapEditor::Item(uint32_t hid) {
  const uint32_t index = (hid >> 5) & 0x7FF;
  Block* block = nullptr;
  if (IsHid(hid) && index > 0 && (hid >> 16) < count_) {
    auto b = Load(hid >> 16);
    if (!b.ok()) return b.status();
    block = *b;
  }
  if (!block || index > block->items.size()) {
    return Status::Error(where_ + ": heap item " + HexNumber(hid) + " does not exist");
  }
  return std::pair{block, size_t{index - 1}};
}

Result<uint8_t> HeapEditor::client_sig() {
  auto b = Load(0);
  if (!b.ok()) return b.status();
  return static_cast<uint8_t>((*b)->header[3]);
}

Result<uint32_t> HeapEditor::user_root() {
  auto b = Load(0);
  if (!b.ok()) return b.status();
  return LoadLe<uint32_t>((*b)->header, 4);
}

Result<std::string_view> HeapEditor::Get(uint32_t hid) {
  auto item = Item(hid);
  if (!item.ok()) return item.status();
  return std::string_view(item->first->items[item->second]);
}

Result<uint32_t> HeapEditor::Allocate(std::string_view bytes) {
  if (bytes.size() > kMaxHeapItem) return Status::Error("a heap item of " + std::to_string(bytes.size()) + " bytes is too big");
  if (count_ == 0) return Status::Error(where_ + ": heap has no blocks");
  auto last = Load(count_ - 1);
  if (!last.ok()) return last.status();
  if (!Fits(HeaderSize(count_ - 1), (*last)->bytes + bytes.size(), (*last)->items.size() + 1)) {
    if (count_ == 0xFFFF) return Status::Error(where_ + ": heap grew past 65535 blocks");
    Block& fresh = blocks_.try_emplace(count_, arena_.get()).first->second;
    fresh.header.assign(HeaderSize(count_++), '\0');
    last = &fresh;
  }
  Block& b = **last;
  b.items.emplace_back(bytes);
  b.bytes += bytes.size();
  b.dirty = true;
  return static_cast<uint32_t>(((count_ - 1) << 16) | (b.items.size() << 5));
}

Result<bool> HeapEditor::Replace(uint32_t hid, std::string_view bytes) {
  auto item = Item(hid);
  if (!item.ok()) return item.status();
  auto [b, i] = *item;
  const size_t bytes_after = b->bytes - b->items[i].size() + bytes.size();
  if (!Fits(HeaderSize(hid >> 16), bytes_after, b->items.size())) return false;
  b->bytes = bytes_after;
  b->items[i].assign(bytes);
  b->dirty = true;
  return true;
}

Status HeapEditor::Free(uint32_t hid) {
  auto item = Item(hid);
  if (!item.ok()) return item.status();
  auto [b, i] = *item;
  b->bytes -= b->items[i].size();
  b->items[i].clear();
  ++b->freed;
  b->dirty = true;
  return Status::Ok();
}

Result<std::map<size_t, std::string>> HeapEditor::Finish() {
  std::map<size_t, std::string> out;
  std::map<size_t, uint8_t> levels;
  if (count_ > stored_count_ && stored_count_ > 0) {
    // The old last block is followed now: it is padded to full size.
    auto last = Load(stored_count_ - 1);
    if (!last.ok()) return last.status();
    (*last)->dirty = true;
  }
  for (auto& [i, b] : blocks_) {
    if (!b.dirty) continue;
    out[i] = SerializeBlock(b.header, b.items, b.freed);
    levels[i] = FillLevel(disk::kMaxBlockData - out[i].size());
  }
  for (auto [i, level] : levels) {
    auto [holder, nibble] = LevelSlot(i);
    auto h = Load(holder);
    if (!h.ok()) return h.status();
    PutLevel((*h)->header, nibble, level);
    (*h)->dirty = true;
  }
  // Holders whose header changed come out again, with their own level set above.
  for (auto& [i, b] : blocks_) {
    if (b.dirty) out[i] = SerializeBlock(b.header, b.items, b.freed);
  }
  for (auto& [i, bytes] : out) {
    if (i + 1 < count_) bytes.resize(disk::kMaxBlockData, '\0');
  }
  return out;
}

}  // namespace baleport::pst::ltp
