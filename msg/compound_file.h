// A compound file ([MS-CFB]) opened for reading. Everything that can be damaged is checked
// at open: the DIFAT, FAT and mini FAT chains, the directory tree, and each stream's chain,
// so that later reads cannot fail for the file's structure, only for the disk. Nothing in it
// is bound to the thread that opened it. A Storage is a handle onto one of its storages.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/env.h"
#include "support/status.h"
#include "support/utf16_text.h"

namespace baleport::msg {

class CompoundFile {
 public:
  static constexpr uint32_t kRoot = 0;
  static constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  static constexpr uint32_t kEndOfChain = 0xFFFFFFFE, kNoEntry = 0xFFFFFFFF;
  enum class Kind : uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

  // Files up to this size are read whole in one call; larger ones a run of sectors at a time.
  static constexpr uint64_t kWholeFileLimit = 8u << 20;

  static Result<std::unique_ptr<CompoundFile>> Open(std::unique_ptr<File> file);

  const std::string& path() const { return path_; }
  // The whole file when it is held in memory (up to kWholeFileLimit), else empty.
  std::span<const uint8_t> bytes() const { return bytes_; }
  Kind kind(uint32_t id) const { return entries_[id].kind; }
  uint64_t size(uint32_t id) const { return entries_[id].size; }
  std::span<const uint32_t> children(uint32_t id) const {
    return {children_.data() + entries_[id].first_child, entries_[id].child_count};
  }
  // The entry's name as stored (UTF-16, up to its terminator), and in UTF-8.
  std::u16string_view name(uint32_t id) const { return {names_.data() + 32 * uint64_t{id}, entries_[id].name_length}; }
  std::string name_utf8(uint32_t id) const { return Utf16ToUtf8(name(id), BadText::kReplace); }
  std::span<const uint8_t, 16> clsid(uint32_t id) const { return std::span<const uint8_t, 16>(raw(id) + 0x50, 16); }
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
    uint8_t name_length = 0;  // in code units
  };
  class Builder;

  CompoundFile() = default;
  Status ReadFile(uint64_t offset, void* dst, size_t n) const;
  // The run holding a stream's byte `offset`, and the stream offset where that run ends.
  const Run* RunAt(const Entry& e, uint64_t offset) const;
  uint64_t RunEnd(const Entry& e, const Run* run) const;
  const uint8_t* raw(uint32_t id) const { return directory_.data() + 128 * uint64_t{id}; }

  std::string path_;
  std::unique_ptr<File> file_;
  std::unique_ptr<uint8_t[]> whole_;  // not zero-filled: the read overwrites it at once
  std::span<const uint8_t> bytes_;     // onto whole_ when the file is small, else empty
  std::vector<uint8_t> directory_;
  std::vector<char16_t> names_;  // 32 units for each entry, decoded once for the lookups of every open
  std::vector<Entry> entries_;
  std::vector<uint32_t> children_;
  std::vector<Run> runs_;
};

// One storage of the file: a cheap handle onto its directory entry.
class Storage {
 public:
  Storage(const CompoundFile& file, uint32_t id) : file_(&file), id_(id) {}

  const CompoundFile& file() const { return *file_; }
  uint32_t id() const { return id_; }
  std::string path() const { return file_->Path(id_); }
  int child_count() const { return static_cast<int>(file_->children(id_).size()); }
  uint32_t child_id(int index) const { return file_->children(id_)[index]; }
  bool child_is_storage(int index) const { return file_->kind(child_id(index)) == CompoundFile::Kind::kStorage; }
  std::string ChildPath(int index) const { return file_->Path(child_id(index)); }
  // Compound-file names compare case-insensitively; the names looked up here are ASCII.
  // Returns -1 when there is no such child.
  int Find(std::string_view name) const;

  Result<Storage> OpenStorage(int index) const;
  // A whole stream child, as CompoundFile::View gives it; a storage, or a stream larger than
  // max_size, is refused.
  Result<std::span<const uint8_t>> ViewStream(int index, uint64_t max_size, std::vector<uint8_t>* scratch) const;

 private:
  const CompoundFile* file_;
  uint32_t id_;
};

}  // namespace baleport::msg
