#include "files/folder_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "files/find.h"
#include "files/wildcard.h"
#include "support/path_separator.h"
#include "support/filesystem_path.h"

namespace baleport {
namespace fs = std::filesystem;

// Listed through the file services, which take paths past 260 characters on Windows.
Result<std::vector<Subfolder>> ListSubfolders(const std::string& folder) {
  const std::string where = "listing the subfolders of " + folder + ": ";
  const std::string prefix = folder.ends_with(kPathSeparator) ? folder : folder + kPathSeparator;
  FindEntry entry;
  if (FindFirst(prefix + "*", entry) == kInvalidFindHandle) {
    constexpr int32_t kFileNotFound = 2, kPathNotFound = 3;
    const bool missing = LastFileError == kFileNotFound || LastFileError == kPathNotFound;
    return Status::Error(where + (missing ? "no such folder" : FileErrorText(LastFileError)));
  }
  std::vector<Subfolder> subfolders;
  do {
    if ((entry.attributes & kAttributeDirectory) == 0 || entry.name == "." || entry.name == "..") continue;
    subfolders.push_back({entry.name, prefix + entry.name});
  } while (FindNext(entry));
  if (entry.errorFlag) return Status::Error(where + FileErrorText(entry.errorCode));
  SortByName(subfolders.begin(), subfolders.end(), [](const Subfolder& s) -> std::string_view { return s.name; });
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
