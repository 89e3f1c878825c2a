// Stores laid out as Outlook lays out its own, node by node and heap by heap (outlook_layout.h):
// a new store, a store in another language, and each Outlook sample added to across commits
// and reopens without losing or changing what it held.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "import/msg_to_item.h"
#include "mapi/tags.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/schema.h"
#include "pst/messaging/text.h"
#include "pst/tests/outlook_layout.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

namespace fs = std::filesystem;
using namespace mapi::tags;
using ::testing::IsEmpty;

class Layout : public ::testing::Test {
 protected:
  void SetUp() override {
    samples_ = OutlookSamples(PST_SAMPLES_DIR);
    if (samples_.empty()) GTEST_SKIP() << "no Outlook-made stores in " PST_SAMPLES_DIR "/pst";
  }
  std::vector<std::string> samples_;
};

// Standard folders make the Inbox the store's receive folder; subjects carry the marker of
// their prefix's length in the item and in its contents row; recipients are numbered from 1.
TEST_F(Layout, NewStoreEmptyAndWithAnItem) {
  const std::string path = TempDir("layout") + "/new.pst";
  auto store = Must(Store::Create(path, "New"));
  MustOk(store->Commit());
  EXPECT_THAT(LayoutFaults(path, samples_), IsEmpty()) << "empty";
  VerifiedDump(path);
  MustOk(store->EnsureStandardFolders());
  const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
  Must(store->AddFolder(inbox, "Sub"));
  auto m = Must(store->NewMessage(inbox));
  MustOk(m->Set(prop::String(kSubject, "RE: Hello")));
  MustOk(m->Set(prop::String(kSubjectPrefix, "RE: ")));
  MustOk(m->AddRecipient({prop::Int32(kRecipientType, 1), prop::String(kDisplayName, "Bob")}));
  MustOk(m->Save());
  const uint32_t id = m->id();
  MustOk(store->Close());
  EXPECT_THAT(LayoutFaults(path, samples_), IsEmpty()) << "with an item";

  auto db = OpenNodes(path);
  auto props = Must(ReadPcNode(*db, id));
  EXPECT_EQ(props[mapi::TagId(kSubject)].data, std::string("\x01\0\x05\0", 4) + Utf8ToUtf16Le("RE: Hello"));
  EXPECT_FALSE(props.count(mapi::TagId(kSubjectPrefix)));
  auto subs = Must(db->ReadSubnodes(db->FindNode(id)->bid_sub));
  EXPECT_EQ(Must(ReadTc(*db, {subs.at(disk::kNidRecipientTable).bid_data, 0}, "recipients")).rows.at(0).id, 1u);
  EXPECT_THAT(VerifiedDump(path), HasSubstr("| RE: Hello |"));
}

// A store in another language names its default folders in it: adding to it finds them by
// their entry IDs and the receive-folder table, and adds no English one beside them.
TEST(LocalizedStore, TakesItemsWithoutEnglishDefaultFolders) {
  const std::string path = TempDir("layout") + "/italiano.pst";
  auto italian = [](const std::string& english) { return english == "Inbox" ? std::string("Posta in arrivo") : english + " (it)"; };
  FolderId ipm = 0;
  {
    auto store = Must(Store::Create(path, "Italiano"));
    MustOk(store->EnsureStandardFolders());
    ipm = store->ipm_subtree();
    MustOk(store->Close());
  }
  {  // Renamed below the interface, in each folder and in its parent's row.
    auto db = OpenNodes(path, true);
    const uint32_t hier_nid = disk::MakeNid(disk::NidIndexOf(ipm), disk::kNidTypeHierarchyTable);
    ltp::Table hier = Must(ReadTcNode(*db, hier_nid));
    const int name_col = hier.ColumnIndex(kDisplayName);
    for (auto& row : hier.rows) {
      ltp::Cells cells = ltp::UnpackCells(row.packed, hier.columns.size());
      cells[name_col] = Utf8ToUtf16Le(italian(Utf16LeToUtf8(*cells[name_col])));
      row.packed = ltp::PackCells(cells);
      ltp::PropertyMap props = Must(ReadPcNode(*db, row.id));
      props[mapi::TagId(kDisplayName)].data = *cells[name_col];
      PutProperties(*db, row.id, props);
    }
    PutTable(*db, hier_nid, hier);
    MustOk(db->Commit());
  }
  auto store = Must(Store::Open(path));
  MustOk(store->EnsureStandardFolders());
  const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
  EXPECT_EQ(Must(store->GetFolder(inbox)).name, "Posta in arrivo");
  AddMail(*store, inbox, "arrivato");
  std::set<std::string> names, expected;
  for (const auto& f : Must(store->ListFolders(ipm))) names.insert(f.name);
  for (const auto& f : StandardFolders()) expected.insert(italian(std::string(f.name)));
  EXPECT_EQ(names, expected);
  MustOk(store->Close());
  EXPECT_THAT(VerifiedDump(path), HasSubstr("/Posta in arrivo | arrivato |"));
}

