#include "msg/compound_writer.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "support/little_endian.h"

namespace baleport::msg {
namespace {

constexpr uint32_t kSector = 512;  // version 3: the form every reader takes
constexpr uint32_t kMini = 64;
constexpr uint64_t kCutoff = 4096;
constexpr uint32_t kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD, kDifSect = 0xFFFFFFFC;
constexpr uint32_t kEnd = CompoundFile::kEndOfChain, kNone = CompoundFile::kNoEntry;

struct Node {
  uint32_t source = 0;  // entry in the file read
  bool storage = false;
  uint64_t size = 0;
  std::u16string_view name;
  uint32_t left = kNone, right = kNone, child = kNone;
  bool red = false;
  uint32_t start = kEnd;  // first sector, or first mini sector below the cutoff
  bool big() const { return !storage && size >= kCutoff; }
  bool mini() const { return !storage && size > 0 && size < kCutoff; }
};

uint64_t Ceil(uint64_t n, uint64_t unit) { return (n + unit - 1) / unit; }

// The order readers search a storage's tree in: shorter names first, then by upper case.
bool Before(std::u16string_view a, std::u16string_view b) {
  auto upper = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ? c - 0x20 : c; };
  if (a.size() != b.size()) return a.size() < b.size();
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

// A balanced tree over sorted[lo, hi): every level full but the last, whose nodes are red, so
// that it is a valid red-black tree.
uint32_t BuildTree(std::vector<Node>& nodes, const std::vector<uint32_t>& sorted, size_t lo, size_t hi, int depth,
                   int red_depth) {
  if (lo >= hi) return kNone;
  const size_t mid = lo + (hi - lo) / 2;
  Node& node = nodes[sorted[mid]];  // the recursion adds no nodes, so this stays valid
  node.red = depth == red_depth;
  node.left = BuildTree(nodes, sorted, lo, mid, depth + 1, red_depth);
  node.right = BuildTree(nodes, sorted, mid + 1, hi, depth + 1, red_depth);
  return sorted[mid];
}

// The output, counted for the padding to a sector's end (the sink buffers it).
class Out {
 public:
  explicit Out(const std::function<Status(std::span<const uint8_t>)>& write) : write_(write) {}
  Status Put(std::span<const uint8_t> bytes) {
    written_ += bytes.size();
    return bytes.empty() ? Status::Ok() : write_(bytes);
  }
  Status Le32(uint32_t v) {
    uint8_t b[4];
    StoreLe<uint32_t>(b, v);
    return Put(b);
  }
  // The FAT (or mini FAT) entries of a chain through `count` consecutive sectors.
  Status Chain(uint64_t start, uint64_t count) {
    for (uint64_t k = 1; k <= count; ++k) BALEPORT_RETURN_IF_ERROR(Le32(k == count ? kEnd : static_cast<uint32_t>(start + k)));
    return Status::Ok();
  }
  Status PadTo(uint64_t unit, uint8_t fill = 0) { return Put(std::vector<uint8_t>(Ceil(written_, unit) * unit - written_, fill)); }

 private:
  const std::function<Status(std::span<const uint8_t>)>& write_;
  uint64_t written_ = 0;
};

// A stream's bytes, then padding to the end of its (mini) sector.
Status CopyStream(const CompoundFile& file, const Node& n, Out& out) {
  std::vector<uint8_t> scratch;
  for (uint64_t at = 0; at < n.size;) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n.size - at, 64u << 10));
    Result<std::span<const uint8_t>> bytes = file.View(n.source, at, take, &scratch);
    if (!bytes.ok()) return bytes.status();
    BALEPORT_RETURN_IF_ERROR(out.Put(*bytes));
    at += take;
  }
  return out.PadTo(n.big() ? kSector : kMini);
}

}  // namespace

