// Files in memory, for tests and the fuzz targets: a File over a byte buffer, and an Env
// whose files are such buffers, so that a fuzz run writes no disk.
#pragma once

#include <map>
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

class MemoryEnv final : public Env {
 public:
  // Makes `path` the only file: `size` bytes of `data`, then zeros up to `padded_size`. The
  // buffer `path` had is reused, so that a fuzz run allocates no new store-sized block.
  void Reset(const std::string& path, const uint8_t* data, size_t size, size_t padded_size);

  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override { return Open(path); }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override { return Open(path); }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status RenameNoReplace(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  Status SyncFolder(const std::string&) override { return Status::Ok(); }
  bool Exists(const std::string& path) override { return files_.count(path) != 0; }

 private:
  Result<std::unique_ptr<File>> Open(const std::string& path);
  std::map<std::string, MemoryFile::Bytes> files_;
};

}  // namespace baleport::testing
