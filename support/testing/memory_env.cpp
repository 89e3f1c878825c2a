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
  MemoryFile::Bytes bytes;
  const auto it = files_.find(path);
  if (it != files_.end() && it->second.use_count() == 1) bytes = std::move(it->second);
  files_.clear();
  if (!bytes) bytes = std::make_shared<std::vector<uint8_t>>();
  bytes->assign(data, data + size);
  if (padded_size > size) bytes->resize(padded_size);
  files_[path] = std::move(bytes);
}

Result<std::unique_ptr<File>> MemoryEnv::Open(const std::string& path) {
  const auto it = files_.find(path);
  if (it == files_.end()) return Status::Error(StatusCode::kNotFound, "opening " + path + " failed: no such file");
  return std::unique_ptr<File>(std::make_unique<MemoryFile>(it->second, path));
}

Result<std::unique_ptr<File>> MemoryEnv::CreateNew(const std::string& path) {
  if (Exists(path)) return Status::Error(StatusCode::kAlreadyExists, "creating " + path + " failed: the file exists");
  files_[path] = std::make_shared<std::vector<uint8_t>>();
  return Open(path);
}

Status MemoryEnv::Rename(const std::string& from, const std::string& to) {
  const auto it = files_.find(from);
  if (it == files_.end()) return Status::Error(StatusCode::kNotFound, "renaming " + from + " failed: no such file");
  MemoryFile::Bytes bytes = it->second;
  files_.erase(it);
  files_[to] = std::move(bytes);
  return Status::Ok();
}

Status MemoryEnv::RenameNoReplace(const std::string& from, const std::string& to) {
  if (Exists(to)) return Status::Error(StatusCode::kAlreadyExists, "renaming " + from + " to " + to + " failed: the file exists");
  return Rename(from, to);
}

Status MemoryEnv::Remove(const std::string& path) {
  if (files_.erase(path) == 0) return Status::Error(StatusCode::kNotFound, "removing " + path + " failed: no such file");
  return Status::Ok();
}

}  // namespace baleport::testing
