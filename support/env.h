// All file access of the store engine and the message reader goes through Env, so that
// tests can put a failing one in its place (disk full, I/O error at a chosen write).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/file_identity.h"
#include "support/status.h"

namespace baleport {

// An open file read and written at explicit offsets.
class File {
 public:
  virtual ~File() = default;
  // Reads exactly n bytes at offset; reading past the end is an error naming the file.
  virtual Status Read(uint64_t offset, void* dst, size_t n) = 0;
  virtual Status Write(uint64_t offset, const void* src, size_t n) = 0;
  virtual Status Truncate(uint64_t size) = 0;
  // Durable: data and size reach the disk before it returns.
  virtual Status Sync() = 0;
  virtual Result<uint64_t> Size() = 0;
  virtual const std::string& path() const = 0;
  // What tells this file apart (support/file_identity.h), asked of the open file rather than
  // of its path, so that it is the file being read; on POSIX a file opened for reading
  // answers, as its Size does, as it was when opened. Files of no file system cannot tell.
  virtual Result<FileIdentity> Identity() { return Status::Error("the identity of " + path() + " cannot be told"); }
};

class Env {
 public:
  virtual ~Env() = default;
  // The process-wide environment of the real file system.
  static Env* Default();

  virtual Result<std::unique_ptr<File>> OpenForRead(const std::string& path) = 0;
  // Holds an exclusive advisory lock while open: a second writer is refused.
  virtual Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) = 0;
  // Fails when something already stands at path; locked like OpenForUpdate.
  virtual Result<std::unique_ptr<File>> CreateNew(const std::string& path) = 0;
  // Replaces `to` atomically; `to` must not be a file the caller wants to keep.
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  // Moves `from` to `to` atomically, failing when something already stands at `to`.
  virtual Status RenameNoReplace(const std::string& from, const std::string& to) = 0;
  virtual Status Remove(const std::string& path) = 0;
  // Makes a rename or creation in the folder durable.
  virtual Status SyncFolder(const std::string& folder) = 0;
  virtual bool Exists(const std::string& path) = 0;
};

// A small file read whole; a file longer than `limit` bytes is refused, naming it.
Result<std::string> ReadSmallFile(Env& env, const std::string& path, uint64_t limit);
// `path` replaced by `text` at once: written to "<path>.new", made durable, then renamed over
// it, so that a failure leaves the earlier file whole.
Status ReplaceFile(Env& env, const std::string& path, std::string_view text);

// An Env that hands every call to another; wrappers that watch or change some calls (a
// failing disk, a timed one) override only those.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override { return target_->OpenForRead(path); }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override { return target_->OpenForUpdate(path); }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override { return target_->CreateNew(path); }
  Status Rename(const std::string& from, const std::string& to) override { return target_->Rename(from, to); }
  Status RenameNoReplace(const std::string& from, const std::string& to) override {
    return target_->RenameNoReplace(from, to);
  }
  Status Remove(const std::string& path) override { return target_->Remove(path); }
  Status SyncFolder(const std::string& folder) override { return target_->SyncFolder(folder); }
  bool Exists(const std::string& path) override { return target_->Exists(path); }

 private:
  Env* target_;
};

}  // namespace baleport
