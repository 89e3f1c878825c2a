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
  Result<FileIdentity> Identity() override { return base_->Identity(); }

 private:
  std::unique_ptr<File> base_;
  FaultyEnv* env_;
};

}  // namespace

Status FaultyEnv::Count(Counter& counter, const char* what, const std::string& path) {
  if (++counter.done < counter.fail_at || counter.fail_at == 0) return Status::Ok();
  const bool full = fault_ == Fault::kDiskFull;
  return Status::Error(full ? StatusCode::kNoSpace : StatusCode::kIOError,
                       std::string(what) + " " + path + " failed: " + (full ? "disk full" : "I/O error"));
}

Result<std::unique_ptr<File>> FaultyEnv::Wrap(Result<std::unique_ptr<File>> file) {
  if (!file.ok()) return file.status();
  return std::unique_ptr<File>(new FaultyFile(std::move(file).value(), this));
}

}  // namespace baleport::testing
