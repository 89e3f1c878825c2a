// Env of the real file system on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/env.h"
#include "support/file_identity.h"

namespace baleport {
namespace {

Status ErrnoError(const std::string& what, const std::string& path, int err) {
  return Status::Error(CodeOfErrno(err), what + " " + path + " failed: " + std::strerror(err));
}

// A file opened for reading answers Size and Identity from the fstat made when it was opened:
// a message read costs open, fstat, pread and close.
class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path, const struct stat& opened, bool readOnly)
      : fd_(fd), path_(std::move(path)), opened_(opened), readOnly_(readOnly) {}
  ~PosixFile() override { ::close(fd_); }

  Status Read(uint64_t offset, void* dst, size_t n) override {
    auto* p = static_cast<char*>(dst);
    while (n > 0) {
      ssize_t r = ::pread(fd_, p, n, static_cast<off_t>(offset));
      if (r < 0) {
        if (errno == EINTR) continue;
        return ErrnoError("reading", path_, errno);
      }
      if (r == 0) {
        return Status::Error("reading " + path_ + " at offset " + std::to_string(offset) +
                             " failed: the file ends before the data");
      }
      p += r;
      n -= static_cast<size_t>(r);
      offset += static_cast<uint64_t>(r);
    }
    return Status::Ok();
  }

  Status Write(uint64_t offset, const void* src, size_t n) override {
    const auto* p = static_cast<const char*>(src);
    while (n > 0) {
      ssize_t r = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
      if (r < 0) {
        if (errno == EINTR) continue;
        return ErrnoError("writing", path_, errno);
      }
      p += r;
      n -= static_cast<size_t>(r);
      offset += static_cast<uint64_t>(r);
    }
    return Status::Ok();
  }

  Status Truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return ErrnoError("resizing", path_, errno);
    return Status::Ok();
  }

  Status Sync() override {
    if (::fsync(fd_) != 0) return ErrnoError("flushing", path_, errno);
    return Status::Ok();
  }

  Result<uint64_t> Size() override {
    Result<FileIdentity> now = Identity();
    if (!now.ok()) return now.status();
    return now->size;
  }

  const std::string& path() const override { return path_; }

  Result<FileIdentity> Identity() override {
    if (readOnly_) return IdentityOf(opened_);
    struct stat st;
    if (::fstat(fd_, &st) != 0) return ErrnoError("examining", path_, errno);
    return IdentityOf(st);
  }

 private:
  int fd_;
  std::string path_;
  struct stat opened_;
  bool readOnly_;
};

Result<std::unique_ptr<File>> OpenWith(const std::string& path, int flags, const char* what) {
  // Non-blocking, so that a FIFO or device at the path cannot hold the run in open(); created
  // files are private: stores hold someone's mail.
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return ErrnoError(what, path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return ErrnoError(what, path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::Error(std::string(what) + " " + path + " failed: not a regular file");
  }
  // A regular file ignores O_NONBLOCK, so a file only read keeps it; a store, opened once a
  // run, is written in blocking mode all the same, whatever file system holds it.
  const bool readOnly = (flags & O_ACCMODE) == O_RDONLY;
  if (!readOnly) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if ((flags & O_ACCMODE) == O_RDWR && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Status::Error(std::string(what) + " " + path + " failed: another program is writing to it");
    return ErrnoError(what, path, err);
  }
  return std::unique_ptr<File>(new PosixFile(fd, path, st, readOnly));
}

class PosixEnv final : public Env {
 public:
  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override {
    return OpenWith(path, O_RDONLY, "opening");
  }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override {
    return OpenWith(path, O_RDWR, "opening for update");
  }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override {
    return OpenWith(path, O_RDWR | O_CREAT | O_EXCL, "creating");
  }
  Status Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return ErrnoError("renaming " + from + " to", to, errno);
    return Status::Ok();
  }
  Status RenameNoReplace(const std::string& from, const std::string& to) override {
    // A hard link fails when `to` exists, which a plain rename would silently replace.
    if (::link(from.c_str(), to.c_str()) != 0) return ErrnoError("moving " + from + " to", to, errno);
    if (::unlink(from.c_str()) != 0) return ErrnoError("removing", from, errno);
    return Status::Ok();
  }
  Status Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return ErrnoError("removing", path, errno);
    return Status::Ok();
  }
  Status SyncFolder(const std::string& folder) override {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoError("opening folder", folder, errno);
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    if (rc != 0) return ErrnoError("flushing folder", folder, err);
    return Status::Ok();
  }
  bool Exists(const std::string& path) override {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace baleport
