#include "cli/store_path_check.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pst/store.h"

namespace baleport {

namespace fs = std::filesystem;

Status CheckOutputFolder(const std::string& folder) {
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (!fs::exists(status)) return Status::Error(folder + ": no such folder");
  if (!fs::is_directory(status)) return Status::Error(folder + ": not a folder");
  // The store and its log are created here.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return Status::Error(folder + ": cannot write in this folder: " + std::strerror(errno));
  }
  return Status::Ok();
}

Status CheckStorePath(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    const Status folder = CheckOutputFolder(fs::path(path).parent_path().string());
    return folder.WithContext(path);
  }
  if (fs::is_directory(status)) return Status::Error(path + ": a folder, not a store file");
  if (!fs::is_regular_file(status)) return Status::Error(path + ": not a regular file");
  pst::StoreOptions readOnly;
  readOnly.read_only = true;
  // The engine's reason names the file: not a store, an unsupported or damaged one.
  if (Result<std::unique_ptr<pst::Store>> store = pst::Store::Open(path, readOnly); !store.ok()) return store.status();
  if (::access(path.c_str(), W_OK) != 0) return Status::Error(path + ": cannot write to it: " + std::strerror(errno));
  return CheckOutputFolder(fs::path(path).parent_path().string());
}

}  // namespace baleport