Status WriteStorageAsCompoundFile(const Storage& storage, const std::function<Status(std::span<const uint8_t>)>& write) {
  const CompoundFile& file = storage.file();
  std::vector<Node> nodes{{.source = storage.id(), .storage = true, .name = u"Root Entry"}};
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!nodes[i].storage) continue;
    std::vector<uint32_t> sorted;  // the storage's children, in tree order
    for (uint32_t child : file.children(nodes[i].source)) {
      sorted.push_back(static_cast<uint32_t>(nodes.size()));
      const bool is_storage = file.kind(child) == CompoundFile::Kind::kStorage;
      nodes.push_back({.source = child, .storage = is_storage, .size = is_storage ? 0 : file.size(child),
                       .name = file.name(child)});
    }
    std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) { return Before(nodes[a].name, nodes[b].name); });
    int full_levels = 0;
    while ((size_t{2} << full_levels) - 1 <= sorted.size()) ++full_levels;
    const int red_depth = (size_t{1} << full_levels) - 1 == sorted.size() ? -1 : full_levels;
    nodes[i].child = BuildTree(nodes, sorted, 0, sorted.size(), 0, red_depth);
  }

  // Layout: big streams, the mini stream, the directory, the mini FAT, the FAT, the DIFAT.
  uint64_t sectors = 0, minis = 0;
  for (Node& n : nodes) {
    if (n.big()) {
      n.start = static_cast<uint32_t>(sectors);
      sectors += Ceil(n.size, kSector);
    } else if (n.mini()) {
      n.start = static_cast<uint32_t>(minis);
      minis += Ceil(n.size, kMini);
    }
  }
  const uint64_t mini_start = sectors, mini_sectors = Ceil(minis * kMini, kSector);
  const uint64_t dir_start = mini_start + mini_sectors, dir_sectors = Ceil(nodes.size(), kSector / 128);
  const uint64_t minifat_start = dir_start + dir_sectors, minifat_sectors = Ceil(minis, kSector / 4);
  const uint64_t fat_start = minifat_start + minifat_sectors;
  // The FAT maps its own sectors and the DIFAT's too: the least count that covers them all.
  auto difat_for = [](uint64_t fat) { return fat > 109 ? Ceil(fat - 109, kSector / 4 - 1) : 0; };
  uint64_t fat_sectors = 0;
  while (Ceil(fat_start + fat_sectors + difat_for(fat_sectors), kSector / 4) != fat_sectors) ++fat_sectors;
  const uint64_t difat_sectors = difat_for(fat_sectors);
  const uint64_t difat_start = fat_start + fat_sectors, total = difat_start + difat_sectors;
  if (total >= kDifSect) return Status::Error(storage.path() + ": too large to copy as a compound file");
  nodes[0].start = minis > 0 ? static_cast<uint32_t>(mini_start) : kEnd;
  nodes[0].size = minis * kMini;

  Out out(write);
  std::array<uint8_t, 512> header{};
  std::ranges::copy(CompoundFile::kSignature, header.begin());
  StoreLe<uint16_t>(&header[0x18], 0x3E);
  StoreLe<uint16_t>(&header[0x1A], 3);
  StoreLe<uint16_t>(&header[0x1C], 0xFFFE);
  StoreLe<uint16_t>(&header[0x1E], 9);
  StoreLe<uint16_t>(&header[0x20], 6);
  StoreLe<uint32_t>(&header[0x2C], static_cast<uint32_t>(fat_sectors));
  StoreLe<uint32_t>(&header[0x30], static_cast<uint32_t>(dir_start));
  StoreLe<uint32_t>(&header[0x38], static_cast<uint32_t>(kCutoff));
  StoreLe<uint32_t>(&header[0x3C], minifat_sectors > 0 ? static_cast<uint32_t>(minifat_start) : kEnd);
  StoreLe<uint32_t>(&header[0x40], static_cast<uint32_t>(minifat_sectors));
  StoreLe<uint32_t>(&header[0x44], difat_sectors > 0 ? static_cast<uint32_t>(difat_start) : kEnd);
  StoreLe<uint32_t>(&header[0x48], static_cast<uint32_t>(difat_sectors));
  for (uint32_t i = 0; i < 109; ++i) StoreLe<uint32_t>(&header[0x4C + 4 * i], i < fat_sectors ? static_cast<uint32_t>(fat_start + i) : kFree);
  BALEPORT_RETURN_IF_ERROR(out.Put(header));

  for (const bool big : {true, false}) {
    for (const Node& n : nodes) {
      if (big ? n.big() : n.mini()) BALEPORT_RETURN_IF_ERROR(CopyStream(file, n, out));
    }
  }
  BALEPORT_RETURN_IF_ERROR(out.PadTo(kSector));

  const Node unused;  // the directory's last sector is filled out with entries linked to nothing
  for (size_t i = 0; i < dir_sectors * (kSector / 128); ++i) {
    std::array<uint8_t, 128> e{};
    const Node& n = i < nodes.size() ? nodes[i] : unused;
    StoreLe<uint32_t>(&e[0x44], n.left);
    StoreLe<uint32_t>(&e[0x48], n.right);
    StoreLe<uint32_t>(&e[0x4C], n.child);
    if (i < nodes.size()) {
      const size_t length = std::min<size_t>(n.name.size(), 31);
      for (size_t k = 0; k < length; ++k) StoreLe<uint16_t>(&e[2 * k], n.name[k]);
      StoreLe<uint16_t>(&e[0x40], static_cast<uint16_t>(2 * (length + 1)));
      e[0x42] = i == 0 ? 5 : n.storage ? 1 : 2;
      e[0x43] = n.red ? 0 : 1;
      if (n.storage) std::ranges::copy(file.clsid(n.source), &e[0x50]);
      StoreLe<uint32_t>(&e[0x74], n.storage && i != 0 ? 0 : n.start);
      StoreLe<uint64_t>(&e[0x78], n.size);
    }
    BALEPORT_RETURN_IF_ERROR(out.Put(e));
  }

  // The mini FAT, then the FAT: each chain runs through consecutive sectors.
  for (const Node& n : nodes) {
    if (n.mini()) BALEPORT_RETURN_IF_ERROR(out.Chain(n.start, Ceil(n.size, kMini)));
  }
  BALEPORT_RETURN_IF_ERROR(out.PadTo(kSector, 0xFF));
  for (const Node& n : nodes) {
    if (n.big()) BALEPORT_RETURN_IF_ERROR(out.Chain(n.start, Ceil(n.size, kSector)));
  }
  BALEPORT_RETURN_IF_ERROR(out.Chain(mini_start, mini_sectors));
  BALEPORT_RETURN_IF_ERROR(out.Chain(dir_start, dir_sectors));
  BALEPORT_RETURN_IF_ERROR(out.Chain(minifat_start, minifat_sectors));
  for (uint64_t k = 0; k < fat_sectors + difat_sectors; ++k) BALEPORT_RETURN_IF_ERROR(out.Le32(k < fat_sectors ? kFatSect : kDifSect));
  BALEPORT_RETURN_IF_ERROR(out.PadTo(kSector, 0xFF));

  for (uint64_t d = 0; d < difat_sectors; ++d) {
    for (uint64_t k = 0; k < kSector / 4 - 1; ++k) {
      const uint64_t fat = 109 + d * (kSector / 4 - 1) + k;
      BALEPORT_RETURN_IF_ERROR(out.Le32(fat < fat_sectors ? static_cast<uint32_t>(fat_start + fat) : kFree));
    }
    BALEPORT_RETURN_IF_ERROR(out.Le32(d + 1 < difat_sectors ? static_cast<uint32_t>(difat_start + d + 1) : kEnd));
  }
  return Status::Ok();
}

}  // namespace baleport::msg
