#include "conversion/folder_paths.h"

#include <gtest/gtest.h>

#include "support/path_separator.h"

namespace baleport {
namespace {

using Pieces = FolderPieces;

// Paths written with "/" and split at the system's separator.
Pieces Relative(const std::string& path, const std::string& root) {
  return RelativePieces(WithSystemSeparators(path), WithSystemSeparators(root));
}

TEST(FolderPathsTest, RelativePiecesDependOnTheRootsTrailingSeparator) {
  EXPECT_EQ(Relative("/Mail/Box/Projects/2019", "/Mail/Box"), (Pieces{"", "Projects", "2019"}));
  EXPECT_EQ(Relative("/Mail/Box/Projects/2019", "/Mail/Box/"), (Pieces{"Projects", "2019"}));
  EXPECT_EQ(Relative("/Mail/Box/Projects/", "/Mail/Box"), (Pieces{"", "Projects", ""}));
  EXPECT_EQ(Relative("/Mail/Box", "/Mail/Box"), (Pieces{""}));
  // Under the file-system root only the leading separator belongs to the root, and the
  // root's text further in is part of the folder's name.
  EXPECT_EQ(Relative("/Projects/2019", "/"), (Pieces{"Projects", "2019"}));
  EXPECT_EQ(Relative("/a/b/a/c", "/a"), (Pieces{"", "b", "a", "c"}));
  EXPECT_EQ(JoinPieces({"", "Projects", "2019"}), "\\Projects\\2019");
}

// Mapping and reserved names: conversion_run_test.cpp, FoldersMirrorTheSourceTree.

}  // namespace
}  // namespace baleport
