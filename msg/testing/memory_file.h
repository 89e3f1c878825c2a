// A read-only File over bytes in memory, for tests and the fuzz target.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "support/env.h"

namespace baleport::msg::testing {

class MemoryFile final : public File {
 public:
  MemoryFile(std::vector<uint8_t> data, std::string path) : data_(std::move(data)), path_(std::move(path)) {}

  Status Read(uint64_t offset, void* dst, size_t n) override {
    if (offset > data_.size() || n > data_.size() - offset) {
      return Status::Error("reading " + path_ + " at offset " + std::to_string(offset) +
                           " failed: the file ends before the data");
    }
    if (n != 0) std::memcpy(dst, data_.data() + offset, n);
    return Status::Ok();
  }
  Status Write(uint64_t, const void*, size_t) override { return ReadOnly(); }
  Status Truncate(uint64_t) override { return ReadOnly(); }
  Status Sync() override { return ReadOnly(); }
  Result<uint64_t> Size() override { return static_cast<uint64_t>(data_.size()); }
  const std::string& path() const override { return path_; }

 private:
  Status ReadOnly() const { return Status::Error(path_ + ": is read-only"); }
  std::vector<uint8_t> data_;
  std::string path_;
};

}  // namespace baleport::msg::testing
