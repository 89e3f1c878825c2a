// The real file system's Env, on a folder past 260 characters with names outside ASCII, as a
// store's writer uses it: one writer at a time, readers beside it, renames that must not replace.
#include <gtest/gtest.h>

#include <string>

#include "files/tests/test_tree.h"
#include "support/env.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

TEST(DefaultEnv, LongUnicodePathsOneWriterAndNoReplacingRename) {
  testing::TestTree tree;
  std::string folder = "Zürich";
  for (int i = 0; i < 6; ++i) folder += "/Ordner mit einem recht langen Namen " + std::to_string(i) + " Ωμέγα";
  const std::string path = tree.Folder(folder) + kPathSeparator + "Postfach ✉.pst";
  ASSERT_GT(path.size(), 300u);
  Env* env = Env::Default();

  auto writer = env->CreateNew(path);
  ASSERT_TRUE(writer.ok()) << writer.status().message();
  ASSERT_TRUE((*writer)->Write(1000, "abc", 3).ok());
  ASSERT_TRUE((*writer)->Sync().ok());
  EXPECT_EQ(*(*writer)->Size(), 1003u);
  char got[3];
  ASSERT_TRUE((*writer)->Read(1000, got, 3).ok());
  EXPECT_EQ(std::string(got, 3), "abc");
  const Status past_end = (*writer)->Read(1002, got, 3);
  EXPECT_NE(past_end.message().find(path), std::string::npos) << past_end.message();

  // A second writer is refused while the first holds the file; a reader is not.
  const auto second = env->OpenForUpdate(path);
  ASSERT_FALSE(second.ok());
  EXPECT_NE(second.status().message().find(path), std::string::npos) << second.status().message();
  EXPECT_FALSE(env->CreateNew(path).ok());
  EXPECT_TRUE(env->OpenForRead(path).ok());
  ASSERT_TRUE((*writer)->Truncate(512).ok());
  EXPECT_EQ(*(*writer)->Size(), 512u);
  writer->reset();

  const std::string other = path + ".partial-1";
  ASSERT_TRUE(env->CreateNew(other).ok());
  const Status refused = env->RenameNoReplace(other, path);
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(env->Exists(other));
  EXPECT_EQ(*(*env->OpenForRead(path))->Size(), 512u) << "the existing file was replaced";
  ASSERT_TRUE(env->Rename(other, path).ok());
  EXPECT_FALSE(env->Exists(other));
  EXPECT_EQ(*(*env->OpenForRead(path))->Size(), 0u);
  ASSERT_TRUE(env->Remove(path).ok());
  EXPECT_FALSE(env->Exists(path));
  const auto missing = env->OpenForRead(path);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find(path), std::string::npos) << missing.status().message();
}

}  // namespace
}  // namespace baleport
