#include "wizard/pages/folders.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <system_error>

#include "support/filesystem_path.h"
#include "support/utf16_order.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;

// Windows compares names through its upper-case table.
bool NameLess(const std::string& a, const std::string& b) {
  const std::u16string wa = Utf8ToUtf16(a), wb = Utf8ToUtf16(b);
  const auto upper = [](char16_t c) { return std::towupper(static_cast<wint_t>(c)); };
  const bool less = std::lexicographical_compare(
      wa.begin(), wa.end(), wb.begin(), wb.end(),
      [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
  const bool greater = std::lexicographical_compare(
      wb.begin(), wb.end(), wa.begin(), wa.end(),
      [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
  return less || (!greater && Utf16Less(a, b));
}

}  // namespace

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
