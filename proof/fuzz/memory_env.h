// An Env whose files live in memory, so that the fuzz target writes no disk: each input
// becomes one file, opened for update and extended where it stands.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/env.h"

namespace baleport::proof {

class MemoryEnv final : public Env {
 public:
  using Bytes = std::shared_ptr<std::vector<uint8_t>>;

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
  std::map<std::string, Bytes> files_;
};

}  // namespace baleport::proof
