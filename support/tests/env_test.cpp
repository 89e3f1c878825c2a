// The real file system's Env, on a folder past 260 characters with names outside ASCII, as a
// store's writer uses it: one writer at a time, readers beside it, renames that must not replace.
#include <gtest/gtest.h>

#include <string>

#include "files/tests/test_tree.h"
#include "support/env.h"
#include "support/file_identity.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

TEST(DefaultEnv, LongUnicodePathsOneWriterAndNoReplacingRename) {
  testing::TestTree tree;
  std::string folder = "Zürich";
  for (int i = 0; i < 6; ++i) folder += "/Ordner mit einem recht langen Namen " + std::to_string(i) + " Ωμέγα";
  const std::string path = tree.Folder(folder) + kPathSeparator + "Postfach ✉.pst", other = path + ".partial-1";
  ASSERT_GT(path.size(), 300u);
  Env* env = Env::Default();
  const auto names_path = [&](const Status& s) { EXPECT_NE(s.message().find(path), std::string::npos) << s.message(); };
  const auto size = [&] { return *(*env->OpenForRead(path))->Size(); };

  auto writer = env->CreateNew(path);
  ASSERT_TRUE(writer.ok()) << writer.status().message();
  char got[3];
  ASSERT_TRUE((*writer)->Write(1000, "abc", 3).ok() && (*writer)->Sync().ok() && (*writer)->Read(1000, got, 3).ok());
  EXPECT_EQ(std::string(got, 3), "abc");
  names_path((*writer)->Read(1002, got, 3));
  EXPECT_EQ(size(), 1003u) << "a reader beside the writer";
  // An open file, reader or writer, tells what a query of its path tells.
  auto reader = env->OpenForRead(path);
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ(*(*reader)->Identity(), *IdentifyFile(path));
  EXPECT_EQ(*(*writer)->Identity(), *IdentifyFile(path));
  reader->reset();
  names_path(env->OpenForUpdate(path).status());  // a second writer
  EXPECT_FALSE(env->CreateNew(path).ok());
  ASSERT_TRUE((*writer)->Truncate(512).ok());
  writer->reset();

  ASSERT_TRUE(env->CreateNew(other).ok());
  EXPECT_FALSE(env->RenameNoReplace(other, path).ok());
  EXPECT_TRUE(env->Exists(other));
  EXPECT_EQ(size(), 512u) << "the existing file was replaced";
  ASSERT_TRUE(env->Rename(other, path).ok());
  EXPECT_FALSE(env->Exists(other));
  EXPECT_EQ(size(), 0u);
  ASSERT_TRUE(env->Remove(path).ok());
  EXPECT_FALSE(env->Exists(path));
  names_path(env->OpenForRead(path).status());
}

}  // namespace
}  // namespace baleport
