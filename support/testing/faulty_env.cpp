#include "support/testing/faulty_env.h"

namespace baleport::testing {
namespace {

class FaultyFile final : public File {
 public:
  FaultyFile(std::unique_ptr<File> base, FaultyEnv* env) : base_(std::move(base)), env_(env) {}
  Status Read(uint64_t offset, void* dst, size_t n) override { return base_->Read(offset, dst, n); }
  Status Write(uint64_t offset, const void* src, size_t n) override {
    BALEPORT_RETURN_IF_ERROR(env_->OnWrite(path()));
    return base_->Write(offset, src, n);
  }
  Status Truncate(uint64_t size) override {
    BALEPORT_RETURN_IF_ERROR(env_->OnWrite(path()));
    return base_->Truncate(size);
  }
  Status Sync() override {
    BALEPORT_RETURN_IF_ERROR(env_->OnSync(path()));
    return base_->Sync();
  }
  Result<uint64_t> Size() override { return base_->Size(); }
  const std::string& path() const override { return base_->path(); }

 private:
  std::unique_ptr<File> base_;
  FaultyEnv* env_;
};

}  // namespace

Status FaultyEnv::Failure(const std::string& what, const std::string& path) const {
  return Status::Error(fault_ == Fault::kDiskFull ? StatusCode::kNoSpace : StatusCode::kIOError,
                       what + " " + path + " failed: " +
                       (fault_ == Fault::kDiskFull ? "disk full" : "I/O error"));
}

Status FaultyEnv::OnWrite(const std::string& path) {
  ++writes_;
  if (write_fail_at_ > 0 && writes_ >= write_fail_at_) return Failure("writing", path);
  return Status::Ok();
}

Status FaultyEnv::OnSync(const std::string& path) {
  ++syncs_;
  if (sync_fail_at_ > 0 && syncs_ >= sync_fail_at_) return Failure("flushing", path);
  return Status::Ok();
}

Result<std::unique_ptr<File>> FaultyEnv::Wrap(Result<std::unique_ptr<File>> file) {
  if (!file.ok()) return file.status();
  return std::unique_ptr<File>(new FaultyFile(std::move(file).value(), this));
}

Result<std::unique_ptr<File>> FaultyEnv::OpenForRead(const std::string& path) {
  return Wrap(target()->OpenForRead(path));
}
Result<std::unique_ptr<File>> FaultyEnv::OpenForUpdate(const std::string& path) {
  return Wrap(target()->OpenForUpdate(path));
}
Result<std::unique_ptr<File>> FaultyEnv::CreateNew(const std::string& path) {
  return Wrap(target()->CreateNew(path));
}

}  // namespace baleport::testing
