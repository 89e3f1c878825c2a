// A folder tree made for one test under the system's temporary folder, removed after it.
// Paths use the platform separator; on Windows they are made through "\\?\" so that
// they may exceed 260 characters.
#pragma once

#include <initializer_list>
#include <string>
#include <system_error>

namespace baleport::testing {

class TestTree {
 public:
  TestTree();
  ~TestTree();
  TestTree(const TestTree&) = delete;
  TestTree& operator=(const TestTree&) = delete;

  // The tree's own folder, absolute, without a trailing separator.
  const std::string& root() const { return root_; }
  // root + separator + relative, where relative uses '/' between its parts.
  std::string Path(const std::string& relative) const;
  // Makes the folder (and those above it); returns its path.
  std::string Folder(const std::string& relative) const;
  // Makes a small file (and the folders above it); returns its path.
  std::string File(const std::string& relative) const;
  // Makes each of the files as File does.
  void Files(std::initializer_list<const char*> relatives) const {
    for (const char* relative : relatives) File(relative);
  }
  // Makes a symbolic link to the folder `target` (a full path).
  std::error_code LinkFolder(const std::string& target, const std::string& relative) const;

 private:
  std::string root_;
};

}  // namespace baleport::testing
