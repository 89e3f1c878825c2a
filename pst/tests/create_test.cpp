#include <gtest/gtest.h>

#include "pst/messaging/schema.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

TEST(Create, MinimalStoreOpensInEveryReader) {
  const std::string path = TempDir("create") + "/minimal.pst";
  {
    auto store = Must(Store::Create(path, "Mail Archive"));
    EXPECT_EQ(store->display_name(), "Mail Archive");
    MustOk(store->Close());
  }
  std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders items=0 subfolders=1"), std::string::npos) << dump;
  EXPECT_NE(dump.find("F /Top of Personal Folders/Deleted Items items=0"), std::string::npos) << dump;
  EXPECT_NE(dump.find("F /Search Root"), std::string::npos) << dump;
  auto reopened = Must(Store::Open(path, StoreOptions{nullptr, true}));
  EXPECT_EQ(reopened->display_name(), "Mail Archive");
  // No temporary file is left beside the store.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()),
                          std::filesystem::directory_iterator{}), 1);
}

TEST(Create, NeverReplacesAnExistingFile) {
  const std::string path = TempDir("create") + "/taken.pst";
  { std::ofstream(path) << "precious"; }
  auto store = Store::Create(path, "X");
  ASSERT_FALSE(store.ok());
  EXPECT_NE(store.status().message().find(path), std::string::npos);
  EXPECT_EQ(ReadAll(path), "precious");
}

TEST(Folders, AddListFindAndSpill) {
  const std::string path = TempDir("folders") + "/f.pst";
  {
    auto store = Must(Store::Create(path, "Archive"));
    FolderId top = store->ipm_subtree();
    FolderId a = Must(store->AddFolder(top, "Projects"));
    FolderId b = Must(store->AddFolder(a, "Alpha"));
    Must(store->AddFolder(a, "Beta", "IPF.Task"));
    auto taken = store->AddFolder(a, "alpha");
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.status().code(), StatusCode::kAlreadyExists) << taken.status().message();

    EXPECT_EQ(Must(store->FindFolder(a, "ALPHA")), b);
    auto missing = store->FindFolder(a, "Gamma");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.status().code(), StatusCode::kNotFound) << missing.status().message();
    // Names that are not UTF-8 are stored with U+FFFD; two that store alike are one name.
    Must(store->AddFolder(a, "bad\xFF"));
    EXPECT_FALSE(store->AddFolder(a, "bad\xFE").ok());
    EXPECT_TRUE(store->FindFolder(a, "bad\xEF\xBF\xBD").ok());

    auto children = Must(store->ListFolders(a));
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0].name, "Alpha");
    EXPECT_EQ(children[1].container_class, "IPF.Task");
    EXPECT_TRUE(Must(store->GetFolder(a)).has_subfolders);
    EXPECT_FALSE(Must(store->GetFolder(b)).has_subfolders);
    // Hundreds of children spill the hierarchy table over several blocks.
    for (int i = 0; i < 600; ++i) Must(store->AddFolder(top, "Folder " + std::to_string(i)));
    MustOk(store->Close());
  }
  std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders items=0 subfolders=602"), std::string::npos);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Folder 599 "), std::string::npos);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Projects items=0 subfolders=3"), std::string::npos) << dump;
  EXPECT_NE(dump.find("F /Top of Personal Folders/Projects/Beta"), std::string::npos) << dump;
}

TEST(StandardFolders, CreatedOnceAndFoundAgain) {
  const std::string path = TempDir("standard") + "/s.pst";
  FolderId inbox, sent;
  {
    auto store = Must(Store::Create(path, "Std"));
    MustOk(store->EnsureStandardFolders());
    MustOk(store->EnsureStandardFolders());
    inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
    sent = Must(store->DefaultFolder(StandardFolder::kSentItems));
    EXPECT_EQ(Must(store->GetFolder(sent)).name, "Sent Items");
    EXPECT_EQ(Must(store->GetFolder(Must(store->DefaultFolder(StandardFolder::kCalendar)))).container_class, "IPF.Appointment");
    EXPECT_EQ(Must(store->ListFolders(store->ipm_subtree())).size(), StandardFolders().size());
    MustOk(store->Close());
  }
  VerifiedDump(path);
  EXPECT_NE(PffInfo(path).output.find("Sentmail"), std::string::npos);
  auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
  EXPECT_EQ(Must(store->DefaultFolder(StandardFolder::kInbox)), inbox);
  EXPECT_EQ(Must(store->DefaultFolder(StandardFolder::kSentItems)), sent);
  EXPECT_EQ(Must(store->GetFolder(Must(store->DefaultFolder(StandardFolder::kJunkEmail)))).name, "Junk E-mail");
}

}  // namespace
}  // namespace baleport::pst::testing
