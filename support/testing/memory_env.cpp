#include "support/testing/memory_env.h"

#include <cstring>

namespace baleport::testing {
namespace {

// Growth is capped so that a hostile size field cannot make a fuzz target run out of memory.
constexpr uint64_t kMaxFileSize = 64u << 20;

}  // namespace

Status MemoryFile::Read(uint64_t offset, void* dst, size_t n) {
  if (offset > bytes_->size() || n > bytes_->size() - offset) {
    return Status::Error("reading " + path_ + " at " + std::to_string(offset) + " failed: the file ends before the data");
  }
  if (n != 0) std::memcpy(dst, bytes_->data() + offset, n);
  return Status::Ok();
}

Status MemoryFile::Write(uint64_t offset, const void* src, size_t n) {
  if (offset > kMaxFileSize || n > kMaxFileSize - offset) return Status::Error("writing " + path_ + ": too large");
  if (offset + n > bytes_->size()) bytes_->resize(offset + n);
  if (n != 0) std::memcpy(bytes_->data() + offset, src, n);
  return Status::Ok();
}

Status MemoryFile::Truncate(uint64_t size) {
  if (size > kMaxFileSize) return Status::Error("resizing " + path_ + ": too large");
  bytes_->resize(size);
  return Status::Ok();
}

void MemoryEnv::Reset(const std::string& path, const uint8_t* data, size_t size, size_t padded_size) {
  path_ = path;
  if (bytes_.use_count() != 1) bytes_ = std::make_shared<std::vector<uint8_t>>();  // a file of the last run is open
  bytes_->assign(data, data + size);
  if (padded_size > size) bytes_->resize(padded_size);
}

Result<std::unique_ptr<File>> MemoryEnv::Open(const std::string& path) {
  if (path != path_) return Status::Error(StatusCode::kNotFound, "opening " + path + " failed: no such file");
  return std::unique_ptr<File>(std::make_unique<MemoryFile>(bytes_, path));
}

}  // namespace baleport::testing
