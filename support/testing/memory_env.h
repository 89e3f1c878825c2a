// Files in memory, for tests and the fuzz targets: a File over a byte buffer, and an Env
// holding one such file, so that a fuzz run writes no disk.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/env.h"

namespace baleport::testing {

class MemoryFile final : public File {
 public:
  using Bytes = std::shared_ptr<std::vector<uint8_t>>;

  MemoryFile(Bytes bytes, std::string path) : bytes_(std::move(bytes)), path_(std::move(path)) {}
  MemoryFile(std::vector<uint8_t> bytes, std::string path)
      : MemoryFile(std::make_shared<std::vector<uint8_t>>(std::move(bytes)), std::move(path)) {}

  Status Read(uint64_t offset, void* dst, size_t n) override;
  Status Write(uint64_t offset, const void* src, size_t n) override;
  Status Truncate(uint64_t size) override;
  Status Sync() override { return Status::Ok(); }
  Result<uint64_t> Size() override { return static_cast<uint64_t>(bytes_->size()); }
  const std::string& path() const override { return path_; }

 private:
  Bytes bytes_;
  std::string path_;
};

// One file, opened and changed in place; making, renaming or removing files is refused, so a
// store opened here for extension that reached for another file would fail, not go unseen.
class MemoryEnv final : public Env {
 public:
  // Makes `path` the file: `size` bytes of `data`, then zeros up to `padded_size`. Its buffer
  // is reused, so that a fuzz run allocates no new store-sized block.
  void Reset(const std::string& path, const uint8_t* data, size_t size, size_t padded_size);

  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override { return Open(path); }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override { return Open(path); }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override { return Refuse("creating", path); }
  Status Rename(const std::string& from, const std::string&) override { return Refuse("renaming", from); }
  Status RenameNoReplace(const std::string& from, const std::string&) override { return Refuse("renaming", from); }
  Status Remove(const std::string& path) override { return Refuse("removing", path); }
  Status SyncFolder(const std::string&) override { return Status::Ok(); }
  bool Exists(const std::string& path) override { return path == path_; }

 private:
  Result<std::unique_ptr<File>> Open(const std::string& path);
  static Status Refuse(const std::string& what, const std::string& path) {
    return Status::Error(StatusCode::kUnsupported, what + " " + path + " failed: the memory holds one file");
  }
  std::string path_;
  MemoryFile::Bytes bytes_ = std::make_shared<std::vector<uint8_t>>();
};

}  // namespace baleport::testing
