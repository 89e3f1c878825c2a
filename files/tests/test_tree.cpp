#include "files/tests/test_tree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/filesystem_path.h"
#include "support/path_separator.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace baleport::testing {
namespace fs = std::filesystem;
namespace {

// Windows file calls take paths beyond 260 characters only in the "\\?\" form.
fs::path Native(const std::string& path) {
#ifdef _WIN32
  return Utf8Path("\\\\?\\" + path);
#else
  return Utf8Path(path);
#endif
}

}  // namespace

TestTree::TestTree() {
  static std::atomic<int> serial{0};
  const fs::path base = fs::temp_directory_path() /
                        ("baleport-tree-" + std::to_string(std::random_device{}()) + "-" + std::to_string(serial++));
  if (!fs::create_directory(base)) ADD_FAILURE() << "the test tree " << base << " exists already";
  root_ = Utf8String(fs::canonical(base));
}

namespace {

#ifdef _WIN32
// The standard library's removal stops at 260 characters here; this one does not.
bool RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  bool ok = true;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      ok = (folder ? (link || RemoveTree(child)) && RemoveDirectoryW(child.c_str()) : DeleteFileW(child.c_str())) && ok;
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  return ok;
}
#endif

}  // namespace

TestTree::~TestTree() {
#ifdef _WIN32
  const std::wstring root = Native(root_).wstring();
  if (!RemoveTree(root) || !RemoveDirectoryW(root.c_str())) {
    ADD_FAILURE() << "could not remove the test tree " << root_ << ": error " << GetLastError();
  }
#else
  std::error_code error;
  // A test may leave read-only folders behind, which would keep their entries.
  for (auto it = fs::recursive_directory_iterator(Native(root_), error); !error && it != fs::end(it);
       it.increment(error)) {
    std::error_code ignored;  // a file that stays read-only is still removed
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(Native(root_), error);
  if (error) ADD_FAILURE() << "could not remove the test tree " << root_ << ": " << error.message();
#endif
}

std::string TestTree::Path(const std::string& relative) const {
  return WithSystemSeparators(root_ + kPathSeparator + relative);
}

std::string TestTree::Folder(const std::string& relative) const {
  const std::string path = Path(relative);
  fs::create_directories(Native(path));
  return path;
}

std::string TestTree::File(const std::string& relative) const {
  const std::string path = Path(relative);
  fs::create_directories(Native(path).parent_path());
  std::ofstream(Native(path)) << "x";
  if (!fs::exists(Native(path))) ADD_FAILURE() << "could not make the test file " << path;
  return path;
}

std::error_code TestTree::LinkFolder(const std::string& target, const std::string& relative) const {
#ifdef _WIN32
  // The standard library makes no links here, and Wine reports a link made without making one.
  const std::wstring link = Native(Path(relative)).wstring();
  if (!CreateSymbolicLinkW(link.c_str(), Native(target).wstring().c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    return {static_cast<int>(GetLastError()), std::system_category()};
  }
  if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) return {ERROR_NOT_SUPPORTED, std::system_category()};
  return {};
#else
  std::error_code error;
  fs::create_directory_symlink(Native(target), Native(Path(relative)), error);
  return error;
#endif
}

}  // namespace baleport::testing