// The folder under the top folder holding the most items.
FolderId BusiestFolder(Store& store) {
  FolderId busiest = store.ipm_subtree();
  uint32_t most = 0;
  std::vector<FolderId> todo{store.ipm_subtree()};
  while (!todo.empty()) {
    FolderId f = todo.back();
    todo.pop_back();
    for (const auto& c : Must(store.ListFolders(f))) {
      todo.push_back(c.id);
      if (c.content_count > most) most = c.content_count, busiest = c.id;
    }
  }
  return busiest;
}

class OutlookSample : public Layout, public ::testing::WithParamInterface<const char*> {};

// Into the folder that holds the most items (whose table Outlook laid out in its heap: laid
// out anew once it outgrows it, then grown by appending), over three reopens with commits
// between; into the Inbox the standard folders name; into a new folder, every sample message
// and 500 small items over two commits (rows appended, heaps of several blocks, empty subjects).
TEST_P(OutlookSample, TakesFoldersAndItemsKeepingWhatItHeld) {
  const std::string path = WritableCopy(std::string(PST_SAMPLES_DIR) + "/pst/" + GetParam());
  const std::string old_dump = PypffDump(path).output;
  FolderId busiest;
  size_t old_items = 0;
  for (int round = 0; round < 3; ++round) {
    auto store = Must(Store::Open(path));
    if (round == 0) {
      busiest = BusiestFolder(*store);
      old_items = Must(store->ListMessages(busiest)).size();
      MustOk(store->EnsureStandardFolders());
      AddMail(*store, Must(store->DefaultFolder(StandardFolder::kInbox)), "added to inbox", true);
      const FolderId imported = Must(store->AddFolder(store->ipm_subtree(), "Imported"));
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(fs::path(PST_SAMPLES_DIR) / "msg", ec)) {
        auto item = Must(store->NewMessage(imported));
        MustOk(import::ImportMessageFile(e.path().string(), *item, *store).status());
        MustOk(item->Save());
      }
      for (int i = 0; i < 500; ++i) {
        auto m = Must(store->NewMessage(imported));
        MustOk(m->Set(prop::String(kSubject, i % 7 ? "item " + std::to_string(i) : "")));
        MustOk(m->Save());
        if (i == 250) MustOk(store->Commit());
      }
    }
    for (int i = 0; i < 120; ++i) {
      AddMail(*store, busiest, "appended " + std::to_string(round * 120 + i), i == 0);
      if (i % 50 == 49) MustOk(store->Commit());
    }
    MustOk(store->Close());
  }
  const auto listed = Must(OpenReadOnly(path)->ListMessages(busiest));
  ASSERT_EQ(listed.size(), old_items + 360);
  EXPECT_EQ(listed.back().subject, "appended 359");
  EXPECT_THAT(LayoutFaults(path, samples_), IsEmpty());
  const std::string dump = VerifiedDump(path);
  std::istringstream old(old_dump);
  for (std::string item; std::getline(old, item);) {
    if (item.starts_with("M ")) {
      EXPECT_THAT(dump, HasSubstr("\n" + item + "\n")) << "lost or changed";
    }
  }
  EXPECT_THAT(dump, HasSubstr("| added to inbox |"));
  for (int i = 0; i < 360; ++i) EXPECT_THAT(dump, HasSubstr("| appended " + std::to_string(i) + " |"));
}

INSTANTIATE_TEST_SUITE_P(Unicode, OutlookSample,
                         ::testing::Values("sample1.pst", "attachAndInline.pst", "testPST_variousBodyTypes.pst"));

}  // namespace
}  // namespace baleport::pst::testing
