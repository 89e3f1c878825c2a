// A compound file ([MS-CFB]) opened for reading. Everything that can be damaged is checked
// at open: the DIFAT, FAT and mini FAT chains, the directory tree, and each stream's chain,
// so that later reads cannot fail for the file's structure, only for the disk. Nothing in it
// is bound to the thread that opened it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/env.h"
#include "support/status.h"

namespace baleport::msg {

class CompoundFile {
 public:
  static constexpr uint32_t kRoot = 0;
  enum class Kind : uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

  // Files up to this size are read whole in one call; larger ones a run of sectors at a time.
  static constexpr uint64_t kWholeFileLimit = 8u << 20;

  static Result<std::unique_ptr<CompoundFile>> Open(std::unique_ptr<File> file);

  const std::string& path() const { return path_; }
  Kind kind(uint32_t id) const { return entries_[id].kind; }
  uint64_t size(uint32_t id) const { return entries_[id].size; }
  std::span<const uint32_t> children(uint32_t id) const {
    return {children_.data() + entries_[id].first_child, entries_[id].child_count};
  }
  // The entry's name as stored (UTF-16, without the terminator), and in UTF-8. ShortName
  // holds it without allocating, for the lookups made on every open.
  struct ShortName {
    std::array<char16_t, 32> units;
    size_t size;
    std::u16string_view view() const { return {units.data(), size}; }
  };
  ShortName short_name(uint32_t id) const;
  std::u16string name(uint32_t id) const { return std::u16string(short_name(id).view()); }
  std::string name_utf8(uint32_t id) const;
  // The class id of a storage, as stored.
  std::array<uint8_t, 16> clsid(uint32_t id) const;
  // "<file>" for the root, "<file>:/a/b" below it.
  std::string Path(uint32_t id) const;

  // Bytes [offset, offset + n) of a stream; fails past its end or when the disk fails.
  Status Read(uint32_t id, uint64_t offset, void* dst, size_t n) const;
  // The same bytes, in place when the file is in memory and they are contiguous in it,
  // otherwise copied into *scratch.
  Result<std::span<const uint8_t>> View(uint32_t id, uint64_t offset, size_t n, std::vector<uint8_t>* scratch) const;

 private:
  // A stretch of a stream that is contiguous in the file.
  struct Run {
    uint64_t stream_offset;
    uint64_t file_offset;
  };
  struct Entry {
    Kind kind{};
    uint32_t parent = 0;
    uint32_t first_child = 0, child_count = 0;  // into children_
    uint32_t first_run = 0, run_count = 0;      // into runs_
    uint64_t size = 0;
  };
  class Builder;

  CompoundFile() = default;
  Status ReadFile(uint64_t offset, void* dst, size_t n) const;
  const uint8_t* raw(uint32_t id) const { return directory_.data() + 128 * uint64_t{id}; }

  std::string path_;
  std::unique_ptr<File> file_;
  std::vector<uint8_t> bytes_;  // the whole file when it is small, else empty
  std::vector<uint8_t> directory_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> children_;
  std::vector<Run> runs_;
};

}  // namespace baleport::msg
