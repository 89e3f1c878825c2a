#include "files/file_attributes.h"

#include <gtest/gtest.h>

#include "files/file_functions.h"
#include "files/tests/test_tree.h"
#include "support/path_separator.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace baleport {
namespace {

using baleport::testing::TestTree;

const std::string kSep(1, kPathSeparator);

TEST(GetAttributesTest, TellsFoldersFilesHiddenFilesAndMissingPathsApart) {
  TestTree tree;
  const std::string folder = tree.Folder("f");
  const std::string file = tree.File("f/m.msg");
  const std::string hidden = tree.File(".hidden.msg");
#ifdef _WIN32
  ASSERT_EQ(SetAttributes(hidden, kAttributeHidden), 0);
#endif
  EXPECT_NE(GetAttributes(folder) & kAttributeDirectory, 0u);
  EXPECT_EQ(LastFileError, 0);
  EXPECT_EQ(GetAttributes(file) & (kAttributeDirectory | kAttributeReadOnly | kAttributeHidden), 0u);
  EXPECT_NE(GetAttributes(hidden) & kAttributeHidden, 0u);  // POSIX: a leading dot
  EXPECT_EQ(GetAttributes(tree.Path("missing.msg")), kInvalidFileAttributes);
  EXPECT_EQ(LastFileError, 2);
  EXPECT_EQ(GetAttributes(tree.Path("missing/x.msg")), kInvalidFileAttributes);
  EXPECT_EQ(LastFileError, 3);
  EXPECT_EQ(GetAttributes(file + kSep + "x.msg"), kInvalidFileAttributes);
  EXPECT_EQ(LastFileError, 3);  // a file where a folder should be
  EXPECT_EQ(RemoveFile(tree.Path("missing.msg")), 2);
  EXPECT_EQ(SetAttributes(tree.Path("missing/x.msg"), kAttributeNormal), 3);

  EXPECT_FALSE(FileExists(folder));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(tree.Path("missing.msg")));
  EXPECT_TRUE(FileExists(folder + kSep + "*.msg"));  // the first match is a file
  EXPECT_TRUE(FolderExists(folder + kSep));
  EXPECT_TRUE(FolderExists("  " + folder + "  "));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(FolderExists(tree.Path("missing")));
  EXPECT_EQ(LastFileError, 0);
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

#ifdef _WIN32
TEST(RemoveFileTest, AFileInUseIsASharingViolation) {
  TestTree tree;
  const std::string file = tree.File("busy.msg");
  const WideBuffer wide = LongPathBuffer(file);
  const HANDLE open = CreateFileW(reinterpret_cast<const wchar_t*>(wide.data()), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RemoveFile(file), 32);
  CloseHandle(open);
  EXPECT_TRUE(FileExists(file));
}
#endif

TEST(WithTrailingBackslashTest, TrimsSpacesAndEndsInOneSeparator) {
  EXPECT_EQ(WithTrailingBackslash("  a" + kSep + "b  "), "a" + kSep + "b" + kSep);
  EXPECT_EQ(WithTrailingBackslash("a" + kSep), "a" + kSep);
  EXPECT_EQ(WithTrailingBackslash("   "), kSep);
  EXPECT_EQ(WithTrailingBackslash(""), kSep);
}

}  // namespace
}  // namespace baleport
