#include "conversion/conversion_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "conversion/folder_paths.h"
#include "support/ascii_case.h"

namespace baleport {
namespace {

constexpr char kStoreExtension[] = ".pst";
constexpr char kLogExtension[] = ".log";

bool EndsWithStoreExtension(const std::string& path) {
  const size_t n = sizeof(kStoreExtension) - 1;
  return path.size() >= n && AsciiLowercase(std::string_view(path).substr(path.size() - n)) == kStoreExtension;
}

Status ErrnoFailure(const std::string& what, const std::string& path, int err = errno) {
  return Status::Error(CodeOfErrno(err), what + " " + path + ": " + std::strerror(err));
}

// Never blocks (a FIFO at the log's path) and takes only a regular file.
Result<int> OpenLog(const std::string& path, int flags, const char* what) {
  const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return ErrnoFailure(what, path);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::Error(std::string(what) + " " + path + ": not a regular file");
  }
  return fd;
}

}  // namespace

std::string LogPathFor(const std::string& storePath) {
  if (EndsWithStoreExtension(storePath)) {
    return storePath.substr(0, storePath.size() - (sizeof(kStoreExtension) - 1)) + kLogExtension;
  }
  return storePath + kLogExtension;
}

std::string OnOneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
  }
  return out;
}

LogAppender::~LogAppender() {
  if (fd_ >= 0) ::close(fd_);
}

Status LogAppender::WriteLine(std::string_view line) {
  const std::string text = OnOneLine(line) + "\r\n";
  const off_t start = ::lseek(fd_, 0, SEEK_END);
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const Status failed = ErrnoFailure("cannot write to the log", path_, n < 0 ? errno : ENOSPC);
      if (start >= 0 && done > 0) (void)::ftruncate(fd_, start);
      return failed;
    }
    done += static_cast<size_t>(n);
  }
  return Status::Ok();
}

Status ConversionLog::Reserve() {
  Release();
  // An existing log is opened as it is; only a missing one is created (and the reason it
  // cannot be, such as a read-only disk, is the one given).
  struct stat st;
  createdByReserve_ = ::lstat(path_.c_str(), &st) != 0 && errno == ENOENT;
  Result<int> fd = OpenLog(path_, createdByReserve_ ? O_CREAT | O_EXCL : 0, "cannot start the log");
  if (!fd.ok()) {
    createdByReserve_ = false;
    return fd.status();
  }
  reserved_ = *fd;
  return Status::Ok();
}

void ConversionLog::Release() {
  if (reserved_ < 0) return;
  ::close(reserved_);
  reserved_ = -1;
  if (createdByReserve_) (void)::unlink(path_.c_str());
  createdByReserve_ = false;
}

Status ConversionLog::Start() {
  if (reserved_ < 0) BALEPORT_RETURN_IF_ERROR(Reserve());
  const int fd = reserved_;
  reserved_ = -1;
  createdByReserve_ = false;
  if (::ftruncate(fd, 0) != 0) {
    const Status failed = ErrnoFailure("cannot start the log", path_);
    ::close(fd);
    return failed;
  }
  return LogAppender(fd, path_).WriteLine(kLogFirstLine);
}

Result<LogAppender> ConversionLog::OpenForAppend() {
  Result<int> fd = OpenLog(path_, O_CREAT | O_APPEND, "cannot open the log");
  if (!fd.ok()) return fd.status();
  return LogAppender(*fd, path_);
}

Status ConversionLog::RecordFailure(const std::string& messagePath) {
  Result<LogAppender> log = OpenForAppend();
  if (!log.ok()) return log.status();
  return log->WriteLine(kLogFailurePrefix + messagePath);
}

Status ConversionLog::RecordUnreadableFolder(const std::string& folderPath, const std::string& reason) {
  Result<LogAppender> log = OpenForAppend();
  if (!log.ok()) return log.status();
  return log->WriteLine(kLogUnreadableFolderPrefix + folderPath + " : " + reason);
}

}  // namespace baleport
