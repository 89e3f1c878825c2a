#include <gtest/gtest.h>

#include "pst/messaging/schema.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

TEST(Create, MinimalStoreOpensInEveryReaderAndIsNeverReplaced) {
  const std::string path = TempDir("create") + "/minimal.pst";
  MustOk(Must(Store::Create(path, "Mail Archive"))->Close());
  const std::string dump = VerifiedDump(path);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders items=0 subfolders=1"));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Deleted Items items=0"));
  EXPECT_THAT(dump, HasSubstr("F /Search Root"));
  EXPECT_EQ(OpenReadOnly(path)->display_name(), "Mail Archive");
  const std::string before = ReadAll(path);
  auto again = Store::Create(path, "X");
  ASSERT_FALSE(again.ok());
  EXPECT_THAT(again.status().message(), HasSubstr(path));
  EXPECT_EQ(ReadAll(path), before);
}

// Names compare without regard to case; names that are not UTF-8 are stored with U+FFFD (two
// that store alike are one name); hundreds of children spill the hierarchy table over blocks;
// standard folders are made once and found again after reopening.
TEST(Folders, AddFindListAndStandardFolders) {
  const std::string path = TempDir("folders") + "/f.pst";
  FolderId inbox, sent;
  {
    auto store = Must(Store::Create(path, "Archive"));
    const FolderId top = store->ipm_subtree();
    const FolderId a = Must(store->AddFolder(top, "Projects"));
    const FolderId b = Must(store->AddFolder(a, "Alpha"));
    Must(store->AddFolder(a, "Beta", "IPF.Task"));
    EXPECT_EQ(store->AddFolder(a, "alpha").status().code(), StatusCode::kAlreadyExists);
    EXPECT_EQ(Must(store->FindFolder(a, "ALPHA")), b);
    EXPECT_EQ(store->FindFolder(a, "Gamma").status().code(), StatusCode::kNotFound);
    Must(store->AddFolder(a, "bad\xFF"));
    EXPECT_FALSE(store->AddFolder(a, "bad\xFE").ok());
    EXPECT_TRUE(store->FindFolder(a, "bad\xEF\xBF\xBD").ok());
    const auto children = Must(store->ListFolders(a));
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0].name, "Alpha");
    EXPECT_EQ(children[1].container_class, "IPF.Task");
    EXPECT_TRUE(Must(store->GetFolder(a)).has_subfolders);
    EXPECT_FALSE(Must(store->GetFolder(b)).has_subfolders);
    for (int i = 0; i < 600; ++i) Must(store->AddFolder(top, "Folder " + std::to_string(i)));
    MustOk(store->EnsureStandardFolders());
    MustOk(store->EnsureStandardFolders());
    EXPECT_EQ(Must(store->ListFolders(top)).size(), StandardFolders().size() + 601);
    inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
    sent = Must(store->DefaultFolder(StandardFolder::kSentItems));
    EXPECT_EQ(Must(store->GetFolder(sent)).name, "Sent Items");
    EXPECT_EQ(Must(store->GetFolder(Must(store->DefaultFolder(StandardFolder::kCalendar)))).container_class, "IPF.Appointment");
    MustOk(store->Close());
  }
  const std::string dump = VerifiedDump(path);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Folder 599 "));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Projects items=0 subfolders=3"));
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Projects/Beta"));
  EXPECT_THAT(PffInfo(path).output, HasSubstr("Sentmail"));
  auto store = OpenReadOnly(path);
  EXPECT_EQ(Must(store->DefaultFolder(StandardFolder::kInbox)), inbox);
  EXPECT_EQ(Must(store->DefaultFolder(StandardFolder::kSentItems)), sent);
  EXPECT_EQ(Must(store->GetFolder(Must(store->DefaultFolder(StandardFolder::kJunkEmail)))).name, "Junk E-mail");
}

}  // namespace
}  // namespace baleport::pst::testing
