#include "conversion/conversion_log.h"

#include <cstdio>

#include "conversion/folder_paths.h"

namespace baleport {
namespace {

constexpr char kStoreExtension[] = ".pst";
constexpr char kLogExtension[] = ".log";

bool EndsWithStoreExtension(const std::string& path) {
  const size_t n = sizeof(kStoreExtension) - 1;
  return path.size() >= n && AsciiLowercase(std::string_view(path).substr(path.size() - n)) == kStoreExtension;
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

Status LogAppender::WriteLine(std::string_view line) {
  const std::string text = OnOneLine(line) + "\r\n";
  Result<uint64_t> end = file_->Size();
  if (!end.ok()) return end.status().WithContext("cannot write to the log");
  const Status written = file_->Write(*end, text.data(), text.size());
  if (!written.ok()) {
    (void)file_->Truncate(*end);  // the line's first bytes, if any reached the file; the write's failure is the one given
    return written.WithContext("cannot write to the log");
  }
  return Status::Ok();
}

Status ConversionLog::Reserve() {
  Release();
  // An existing log is opened as it is; only a missing one is created (and the reason it
  // cannot be, such as a read-only disk, is the one given).
  createdByReserve_ = !env_.Exists(path_);
  Result<std::unique_ptr<File>> file = createdByReserve_ ? env_.CreateNew(path_) : env_.OpenForUpdate(path_);
  if (!file.ok()) {
    createdByReserve_ = false;
    return file.status().WithContext("cannot start the log");
  }
  reserved_ = std::move(*file);
  return Status::Ok();
}

void ConversionLog::Release() {
  if (reserved_ == nullptr) return;
  reserved_.reset();
  if (createdByReserve_) (void)env_.Remove(path_);  // an empty file left behind names no failure
  createdByReserve_ = false;
}

Status ConversionLog::Start() {
  if (reserved_ == nullptr) BALEPORT_RETURN_IF_ERROR(Reserve());
  std::unique_ptr<File> file = std::move(reserved_);
  createdByReserve_ = false;
  BALEPORT_RETURN_IF_ERROR(file->Truncate(0).WithContext("cannot start the log"));
  return LogAppender(std::move(file)).WriteLine(kLogFirstLine);
}

Result<LogAppender> ConversionLog::OpenForAppend() {
  Result<std::unique_ptr<File>> file = env_.Exists(path_) ? env_.OpenForUpdate(path_) : env_.CreateNew(path_);
  if (!file.ok()) return file.status().WithContext("cannot open the log");
  return LogAppender(std::move(*file));
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
