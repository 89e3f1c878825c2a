#include "msg/compound_file.h"

#include <algorithm>
#include <cstring>

#include "support/ascii_case.h"
#include "support/little_endian.h"

namespace baleport::msg {
namespace {

constexpr uint32_t kMiniShift = 6;
constexpr uint64_t kMiniCutoff = 4096;

// Who holds a sector, so that a chain running into another one is caught where it happens.
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kTables = 0xFFFFFFFE;  // DIFAT, FAT, mini FAT, directory

}  // namespace

// Reads and checks the tables; lives only during Open.
class CompoundFile::Builder {
 public:
  explicit Builder(CompoundFile& cf) : cf_(cf) {}

  Status Build(uint64_t file_size) {
    file_size_ = file_size;
    uint8_t header[512];
    BALEPORT_RETURN_IF_ERROR(cf_.ReadFile(0, header, sizeof header));
    if (!std::equal(kSignature, kSignature + 8, header)) return Fail("it is not a compound file, so not a message file");
    const uint16_t shift = LoadLe<uint16_t>(header + 0x1E);
    if ((shift != 9 && shift != 12) || LoadLe<uint16_t>(header + 0x20) != kMiniShift) {
      return Fail("its sector sizes (2^" + std::to_string(shift) + ", 2^" + std::to_string(LoadLe<uint16_t>(header + 0x20)) +
                  ") are not those of a compound file");
    }
    shift_ = shift;
    sector_size_ = uint32_t{1} << shift;
    if (file_size < sector_size_) return Fail("it is shorter than its header");
    sector_count_ = (file_size - 1) / sector_size_;  // the last one may be cut short
    owner_.assign(sector_count_, kFree);
    BALEPORT_RETURN_IF_ERROR(LoadFat(header));
    std::vector<uint32_t> chain;
    BALEPORT_RETURN_IF_ERROR(Walk(LoadLe<uint32_t>(header + 0x30), UINT64_MAX, kTables, "the directory", &chain));
    if (chain.empty()) return Fail("its directory is empty");
    BALEPORT_RETURN_IF_ERROR(ReadSectors(chain, &cf_.directory_));
    BALEPORT_RETURN_IF_ERROR(Walk(LoadLe<uint32_t>(header + 0x3C), UINT64_MAX, kTables, "the mini FAT", &chain));
    BALEPORT_RETURN_IF_ERROR(ReadSectors(chain, &mini_fat_));
    BALEPORT_RETURN_IF_ERROR(BuildTree());
    return PlaceStreams();
  }

 private:
  Status Fail(const std::string& why) const { return Status::Error(cf_.path_ + ": " + why); }

  uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) << shift_; }

  Status ReadSectors(const std::vector<uint32_t>& chain, std::vector<uint8_t>* out) const {
    out->assign(chain.size() * uint64_t{sector_size_}, 0);
    // One read for each run of consecutive sectors: a large directory is read in a few calls.
    for (size_t i = 0, end; i < chain.size(); i = end) {
      for (end = i + 1; end < chain.size() && chain[end] == chain[end - 1] + 1;) ++end;
      const uint64_t at = Offset(chain[i]);
      const size_t n = static_cast<size_t>(std::min<uint64_t>((end - i) * uint64_t{sector_size_}, file_size_ - at));
      BALEPORT_RETURN_IF_ERROR(cf_.ReadFile(at, out->data() + i * sector_size_, n));
    }
    return Status::Ok();
  }

  // Claims each sector for `owner` as it goes; refuses loops, chains that run into another
  // one, sectors past the end of the file, and chains longer than `max` sectors.
  Status Walk(uint32_t sector, uint64_t max, uint32_t owner, const std::string& what, std::vector<uint32_t>* chain) {
    chain->clear();
    while (sector != kEndOfChain && chain->size() < max) {
      if (sector >= sector_count_) {
        return Fail(what + " runs to sector " + std::to_string(sector) + ", past the end of the file");
      }
      if (owner_[sector] == owner) return Fail(what + " loops");
      if (owner_[sector] != kFree) {
        const std::string other = owner_[sector] == kTables ? "the file's tables" : cf_.Path(owner_[sector]);
        return Fail(what + " shares sector " + std::to_string(sector) + " with " + other);
      }
      owner_[sector] = owner;
      chain->push_back(sector);
      sector = sector < fat_.size() ? fat_[sector] : kEndOfChain;
    }
    return Status::Ok();
  }

  Status LoadFat(const uint8_t* header) {
    const uint32_t fat_sectors = LoadLe<uint32_t>(header + 0x2C);
    if (fat_sectors > sector_count_) return Fail("its FAT would be larger than the file");
    std::vector<uint32_t> fat_chain;
    for (uint32_t i = 0; i < 109 && fat_chain.size() < fat_sectors; ++i) fat_chain.push_back(LoadLe<uint32_t>(header + 0x4C + 4 * i));
    std::vector<uint8_t> sector(sector_size_);
    const uint32_t per_sector = sector_size_ / 4 - 1;
    for (uint32_t next = LoadLe<uint32_t>(header + 0x44); fat_chain.size() < fat_sectors;) {
      if (next >= sector_count_) return Fail("its DIFAT ends before naming all " + std::to_string(fat_sectors) + " FAT sectors");
      if (owner_[next] != kFree) return Fail("its DIFAT loops");
      owner_[next] = kTables;
      BALEPORT_RETURN_IF_ERROR(cf_.ReadFile(Offset(next), sector.data(), sector_size_));
      for (uint32_t i = 0; i < per_sector && fat_chain.size() < fat_sectors; ++i) fat_chain.push_back(LoadLe<uint32_t>(sector.data() + 4 * i));
      next = LoadLe<uint32_t>(sector.data() + 4 * per_sector);
    }
    const uint32_t per_fat = sector_size_ / 4;
    fat_.resize(std::min<uint64_t>(uint64_t{fat_sectors} * per_fat, sector_count_));
    for (uint32_t k = 0; k < fat_sectors && uint64_t{k} * per_fat < fat_.size(); ++k) {
      const uint32_t s = fat_chain[k];
      if (s >= sector_count_ || owner_[s] != kFree) return Fail("FAT sector " + std::to_string(k) + " is missing or used twice");
      owner_[s] = kTables;
      BALEPORT_RETURN_IF_ERROR(cf_.ReadFile(Offset(s), sector.data(), sector_size_));
      const size_t n = std::min<size_t>(per_fat, fat_.size() - uint64_t{k} * per_fat);
      for (size_t i = 0; i < n; ++i) fat_[uint64_t{k} * per_fat + i] = LoadLe<uint32_t>(sector.data() + 4 * i);
    }
    return Status::Ok();
  }

  // Each storage's children are the red-black tree below its child link. Every entry in use
  // must be reached exactly once: one reached twice would be read twice, one never reached
  // would hold data no one sees.
  Status BuildTree() {
    const size_t count = cf_.directory_.size() / 128;
    std::vector<Entry>& entries = cf_.entries_;
    entries.resize(count);
    cf_.names_.resize(32 * count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = cf_.raw(static_cast<uint32_t>(i));
      entries[i].kind = static_cast<Kind>(e[0x42]);
      const size_t length = std::min<size_t>(LoadLe<uint16_t>(e + 0x40), 64) / 2;
      for (uint8_t& n = entries[i].name_length; n < length && LoadLe<uint16_t>(e + 2 * n) != 0; ++n) {
        cf_.names_[32 * i + n] = LoadLe<uint16_t>(e + 2 * n);
      }
      // Version 3 files keep only 32 bits of size; old writers left garbage in the rest.
      entries[i].size = shift_ == 9 ? LoadLe<uint32_t>(e + 0x78) : LoadLe<uint64_t>(e + 0x78);
    }
    if (entries[kRoot].kind != Kind::kRoot) return Fail("its directory has no root entry");
    std::vector<bool> reached(count);
    reached[kRoot] = true;
    std::vector<uint32_t> storages{kRoot}, pending;
    for (size_t next = 0; next < storages.size(); ++next) {
      const uint32_t storage = storages[next];
      entries[storage].first_child = static_cast<uint32_t>(cf_.children_.size());
      pending.assign(1, LoadLe<uint32_t>(cf_.raw(storage) + 0x4C));
      while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoEntry) continue;
        if (id >= count) return Fail(cf_.Path(storage) + ": its directory tree points past the directory");
        if (reached[id]) return Fail(cf_.Path(storage) + ": its directory tree reaches entry " + std::to_string(id) + " twice");
        reached[id] = true;
        entries[id].parent = storage;
        const Kind kind = entries[id].kind;
        if (kind != Kind::kStorage && kind != Kind::kStream) {
          return Fail(cf_.Path(id) + ": directory entry of unknown type " + std::to_string(static_cast<int>(kind)));
        }
        cf_.children_.push_back(id);
        if (kind == Kind::kStorage) storages.push_back(id);
        pending.push_back(LoadLe<uint32_t>(cf_.raw(id) + 0x44));
        pending.push_back(LoadLe<uint32_t>(cf_.raw(id) + 0x48));
      }
      entries[storage].child_count = static_cast<uint32_t>(cf_.children_.size()) - entries[storage].first_child;
    }
    for (size_t i = 0; i < count; ++i) {
      if (!reached[i] && cf_.raw(static_cast<uint32_t>(i))[0x42] != 0) {
        return Fail("directory entry " + std::to_string(i) + " (\"" + cf_.name_utf8(static_cast<uint32_t>(i)) +
                    "\") is in use but outside the directory tree");
      }
    }
    return Status::Ok();
  }

  // Turns each stream's chain into runs of file offsets. The root's chain is the mini stream,
  // in which streams below the cutoff live in 64-byte mini sectors.
  Status PlaceStreams() {
    std::vector<Entry>& entries = cf_.entries_;
    const uint64_t mini_size = entries[kRoot].size;
    std::vector<uint32_t> chain, mini_chain;
    BALEPORT_RETURN_IF_ERROR(Walk(LoadLe<uint32_t>(cf_.raw(kRoot) + 0x74), SectorsFor(mini_size, shift_), kRoot,
                                  "the mini stream", &mini_chain));
    if (uint64_t{mini_chain.size()} << shift_ < mini_size) return Fail("the mini stream's chain is shorter than its size");
    std::vector<uint32_t> mini_owner(mini_fat_.size() / 4, kFree);
    for (uint32_t id = 1; id < entries.size(); ++id) {
      Entry& e = entries[id];
      if (e.kind != Kind::kStream || e.size == 0) continue;
      e.first_run = static_cast<uint32_t>(cf_.runs_.size());
      const uint32_t start = LoadLe<uint32_t>(cf_.raw(id) + 0x74);
      if (e.size >= kMiniCutoff) {
        const uint64_t needed = SectorsFor(e.size, shift_);
        if (needed > sector_count_) return Fail(cf_.Path(id) + ": its size of " + std::to_string(e.size) + " bytes is larger than the file");
        BALEPORT_RETURN_IF_ERROR(Walk(start, needed, id, cf_.Path(id), &chain));
        if (chain.size() < needed) return Fail(cf_.Path(id) + ": its sector chain ends before its " + std::to_string(e.size) + " bytes");
        for (size_t i = 0; i < chain.size(); ++i) AddRun(e, uint64_t{i} << shift_, Offset(chain[i]));
      } else {
        const uint64_t needed = SectorsFor(e.size, kMiniShift);
        uint32_t m = start;
        for (uint64_t i = 0; i < needed; ++i) {
          if (m >= mini_owner.size() || (uint64_t{m} + 1) << kMiniShift > mini_size) {
            return Fail(cf_.Path(id) + ": its mini sector chain leaves the mini stream");
          }
          if (mini_owner[m] != kFree) {
            return Fail(cf_.Path(id) + (mini_owner[m] == id ? ": its mini sector chain loops" : ": shares mini sector " + std::to_string(m) + " with " + cf_.Path(mini_owner[m])));
          }
          mini_owner[m] = id;
          const uint64_t in_mini = uint64_t{m} << kMiniShift;
          AddRun(e, i << kMiniShift, Offset(mini_chain[in_mini >> shift_]) + (in_mini & (sector_size_ - 1)));
          m = LoadLe<uint32_t>(mini_fat_.data() + 4 * uint64_t{m});
        }
      }
      e.run_count = static_cast<uint32_t>(cf_.runs_.size()) - e.first_run;
      const Run& last = cf_.runs_.back();
      if (last.file_offset + (e.size - last.stream_offset) > file_size_) {
        return Fail(cf_.Path(id) + ": its last bytes are past the end of the file");
      }
    }
    return Status::Ok();
  }

  static uint64_t SectorsFor(uint64_t bytes, uint32_t shift) { return (bytes + (uint64_t{1} << shift) - 1) >> shift; }

  void AddRun(Entry& e, uint64_t stream_offset, uint64_t file_offset) {
    if (cf_.runs_.size() > e.first_run) {
      const Run& last = cf_.runs_.back();
      if (last.file_offset + (stream_offset - last.stream_offset) == file_offset) return;
    }
    cf_.runs_.push_back({stream_offset, file_offset});
  }

  CompoundFile& cf_;
  uint64_t file_size_ = 0;
  uint32_t shift_ = 9, sector_size_ = 512;
  uint64_t sector_count_ = 0;
  std::vector<uint32_t> owner_, fat_;
  std::vector<uint8_t> mini_fat_;  // as stored: each mini sector's entry is read once
};

