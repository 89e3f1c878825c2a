#include "files/file_attributes.h"

#include <gtest/gtest.h>

#include "files/file_functions.h"
#include "files/tests/test_tree.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

using baleport::testing::TestTree;

// The codes become the reasons the user reads: 2 (file not found), 3 (path not found).
TEST(GetAttributesTest, TellsFoldersFilesHiddenFilesAndMissingPathsApart) {
  TestTree tree;
  const std::string folder = tree.Folder("f");
  const std::string file = tree.File("f/m.msg");
  const std::string hidden = tree.File(".hidden.msg");
#ifdef _WIN32
  ASSERT_EQ(SetAttributes(hidden, kAttributeHidden), 0);
#endif
  EXPECT_NE(GetAttributes(folder) & kAttributeDirectory, 0u);
  EXPECT_EQ(GetAttributes(file) & (kAttributeDirectory | kAttributeReadOnly | kAttributeHidden), 0u);
  EXPECT_NE(GetAttributes(hidden) & kAttributeHidden, 0u);  // POSIX: a leading dot
  for (const auto& [path, code] : {std::pair{tree.Path("missing.msg"), 2}, {tree.Path("missing/x.msg"), 3},
                                   {file + kPathSeparator + "x.msg", 3}}) {
    EXPECT_EQ(GetAttributes(path), kInvalidFileAttributes) << path;
    EXPECT_EQ(LastFileError, code) << path;
    EXPECT_EQ(RemoveFile(path), code) << path;
  }
  EXPECT_TRUE(FileExists(file) && FolderExists(folder));
  EXPECT_FALSE(FileExists(folder) || FolderExists(file) || FileExists(tree.Path("missing.msg")));
}

TEST(RemoveFileTest, ResetsTheAttributesEvenWhenTheDeletionFails) {
  TestTree tree;
  const std::string folder = tree.Folder("ro-folder");
  ASSERT_EQ(SetAttributes(folder, kAttributeReadOnly), 0);
  if ((GetAttributes(folder) & kAttributeReadOnly) == 0) GTEST_SKIP() << "this system keeps no read-only mark on folders";
  EXPECT_EQ(RemoveFile(folder), 5);  // a folder is no file: access denied
  EXPECT_EQ(GetAttributes(folder) & kAttributeReadOnly, 0u);
  EXPECT_TRUE(FolderExists(folder));
}

}  // namespace
}  // namespace baleport
