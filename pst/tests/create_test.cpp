#include <gtest/gtest.h>

#include "mapi/tags.h"
#include "pst/messaging/node_io.h"
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
  EXPECT_EQ(std::filesystem::file_size(path), 271360u);
  CommandResult ls = LsPst(path);
  EXPECT_EQ(ls.exit_code, 0) << ls.output;
  // pffinfo reads the display name from the store object.
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

TEST(Folders, AddListAndFind) {
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
    MustOk(store->Close());
  }
  std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Projects items=0 subfolders=3"), std::string::npos) << dump;
  EXPECT_NE(dump.find("F /Top of Personal Folders/Projects/Beta"), std::string::npos) << dump;
}

TEST(Folders, ThousandsOfFoldersSpillIntoMultiBlockTables) {
  const std::string path = TempDir("folders") + "/many.pst";
  {
    auto store = Must(Store::Create(path, "Many"));
    for (int i = 0; i < 600; ++i) Must(store->AddFolder(store->ipm_subtree(), "Folder " + std::to_string(i)));
    MustOk(store->Close());
  }
  std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders items=0 subfolders=601"), std::string::npos);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Folder 599 "), std::string::npos);
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

TEST(StandardFolders, InboxUnderAnotherNameIsFoundByItsProperties) {
  const std::string path = TempDir("standard") + "/localized.pst";
  FolderId local;
  {
    auto store = Must(Store::Create(path, "Lokal"));
    local = Must(store->AddFolder(store->ipm_subtree(), "受信トレイ"));
    MustOk(store->Close());
  }
  {
    // As Outlook leaves a localized Inbox: the Calendar's entry ID sits on it.
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path))));
    auto props = Must(ReadPcNode(*db, local));
    props[mapi::TagId(mapi::tags::kIpmAppointmentEntryId)] = ltp::PropertyValue{0x0102, std::string(24, '\0'), 0};
    NodeStreams pc = Must(WritePc(db.get(), props));
    MustOk(db->SetNode({local, pc.bid_data, pc.bid_sub, db->FindNode(local)->nid_parent}));
    MustOk(db->Commit());
  }
  auto store = Must(Store::Open(path));
  EXPECT_EQ(Must(store->DefaultFolder(StandardFolder::kInbox)), local);
  MustOk(store->EnsureStandardFolders());
  EXPECT_FALSE(store->FindFolder(store->ipm_subtree(), "Inbox").ok());
  MustOk(store->Close());
  VerifiedDump(path);
}

}  // namespace
}  // namespace baleport::pst::testing
