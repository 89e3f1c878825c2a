#include "msg/directory_check.h"

#include <vector>

#include "msg/le.h"

namespace baleport::msg {
namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

class Sectors {
 public:
  Sectors(File& file, uint64_t file_size, uint32_t shift)
      : file_(file), size_(uint32_t{1} << shift), count_(file_size / size_ - 1) {}

  uint64_t count() const { return count_; }
  uint32_t size() const { return size_; }
  bool Exists(uint32_t sector) const { return sector < count_; }
  Status Read(uint32_t sector, std::vector<uint8_t>* out) {
    out->resize(size_);
    return file_.Read((uint64_t{sector} + 1) * size_, out->data(), size_);
  }

 private:
  File& file_;
  uint32_t size_;
  uint64_t count_;
};

// The FAT sector numbers: 109 in the header, the rest along the DIFAT chain.
Status LoadDifat(Sectors& sectors, const uint8_t* header, std::vector<uint32_t>* difat) {
  const uint64_t fat_sectors = std::min<uint64_t>(LoadLe32(header + 0x2C), sectors.count());
  for (uint32_t i = 0; i < 109 && difat->size() < fat_sectors; ++i) difat->push_back(LoadLe32(header + 0x4C + 4 * i));
  uint32_t next = LoadLe32(header + 0x44);
  std::vector<uint8_t> sector;
  for (uint64_t hops = 0; difat->size() < fat_sectors && sectors.Exists(next); ++hops) {
    if (hops > sectors.count()) return Status::Error("the DIFAT sector chain loops");
    BALEPORT_RETURN_IF_ERROR(sectors.Read(next, &sector));
    const uint32_t per_sector = sectors.size() / 4 - 1;
    for (uint32_t i = 0; i < per_sector && difat->size() < fat_sectors; ++i) {
      difat->push_back(LoadLe32(sector.data() + 4 * i));
    }
    next = LoadLe32(sector.data() + 4 * per_sector);
  }
  return Status::Ok();
}

struct Entry {
  uint8_t type = 0;
  uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  uint64_t size = 0;
};

}  // namespace

Status CheckDirectory(File& file, uint64_t file_size, const ReadLimits& limits) {
  uint8_t header[512];
  if (file_size < sizeof header) return Status::Ok();
  BALEPORT_RETURN_IF_ERROR(file.Read(0, header, sizeof header));
  if (!std::equal(kSignature, kSignature + 8, header)) return Status::Ok();
  const uint16_t shift = LoadLe16(header + 0x1E);
  if ((shift != 9 && shift != 12) || file_size < (uint64_t{2} << shift)) return Status::Ok();
  Sectors sectors(file, file_size, shift);
  std::vector<uint32_t> difat;
  BALEPORT_RETURN_IF_ERROR(LoadDifat(sectors, header, &difat).WithContext(file.path()));

  // Walk the directory chain, reading each FAT sector as it is needed.
  const uint32_t per_fat_sector = sectors.size() / 4;
  const uint32_t per_dir_sector = sectors.size() / 128;
  std::vector<uint8_t> fat_sector, dir_sector;
  uint64_t cached_fat = UINT64_MAX;
  std::vector<bool> seen(sectors.count());
  std::vector<Entry> entries;
  for (uint32_t s = LoadLe32(header + 0x30); s < kMaxRegularSector && sectors.Exists(s);) {
    if (seen[s]) return Status::Error(file.path() + ": the directory's sector chain loops");
    seen[s] = true;
    if (entries.size() + per_dir_sector > limits.max_directory_entries) {
      return Status::Error(file.path() + ": the directory has more than " +
                           std::to_string(limits.max_directory_entries) + " entries");
    }
    BALEPORT_RETURN_IF_ERROR(sectors.Read(s, &dir_sector));
    for (uint32_t i = 0; i < per_dir_sector; ++i) {
      const uint8_t* e = dir_sector.data() + 128 * i;
      // Version 3 files keep only 32 bits of size; old writers left garbage in the rest.
      const uint64_t size = shift == 9 ? LoadLe32(e + 0x78) : LoadLe64(e + 0x78);
      entries.push_back({e[0x42], LoadLe32(e + 0x44), LoadLe32(e + 0x48), LoadLe32(e + 0x4C), size});
    }
    const uint64_t k = s / per_fat_sector;
    if (k >= difat.size() || !sectors.Exists(difat[k])) break;  // libgsf reports the damage
    if (k != cached_fat) {
      BALEPORT_RETURN_IF_ERROR(sectors.Read(difat[k], &fat_sector));
      cached_fat = k;
    }
    s = LoadLe32(fat_sector.data() + 4 * (s % per_fat_sector));
  }

  // libgsf parses the tree by recursion along sibling and child links alike, and writers
  // that do not balance the tree (libgsf's own among them) make it as deep as it is long.
  std::vector<bool> reached(entries.size());
  {
    std::vector<std::pair<uint32_t, uint32_t>> pending{{0, 1}};  // entry, depth
    while (!pending.empty()) {
      const auto [id, depth] = pending.back();
      pending.pop_back();
      if (id >= entries.size() || reached[id]) continue;
      reached[id] = true;
      if (depth > limits.max_directory_depth) {
        return Status::Error(file.path() + ": the directory tree is deeper than " +
                             std::to_string(limits.max_directory_depth) + " levels");
      }
      for (uint32_t next : {entries[id].left, entries[id].right, entries[id].child}) pending.emplace_back(next, depth + 1);
    }
  }

  // Streams at or above the cutoff own their sectors; together they cannot hold more than the
  // file. More means chains that overlap, each of which libgsf would walk again.
  const uint32_t cutoff = LoadLe32(header + 0x38);
  uint64_t claimed = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!reached[i] || (entries[i].type != 2 && entries[i].type != 5) || entries[i].size < cutoff) continue;
    claimed += std::min<uint64_t>(entries[i].size, file_size + 1);
    if (claimed > file_size) {
      return Status::Error(file.path() + ": its streams claim more bytes than the file's " +
                           std::to_string(file_size) + "; the directory is damaged");
    }
  }

  // Count each storage's children: the red-black tree below its child id.
  std::vector<bool> visited(entries.size());
  std::vector<uint32_t> stack;
  for (const Entry& storage : entries) {
    if (storage.type != 1 && storage.type != 5) continue;
    uint32_t children = 0;
    stack.assign(1, storage.child);
    while (!stack.empty()) {
      const uint32_t id = stack.back();
      stack.pop_back();
      if (id >= entries.size() || visited[id]) continue;  // absent, or a loop libgsf cuts
      visited[id] = true;
      if (++children > limits.max_storage_children) {
        return Status::Error(file.path() + ": a storage has more than " +
                             std::to_string(limits.max_storage_children) + " entries");
      }
      stack.push_back(entries[id].left);
      stack.push_back(entries[id].right);
    }
  }
  return Status::Ok();
}

}  // namespace baleport::msg
