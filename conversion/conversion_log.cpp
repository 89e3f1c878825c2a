#include "conversion/conversion_log.h"

#include "conversion/folder_paths.h"
#include "support/ascii_case.h"
#include "support/hex.h"

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
    } else {
      out += "\\x" + Hex(byte, 2);
    }
  }
  return out;
}

Status ConversionLog::AppendLine(std::string_view line) {
  const std::string text = OnOneLine(line) + "\r\n";
  Result<uint64_t> end = open_->Size();
  if (!end.ok()) return end.status().WithContext("cannot write to the log");
  const Status written = open_->Write(*end, text.data(), text.size());
  if (!written.ok()) {
    (void)open_->Truncate(*end);  // the line's first bytes, if any reached the file; the write's failure is the one given
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

void ConversionLog::Hold(std::unique_ptr<File> file) {
  open_ = std::move(file);
  // Unknown, the file is opened again at the next check: slower, never wrong.
  Result<FileIdentity> identity = IdentifyFile(path_);
  openIdentity_ = identity.ok() ? *identity : FileIdentity{};
}

Status ConversionLog::Start() {
  if (reserved_ == nullptr) BALEPORT_RETURN_IF_ERROR(Reserve());
  std::unique_ptr<File> file = std::move(reserved_);
  createdByReserve_ = false;
  BALEPORT_RETURN_IF_ERROR(file->Truncate(0).WithContext("cannot start the log"));
  Hold(std::move(file));
  return AppendLine(kLogFirstLine);
}

Status ConversionLog::CheckWritable() {
  if (open_ != nullptr) {
    // One query of the path instead of an open and close for every message.
    Result<FileIdentity> now = IdentifyFile(path_);
    if (now.ok() && now->volume == openIdentity_.volume && now->index == openIdentity_.index) return Status::Ok();
    open_.reset();  // removed or replaced: lines written to it would reach no one
  }
  Result<std::unique_ptr<File>> file = env_.Exists(path_) ? env_.OpenForUpdate(path_) : env_.CreateNew(path_);
  if (!file.ok()) return file.status().WithContext("cannot open the log");
  Hold(std::move(*file));
  return Status::Ok();
}

Status ConversionLog::RecordFailure(const std::string& messagePath) {
  BALEPORT_RETURN_IF_ERROR(CheckWritable());
  return AppendLine(kLogFailurePrefix + messagePath);
}

Status ConversionLog::RecordUnreadableFolder(const std::string& folderPath, const std::string& reason) {
  BALEPORT_RETURN_IF_ERROR(CheckWritable());
  return AppendLine(kLogUnreadableFolderPrefix + folderPath + " : " + reason);
}

}  // namespace baleport
