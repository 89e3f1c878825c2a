// An Env for tests that fails a chosen write or sync, as a full or broken disk would.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "support/env.h"

namespace baleport::testing {

class FaultyEnv final : public EnvWrapper {
 public:
  enum class Fault { kDiskFull, kIoError };

  explicit FaultyEnv(Env* base) : EnvWrapper(base) {}

  // The n-th write (1-based, counted over all files from now on) fails, and so does every
  // later one: a disk that filled up does not recover in the middle of a commit.
  void FailWriteAt(long n, Fault fault) { Arm(write_fail_at_, writes_, n, fault); }
  void FailSyncAt(long n, Fault fault) { Arm(sync_fail_at_, syncs_, n, fault); }
  long writes() const { return writes_; }
  long syncs() const { return syncs_; }

  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override;
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override;
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override;

  // Used by the wrapped files.
  Status OnWrite(const std::string& path);
  Status OnSync(const std::string& path);

 private:
  void Arm(long& at, long& counter, long n, Fault fault) {
    counter = 0;
    at = n;
    fault_ = fault;
  }
  Status Failure(const std::string& what, const std::string& path) const;
  Result<std::unique_ptr<File>> Wrap(Result<std::unique_ptr<File>> file);

  Fault fault_ = Fault::kIoError;
  long writes_ = 0, syncs_ = 0;
  long write_fail_at_ = 0, sync_fail_at_ = 0;  // 0 = never
};

}  // namespace baleport::testing
