#include "proof/fuzz/memory_env.h"

#include <cstring>

namespace baleport::proof {
namespace {

// Growth is capped so that a hostile size field cannot make the fuzz target run out of memory.
constexpr uint64_t kMaxFileSize = 64u << 20;

class MemoryFile final : public File {
 public:
  MemoryFile(MemoryEnv::Bytes bytes, std::string path) : bytes_(std::move(bytes)), path_(std::move(path)) {}

  Status Read(uint64_t offset, void* dst, size_t n) override {
    if (offset > bytes_->size() || n > bytes_->size() - offset) {
      return Status::Error("reading " + path_ + " at " + std::to_string(offset) + " failed: past the end");
    }
    if (n != 0) std::memcpy(dst, bytes_->data() + offset, n);
    return Status::Ok();
  }
  Status Write(uint64_t offset, const void* src, size_t n) override {
    if (offset > kMaxFileSize || n > kMaxFileSize - offset) return Status::Error("writing " + path_ + ": too large");
    if (offset + n > bytes_->size()) bytes_->resize(offset + n);
    if (n != 0) std::memcpy(bytes_->data() + offset, src, n);
    return Status::Ok();
  }
  Status Truncate(uint64_t size) override {
    if (size > kMaxFileSize) return Status::Error("resizing " + path_ + ": too large");
    bytes_->resize(size);
    return Status::Ok();
  }
  Status Sync() override { return Status::Ok(); }
  Result<uint64_t> Size() override { return static_cast<uint64_t>(bytes_->size()); }
  const std::string& path() const override { return path_; }

 private:
  MemoryEnv::Bytes bytes_;
  std::string path_;
};

}  // namespace

void MemoryEnv::Reset(const std::string& path, const uint8_t* data, size_t size, size_t padded_size) {
  Bytes bytes;
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
  Bytes bytes = it->second;
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

}  // namespace baleport::proof
