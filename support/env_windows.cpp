// Env of the real file system on Windows: the wide kernel32 functions with "\\?\" paths, so
// that long paths and any Unicode name work; errors in the system's own words.
#include <windows.h>

#include <string>

#include "support/env.h"
#include "support/windows_system.h"

namespace baleport {
namespace {

class WindowsFile final : public File {
 public:
  WindowsFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~WindowsFile() override { CloseHandle(handle_); }

  Status Read(uint64_t offset, void* dst, size_t n) override {
    auto* p = static_cast<char*>(dst);
    while (n > 0) {
      OVERLAPPED at = Offset(offset);
      DWORD got = 0;
      if (!ReadFile(handle_, p, Chunk(n), &got, &at)) {
        const DWORD err = GetLastError();
        if (err != ERROR_HANDLE_EOF) return SystemError("reading", path_, err);
      }
      if (got == 0) {
        return Status::Error("reading " + path_ + " at offset " + std::to_string(offset) +
                             " failed: the file ends before the data");
      }
      p += got;
      n -= got;
      offset += got;
    }
    return Status::Ok();
  }

  Status Write(uint64_t offset, const void* src, size_t n) override {
    const auto* p = static_cast<const char*>(src);
    while (n > 0) {
      OVERLAPPED at = Offset(offset);
      DWORD put = 0;
      if (!WriteFile(handle_, p, Chunk(n), &put, &at)) return SystemError("writing", path_);
      p += put;
      n -= put;
      offset += put;
    }
    return Status::Ok();
  }

  Status Truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &info, sizeof info)) return SystemError("resizing", path_);
    return Status::Ok();
  }

  Status Sync() override {
    if (!FlushFileBuffers(handle_)) return SystemError("flushing", path_);
    return Status::Ok();
  }

  Result<uint64_t> Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) return SystemError("examining", path_);
    return static_cast<uint64_t>(size.QuadPart);
  }

  const std::string& path() const override { return path_; }
  Result<FileIdentity> Identity() override { return IdentifyHandle(handle_, path_); }

 private:
  static OVERLAPPED Offset(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
  }
  static DWORD Chunk(size_t n) { return static_cast<DWORD>(n < (1u << 30) ? n : (1u << 30)); }

  HANDLE handle_;
  std::string path_;
};

// A writer shares the file with readers only: a second writer is refused by the system, as the
// advisory lock refuses it on POSIX. It may still be renamed while open, as a new store is
// moved to its name once its first state is written.
Result<std::unique_ptr<File>> OpenWith(const std::string& path, bool write, DWORD disposition, const char* what) {
  const DWORD access = write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = write ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_SHARING_VIOLATION && write) {
      return Status::Error(std::string(what) + " " + path + " failed: another program is using it");
    }
    return SystemError(what, path, err);
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return Status::Error(std::string(what) + " " + path + " failed: not a regular file");
  }
  return std::unique_ptr<File>(new WindowsFile(h, path));
}

class WindowsEnv final : public Env {
 public:
  Result<std::unique_ptr<File>> OpenForRead(const std::string& path) override {
    return OpenWith(path, false, OPEN_EXISTING, "opening");
  }
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& path) override {
    return OpenWith(path, true, OPEN_EXISTING, "opening for update");
  }
  Result<std::unique_ptr<File>> CreateNew(const std::string& path) override {
    return OpenWith(path, true, CREATE_NEW, "creating");
  }
  Status Rename(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return SystemError("renaming " + from + " to", to);
    }
    return Status::Ok();
  }
  Status RenameNoReplace(const std::string& from, const std::string& to) override {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    if (!MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
      return SystemError("moving " + from + " to", to);
    }
    return Status::Ok();
  }
  Status Remove(const std::string& path) override {
    if (!DeleteFileW(SystemPath(path).c_str())) return SystemError("removing", path);
    return Status::Ok();
  }
  // MOVEFILE_WRITE_THROUGH has made the rename durable, and NTFS journals a creation with
  // the file's own flush: there is nothing left to flush in the folder.
  Status SyncFolder(const std::string&) override { return Status::Ok(); }
  bool Exists(const std::string& path) override {
    return GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv env;
  return &env;
}

}  // namespace baleport