Result<std::unique_ptr<CompoundFile>> CompoundFile::Open(std::unique_ptr<File> file) {
  std::unique_ptr<CompoundFile> cf(new CompoundFile());
  cf->path_ = file->path();
  Result<uint64_t> size = file->Size();
  if (!size.ok()) return size.status();
  if (*size == 0) return Status::Error(cf->path_ + ": is empty, not a message file");
  if (*size < 512) return Status::Error(cf->path_ + ": at " + std::to_string(*size) + " bytes it is too short to be a message file");
  cf->file_ = std::move(file);
  if (*size <= kWholeFileLimit) {
    const size_t n = static_cast<size_t>(*size);
    cf->whole_ = std::make_unique_for_overwrite<uint8_t[]>(n);
    BALEPORT_RETURN_IF_ERROR(cf->file_->Read(0, cf->whole_.get(), n));
    cf->bytes_ = std::span<const uint8_t>(cf->whole_.get(), n);
  }
  BALEPORT_RETURN_IF_ERROR(Builder(*cf).Build(*size));
  return cf;
}

Status CompoundFile::ReadFile(uint64_t offset, void* dst, size_t n) const {
  if (bytes_.empty()) return file_->Read(offset, dst, n);
  if (offset > bytes_.size() || n > bytes_.size() - offset) {
    return Status::Error(path_ + ": reading " + std::to_string(n) + " bytes at offset " + std::to_string(offset) +
                         " goes past its end");
  }
  std::memcpy(dst, bytes_.data() + offset, n);
  return Status::Ok();
}

