// A read-only File that answers the compound-file library's many small reads (a sector,
// a directory entry, a FAT entry at a time) from memory: a small file is read whole at
// the first read, a large one in aligned blocks of which only a few are held. Reads still
// go through the wrapped File, so that a failing Env fails them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/env.h"

namespace baleport::msg {

class ReadCache final : public File {
 public:
  // Files up to this size are read in one go; memory stays below this or the blocks' total.
  static constexpr uint64_t kWholeFileLimit = 1u << 20;
  static constexpr size_t kBlockSize = 64u << 10;
  static constexpr size_t kBlockCount = 8;

  // `size` is the file's size as found at open; reads past it go to the file, which
  // reports them.
  ReadCache(std::unique_ptr<File> file, uint64_t size);

  Status Read(uint64_t offset, void* dst, size_t n) override;
  Status Write(uint64_t, const void*, size_t) override { return ReadOnly(); }
  Status Truncate(uint64_t) override { return ReadOnly(); }
  Status Sync() override { return ReadOnly(); }
  Result<uint64_t> Size() override { return size_; }
  const std::string& path() const override { return file_->path(); }

  // The compound-file library only learns that a read failed, not why: the reason is kept
  // here. Callers compare failures() before and after a read to know whether it is theirs.
  uint64_t failures() const { return failures_; }
  const Status& last_error() const { return last_error_; }

 private:
  struct Block {
    uint64_t start = 0;
    uint64_t last_use = 0;  // 0: empty
    std::vector<uint8_t> data;
  };
  Status ReadBlocks(uint64_t offset, uint8_t* dst, size_t n);
  Result<const Block*> Fetch(uint64_t start);
  Status Failed(Status status);
  Status ReadOnly() const { return Status::Error(path() + ": is open for reading only"); }

  std::unique_ptr<File> file_;
  uint64_t size_;
  uint64_t block_size_;  // the whole file when it is small
  uint64_t uses_ = 0;
  bool bypass_ = false;  // a block could not be read: no more blocks
  std::array<Block, kBlockCount> blocks_;
  uint64_t failures_ = 0;
  Status last_error_;
};

}  // namespace baleport::msg
