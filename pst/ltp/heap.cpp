#include "pst/ltp/heap.h"

#include <cstring>

#include "pst/disk/bytes.h"
#include "pst/disk/layout.h"

namespace baleport::pst::ltp {

using disk::Load;
using disk::Store;

namespace {

constexpr uint8_t kHeapSig = 0xEC;

bool IsBitmapBlock(size_t i) { return i >= 8 && (i - 8) % 128 == 0; }

// Fill-level nibble for the free bytes of a block (§2.3.1.2).
uint8_t FillLevel(size_t free_bytes) {
  static constexpr size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
  for (uint8_t i = 0; i < 15; ++i) {
    if (free_bytes >= kLimits[i]) return i;
  }
  return 15;
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
    size_t hdr = i == 0 ? 12 : IsBitmapBlock(i) ? 66 : 2;
    if (b.size() < hdr + 4) return bad("block " + std::to_string(i) + " is too short");
    uint16_t ibHnpm = Load<uint16_t>(b, 0);
    if (i == 0) {
      if (static_cast<uint8_t>(b[2]) != kHeapSig) return bad("lacks its signature");
      h.client_sig_ = static_cast<uint8_t>(b[3]);
      h.user_root_ = Load<uint32_t>(b, 4);
    }
    if (ibHnpm < hdr || ibHnpm + 4u > b.size()) return bad("block " + std::to_string(i) + " has a bad page map offset");
    uint16_t cAlloc = Load<uint16_t>(b, ibHnpm);
    if (ibHnpm + 4u + 2u * (cAlloc + 1u) > b.size()) return bad("block " + std::to_string(i) + " has a truncated page map");
    std::vector<uint16_t> offs(cAlloc + 1u);
    for (size_t j = 0; j <= cAlloc; ++j) {
      offs[j] = Load<uint16_t>(b, ibHnpm + 4 + 2 * j);
      if (offs[j] < hdr || offs[j] > ibHnpm || (j > 0 && offs[j] < offs[j - 1])) {
        return bad("block " + std::to_string(i) + " has items out of place");
      }
    }
    h.allocs_.push_back(std::move(offs));
  }
  h.blocks_ = std::move(blocks);
  return h;
}

Result<std::string_view> Heap::Get(uint32_t hid) const {
  if (hid == 0) return std::string_view();
  uint32_t block = hid >> 16, index = (hid >> 5) & 0x7FF;
  if (!IsHid(hid) || index == 0 || block >= blocks_.size() || index >= allocs_[block].size()) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", hid);
    return Status::Error(where_ + ": heap item " + buf + " does not exist");
  }
  const auto& offs = allocs_[block];
  return std::string_view(blocks_[block]).substr(offs[index - 1], offs[index] - offs[index - 1]);
}

size_t HeapBuilder::HeaderSize(size_t index) { return index == 0 ? 12 : IsBitmapBlock(index) ? 66 : 2; }

bool HeapBuilder::Fits(const Block& b, size_t index, size_t more) const {
  size_t used = HeaderSize(index) + b.bytes + more;
  used += used & 1;
  return used + 4 + 2 * (b.items.size() + 2) <= disk::kMaxBlockData && b.items.size() < 0x7FE;
}

Result<uint32_t> HeapBuilder::Allocate(std::string_view bytes) {
  if (bytes.size() > kMaxHeapItem) return Status::Error("a heap item of " + std::to_string(bytes.size()) + " bytes is too big");
  if (!Fits(blocks_.back(), blocks_.size() - 1, bytes.size())) {
    if (blocks_.size() == 0xFFFF) return Status::Error("a heap grew past 65535 blocks");
    blocks_.emplace_back();
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
  std::vector<uint8_t> fill;
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const Block& b = blocks_[i];
    std::string s(HeaderSize(i), '\0');
    std::vector<uint16_t> offs;
    for (const auto& item : b.items) {
      offs.push_back(static_cast<uint16_t>(s.size()));
      s += item;
    }
    offs.push_back(static_cast<uint16_t>(s.size()));
    if (s.size() & 1) s.push_back('\0');
    Store<uint16_t>(s.data(), static_cast<uint16_t>(s.size()));
    disk::Append<uint16_t>(s, static_cast<uint16_t>(b.items.size()));
    disk::Append<uint16_t>(s, 0);
    for (uint16_t o : offs) disk::Append<uint16_t>(s, o);
    fill.push_back(FillLevel(disk::kMaxBlockData - s.size()));
    out.push_back(std::move(s));
  }
  // Headers that carry fill levels: block 0 for blocks 0..7, bitmap blocks for the next 128.
  auto put_levels = [&](std::string& s, size_t at, size_t first, size_t count) {
    for (size_t j = 0; j < count && first + j < fill.size(); ++j) {
      uint8_t& byte = reinterpret_cast<uint8_t&>(s[at + j / 2]);
      byte |= static_cast<uint8_t>((j % 2 == 0) ? fill[first + j] : fill[first + j] << 4);
    }
  };
  std::string& b0 = out[0];
  b0[2] = static_cast<char>(kHeapSig);
  b0[3] = static_cast<char>(client_sig_);
  Store<uint32_t>(b0.data() + 4, user_root_);
  if (out.size() > 1) put_levels(b0, 8, 0, 8);
  for (size_t i = 8; i < out.size(); i += 128) put_levels(out[i], 2, i, 128);
  return out;
}

}  // namespace baleport::pst::ltp
