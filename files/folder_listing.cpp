#include "files/folder_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/wildcard.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;

// Windows names are UTF-16; elsewhere the UTF-8 bytes are the name as it stands.
fs::path ToPath(const std::string& text) {
#ifdef _WIN32
  const std::u16string wide = Utf8ToUtf16(text);
  return fs::path(std::wstring(wide.begin(), wide.end()));
#else
  return fs::path(text);
#endif
}

std::string FromPath(const fs::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.native();
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
#else
  return path.native();
#endif
}

}  // namespace

Result<std::vector<Subfolder>> ListSubfolders(const std::string& folder) {
  const std::string where = "listing the subfolders of " + folder;
  std::error_code error;
  fs::directory_iterator listing(ToPath(folder), error);
  if (error) {
    const bool missing = !fs::is_directory(ToPath(folder), error);
    return Status::Error(where + (missing ? ": no such folder" : ": the folder cannot be read"));
  }
  std::vector<Subfolder> subfolders;
  for (; listing != fs::directory_iterator(); listing.increment(error)) {
    std::error_code kind_error;
    if (listing->is_directory(kind_error)) {
      subfolders.push_back({FromPath(listing->path().filename()), FromPath(listing->path())});
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
  fs::directory_iterator listing(ToPath(folder), error);
  if (!error) return {};
  return "The folder " + folder + " cannot be used: " + error.message() + ".";
}

}  // namespace baleport
