#include <gtest/gtest.h>

#include "pst/messaging/schema.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

// Names compare without regard to case (names that are not UTF-8 are proof/bad_input_test's);
// hundreds of children spill the hierarchy table over blocks; standard folders are made once
// and found again after reopening; a store is never made over an existing file.
TEST(Folders, AddFindListAndStandardFolders) {
  const std::string path = TempDir("folders") + "/f.pst";
  {
    auto store = Must(Store::Create(path, "Archive"));
    const FolderId top = store->ipm_subtree();
    const FolderId a = Must(store->AddFolder(top, "Projects"));
    const FolderId b = Must(store->AddFolder(a, "Alpha"));
    Must(store->AddFolder(a, "Beta", "IPF.Task"));
    EXPECT_EQ(store->AddFolder(a, "alpha").status().code(), StatusCode::kAlreadyExists);
    EXPECT_EQ(Must(store->FindFolder(a, "ALPHA")), b);
    EXPECT_EQ(store->FindFolder(a, "Gamma").status().code(), StatusCode::kNotFound);
    EXPECT_EQ(Must(store->ListFolders(a)).at(1).container_class, "IPF.Task");
    for (int i = 0; i < 600; ++i) Must(store->AddFolder(top, "Folder " + std::to_string(i)));
    MustOk(store->EnsureStandardFolders());
    MustOk(store->EnsureStandardFolders());
    EXPECT_EQ(Must(store->ListFolders(top)).size(), StandardFolders().size() + 601);
    MustOk(store->Close());
  }
  const std::string dump = VerifiedDump(path);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Folder 599 "));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Projects items=0 subfolders=2"));
  const std::string before = ReadAll(path);
  auto again = Store::Create(path, "X");
  ASSERT_FALSE(again.ok());
  EXPECT_THAT(again.status().message(), HasSubstr(path));
  EXPECT_EQ(ReadAll(path), before);
  auto store = OpenReadOnly(path);
  EXPECT_EQ(store->display_name(), "Archive");
  for (const auto& f : StandardFolders()) EXPECT_EQ(Must(store->GetFolder(Must(store->DefaultFolder(f.which)))).name, f.name);
}

}  // namespace
}  // namespace baleport::pst::testing
