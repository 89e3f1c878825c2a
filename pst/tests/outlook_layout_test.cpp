// Stores laid out node by node as Outlook lays out its own: a fresh store, and each Outlook
// sample after adding to it, have what all Outlook-made stores have.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "mapi/tags.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/text.h"
#include "pst/tests/outlook_layout.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

class OutlookLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    samples_ = OutlookSamples(PST_SAMPLES_DIR);
    if (samples_.empty()) GTEST_SKIP() << "no Outlook-made stores in " PST_SAMPLES_DIR "/pst";
  }
  std::vector<std::string> samples_;
};

TEST_F(OutlookLayout, FreshStoreHasWhatOutlooksHave) {
  const std::string path = TempDir("layout") + "/fresh.pst";
  MustOk(Must(Store::Create(path, "Fresh"))->Close());
  EXPECT_EQ(Joined(LayoutDifferences(path, samples_)), "");
  VerifiedDump(path);
}

// Standard folders make the Inbox the store's receive folder; subjects carry the marker of
// their prefix's length in the item and in its contents row; recipients are numbered from 1.
TEST_F(OutlookLayout, StoreWithItemsHasWhatOutlooksHave) {
  const std::string path = TempDir("layout") + "/items.pst";
  uint32_t id = 0;
  {
    auto store = Must(Store::Create(path, "Items"));
    MustOk(store->EnsureStandardFolders());
    const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
    Must(store->AddFolder(inbox, "Sub"));
    auto m = Must(store->NewMessage(inbox));
    MustOk(m->Set(prop::String(kSubject, "RE: Hello")));
    MustOk(m->Set(prop::String(kSubjectPrefix, "RE: ")));
    MustOk(m->AddRecipient({prop::Int32(kRecipientType, 1), prop::String(kDisplayName, "Bob")}));
    MustOk(m->Save());
    id = m->id();
    EXPECT_EQ(Must(store->ListMessages(inbox)).at(0).subject, "RE: Hello");
    MustOk(store->Close());
  }
  EXPECT_EQ(Joined(LayoutDifferences(path, samples_)), "");
  const std::string marked = std::string("\x01\0\x05\0", 4) + Utf8ToUtf16Le("RE: Hello");
  auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForRead(path))));
  auto props = Must(ReadPcNode(*db, id));
  ASSERT_TRUE(props.count(mapi::TagId(kSubject)));
  EXPECT_EQ(props.find(mapi::TagId(kSubject))->second.data, marked);
  EXPECT_FALSE(props.count(mapi::TagId(kSubjectPrefix)));
  const ndb::NodeEntry* item = db->FindNode(id);
  auto subs = Must(db->ReadSubnodes(item->bid_sub));
  auto recipients = Must(ReadTc(*db, {subs.at(disk::kNidRecipientTable).bid_data, 0}, "recipients"));
  EXPECT_EQ(recipients.rows.at(0).id, 1u);
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("| RE: Hello |"), std::string::npos) << dump;
}

// A store in another language names its default folders in it: adding to it finds them by
// their entry IDs and the receive-folder table, and adds no English one beside them.
TEST(LocalizedStore, TakesItemsWithoutEnglishDefaultFolders) {
  const std::string path = TempDir("layout") + "/italiano.pst";
  const std::map<std::string, std::string> italian = {
      {"Inbox", "Posta in arrivo"}, {"Outbox", "Posta in uscita"}, {"Sent Items", "Posta inviata"},
      {"Deleted Items", "Posta eliminata"}, {"Calendar", "Calendario"}, {"Contacts", "Contatti"},
      {"Journal", "Diario"}, {"Notes", "Note"}, {"Tasks", "Attività"}, {"Drafts", "Bozze"},
      {"Junk E-mail", "Posta indesiderata"}};
  FolderId ipm = 0;
  {
    auto store = Must(Store::Create(path, "Italiano"));
    MustOk(store->EnsureStandardFolders());
    ipm = store->ipm_subtree();
    MustOk(store->Close());
  }
  {
    // Renamed below the interface, in each folder and in its parent's row.
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path))));
    const uint32_t hier_nid = disk::MakeNid(disk::NidIndexOf(ipm), disk::kNidTypeHierarchyTable);
    ltp::Table hier = Must(ReadTcNode(*db, hier_nid));
    const int name_col = hier.ColumnIndex(kDisplayName);
    for (auto& row : hier.rows) {
      ltp::Cells cells = ltp::UnpackCells(row.packed, hier.columns.size());
      const std::string name = Utf16LeToUtf8(*cells[name_col]);
      cells[name_col] = Utf8ToUtf16Le(italian.at(name));
      row.packed = ltp::PackCells(cells);
      ltp::PropertyMap props = Must(ReadPcNode(*db, row.id));
      props[mapi::TagId(kDisplayName)].data = *cells[name_col];
      const NodeStreams pc = Must(WritePc(db.get(), props));
      MustOk(db->SetNode({row.id, pc.bid_data, pc.bid_sub, ipm}));
    }
    const ndb::NodeEntry* old = db->FindNode(hier_nid);
    const NodeStreams tc = Must(WriteTc(db.get(), hier, {old->bid_data, old->bid_sub}));
    MustOk(db->SetNode({hier_nid, tc.bid_data, tc.bid_sub, 0}));
    MustOk(db->Commit());
  }
  auto store = Must(Store::Open(path));
  MustOk(store->EnsureStandardFolders());
  const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
  EXPECT_EQ(Must(store->GetFolder(inbox)).name, "Posta in arrivo");
  std::set<std::string> names;
  for (const auto& f : Must(store->ListFolders(ipm))) names.insert(f.name);
  std::set<std::string> expected;
  for (const auto& [english, local] : italian) expected.insert(local);
  EXPECT_EQ(names, expected);
  MustOk(store->Close());
  VerifiedDump(path);
}

class OutlookSampleLayout : public OutlookLayout, public ::testing::WithParamInterface<const char*> {};

TEST_P(OutlookSampleLayout, AddingKeepsOutlooksLayout) {
  const std::string source = std::string(PST_SAMPLES_DIR) + "/pst/" + GetParam();
  const std::string path = TempDir("layout") + "/" + GetParam();
  std::filesystem::copy_file(source, path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Joined(LayoutDifferences(path, samples_)), "") << "untouched";
  {
    auto store = Must(Store::Open(path));
    MustOk(store->EnsureStandardFolders());
    const FolderId added = Must(store->AddFolder(store->ipm_subtree(), "Imported"));
    auto m = Must(store->NewMessage(added));
    MustOk(m->Set(prop::String(kSubject, "added")));
    MustOk(m->Save());
    MustOk(store->Close());
  }
  EXPECT_EQ(Joined(LayoutDifferences(path, samples_)), "");
}

INSTANTIATE_TEST_SUITE_P(Unicode, OutlookSampleLayout,
                         ::testing::Values("sample1.pst", "attachAndInline.pst", "testPST_variousBodyTypes.pst"));

}  // namespace
}  // namespace baleport::pst::testing
