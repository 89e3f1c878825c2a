#include "files/folder_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/wildcard.h"
#include "support/filesystem_path.h"

namespace baleport {
namespace fs = std::filesystem;

Result<std::vector<Subfolder>> ListSubfolders(const std::string& folder) {
  const std::string where = "listing the subfolders of " + folder;
  std::error_code error;
  fs::directory_iterator listing(Utf8Path(folder), error);
  if (error) {
    const bool missing = !fs::is_directory(Utf8Path(folder), error);
    return Status::Error(where + (missing ? ": no such folder" : ": the folder cannot be read"));
  }
  std::vector<Subfolder> subfolders;
  for (; listing != fs::directory_iterator(); listing.increment(error)) {
    std::error_code kind_error;
    if (listing->is_directory(kind_error)) {
      subfolders.push_back({Utf8String(listing->path().filename()), Utf8String(listing->path())});
    }
  }
  if (error) return Status::Error(where + ": " + error.message());
  std::sort(subfolders.begin(), subfolders.end(),
            [](const Subfolder& a, const Subfolder& b) { return NameLess(a.name, b.name); });
  return subfolders;
}

std::string TypedFolderProblem(const std::string& folder) {
  std::error_code error;
  // Opening the listing tells a missing folder, a file and a folder without read access apart.
  fs::directory_iterator listing(Utf8Path(folder), error);
  if (!error) return {};
  return "The folder " + folder + " cannot be used: " + error.message() + ".";
}

}  // namespace baleport