std::string CompoundFile::Path(uint32_t id) const {
  if (id == kRoot) return path_;
  std::string tail;
  for (uint32_t at = id; at != kRoot; at = entries_[at].parent) tail = "/" + name_utf8(at) + tail;
  return path_ + ":" + tail;
}

const CompoundFile::Run* CompoundFile::RunAt(const Entry& e, uint64_t offset) const {
  const Run* first = runs_.data() + e.first_run;
  return std::upper_bound(first, first + e.run_count, offset, [](uint64_t at, const Run& r) { return at < r.stream_offset; }) - 1;
}

uint64_t CompoundFile::RunEnd(const Entry& e, const Run* run) const {
  return run + 1 < runs_.data() + e.first_run + e.run_count ? run[1].stream_offset : e.size;
}

Status CompoundFile::Read(uint32_t id, uint64_t offset, void* dst, size_t n) const {
  const Entry& e = entries_[id];
  if (offset > e.size || n > e.size - offset) {
    return Status::Error(Path(id) + ": reading " + std::to_string(n) + " bytes at offset " + std::to_string(offset) +
                         " goes past its " + std::to_string(e.size) + " bytes");
  }
  for (auto [out, run] = std::pair(static_cast<uint8_t*>(dst), RunAt(e, offset)); n > 0; ++run) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n, RunEnd(e, run) - offset));
    Status read = ReadFile(run->file_offset + (offset - run->stream_offset), out, take);
    if (!read.ok()) return Status::Error(Path(id) + ": cannot be read (" + read.message() + ")");
    out += take;
    offset += take;
    n -= take;
  }
  return Status::Ok();
}

Result<std::span<const uint8_t>> CompoundFile::View(uint32_t id, uint64_t offset, size_t n,
                                                    std::vector<uint8_t>* scratch) const {
  const Entry& e = entries_[id];
  if (!bytes_.empty() && n > 0 && offset <= e.size && n <= e.size - offset) {
    const Run* run = RunAt(e, offset);
    const uint64_t at = run->file_offset + (offset - run->stream_offset);
    // A chain may pass through the file's last, cut-short sector; Read then says so.
    if (offset + n <= RunEnd(e, run) && at + n <= bytes_.size()) return std::span<const uint8_t>(bytes_.data() + at, n);
  }
  scratch->resize(n);
  BALEPORT_RETURN_IF_ERROR(Read(id, offset, scratch->data(), n));
  return std::span<const uint8_t>(*scratch);
}

int Storage::Find(std::string_view name) const {
  auto same = [](char a, char16_t c) { return c < 0x80 && AsciiUpper(a) == AsciiUpper(static_cast<char>(c)); };
  for (int i = 0; i < child_count(); ++i) {
    if (std::ranges::equal(name, file_->name(child_id(i)), same)) return i;
  }
  return -1;
}

Result<Storage> Storage::OpenStorage(int index) const {
  if (!child_is_storage(index)) return Status::Error(ChildPath(index) + ": is a stream where a storage was expected");
  return Storage(*file_, child_id(index));
}

Result<std::span<const uint8_t>> Storage::ViewStream(int index, uint64_t max_size, std::vector<uint8_t>* scratch) const {
  const uint32_t id = child_id(index);
  if (child_is_storage(index)) return Status::Error(ChildPath(index) + ": is a storage where a stream was expected");
  if (file_->size(id) > max_size) {
    return Status::Error(ChildPath(index) + ": stream of " + std::to_string(file_->size(id)) +
                         " bytes is larger than the " + std::to_string(max_size) + " allowed");
  }
  return file_->View(id, 0, static_cast<size_t>(file_->size(id)), scratch);
}

}  // namespace baleport::msg
