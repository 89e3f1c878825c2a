#include "conversion/conversion_log.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "conversion/folder_paths.h"

namespace baleport {
namespace {

constexpr char kStoreExtension[] = ".pst";
constexpr char kLogExtension[] = ".log";

bool EndsWithStoreExtension(const std::string& path) {
  const size_t n = sizeof(kStoreExtension) - 1;
  return path.size() >= n && AsciiLowercase(std::string_view(path).substr(path.size() - n)) == kStoreExtension;
}

Status ErrnoFailure(const std::string& what, const std::string& path) {
  return Status::Error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

std::string LogPathFor(const std::string& storePath) {
  if (EndsWithStoreExtension(storePath)) {
    return storePath.substr(0, storePath.size() - (sizeof(kStoreExtension) - 1)) + kLogExtension;
  }
  return storePath + kLogExtension;
}

LogAppender::~LogAppender() {
  if (file_ != nullptr) std::fclose(file_);
}

Status LogAppender::WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    return ErrnoFailure("cannot write to the log", path_);
  }
  return Status::Ok();
}

Status ConversionLog::Start() {
  std::FILE* file = std::fopen(path_.c_str(), "wb");
  if (file == nullptr) return ErrnoFailure("cannot start the log", path_);
  Status written = LogAppender(file, path_).WriteLine(kLogFirstLine);
  return written;
}

Result<LogAppender> ConversionLog::OpenForAppend() {
  std::FILE* file = std::fopen(path_.c_str(), "ab");
  if (file == nullptr) return ErrnoFailure("cannot open the log", path_);
  return LogAppender(file, path_);
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
