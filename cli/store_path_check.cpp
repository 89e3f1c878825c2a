#include "cli/store_path_check.h"

#include <filesystem>

#include "cli/absolute_path.h"
#include "pst/store.h"
#include "support/env.h"
#include "support/filesystem_path.h"
#include "support/path_separator.h"
#include "support/process.h"

namespace baleport {

namespace fs = std::filesystem;

Status CheckOutputFolder(const std::string& folder) {
  std::error_code ec;
  const fs::file_status status = fs::status(Utf8Path(folder), ec);
  if (!fs::exists(status)) return Status::Error(folder + ": no such folder");
  if (!fs::is_directory(status)) return Status::Error(folder + ": not a folder");
  // The store and its log are created here: tried, as only the system knows (permissions, a
  // read-only disk, a share's rights, Windows' access lists).
  Env& env = *Env::Default();
  const std::string probe = folder + (folder.ends_with(kPathSeparator) ? "" : std::string(1, kPathSeparator)) +
                            ".baleport-write-check-" + std::to_string(CurrentProcessId());
  Result<std::unique_ptr<File>> file = env.CreateNew(probe);
  if (!file.ok()) return Status::Error(folder + ": cannot write in this folder: " + file.status().message());
  file->reset();
  return env.Remove(probe);
}

Status CheckStorePath(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(Utf8Path(path), ec);
  if (!fs::exists(status)) {
    const Status folder = CheckOutputFolder(Utf8String(Utf8Path(path).parent_path()));
    return folder.WithContext(path);
  }
  if (fs::is_directory(status)) return Status::Error(path + ": a folder, not a store file");
  if (!fs::is_regular_file(status)) return Status::Error(path + ": not a regular file");
  pst::StoreOptions readOnly;
  readOnly.read_only = true;
  // The engine's reason names the file: not a store, an unsupported or damaged one.
  if (Result<std::unique_ptr<pst::Store>> store = pst::Store::Open(path, readOnly); !store.ok()) return store.status();
  // Read-only (or another run writing to it) is said now, before anything is written.
  if (Result<std::unique_ptr<File>> file = Env::Default()->OpenForUpdate(path); !file.ok()) {
    return Status::Error(path + ": cannot write to it: " + file.status().message());
  }
  return CheckOutputFolder(Utf8String(Utf8Path(path).parent_path()));
}

}  // namespace baleport
