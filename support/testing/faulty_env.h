// An Env for tests that fails a chosen write or sync, as a full or broken disk would.
#pragma once

#include <memory>
#include <string>

#include "support/env.h"

namespace baleport::testing {

class FaultyEnv final : public EnvWrapper {
 public:
  enum class Fault { kDiskFull, kIoError };

  explicit FaultyEnv(Env* base) : EnvWrapper(base) {}

  // The n-th write (1-based, counted over all files from now on; 0 = none) fails, and so does
  // every later one: a disk that filled up does not recover in the middle of a commit.
  void FailWriteAt(long n, Fault fault) { writes_ = {0, n}, fault_ = fault; }
  void FailSyncAt(long n, Fault fault) { syncs_ = {0, n}, fault_ = fault; }
  long writes() const { return writes_.done; }
  long syncs() const { return syncs_.done; }

  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override { return Wrap(target()->OpenForRead(path)); }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override { return Wrap(target()->OpenForUpdate(path)); }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override { return Wrap(target()->CreateNew(path)); }

  // Used by the wrapped files.
  Status OnWrite(const std::string& path) { return Count(writes_, "writing", path); }
  Status OnSync(const std::string& path) { return Count(syncs_, "flushing", path); }

 private:
  struct Counter {
    long done = 0, fail_at = 0;
  };
  Status Count(Counter& counter, const char* what, const std::string& path);
  Result<std::unique_ptr<File>> Wrap(Result<std::unique_ptr<File>> file);

  Fault fault_ = Fault::kIoError;
  Counter writes_, syncs_;
};

}  // namespace baleport::testing
