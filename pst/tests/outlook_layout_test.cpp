// Stores laid out node by node as Outlook lays out its own: a fresh store, and each Outlook
// sample after adding to it, have what all Outlook-made stores have.
#include <gtest/gtest.h>

#include <filesystem>

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
  EXPECT_EQ(props.at(mapi::TagId(kSubject)).data, marked);
  EXPECT_FALSE(props.count(mapi::TagId(kSubjectPrefix)));
  const ndb::NodeEntry* item = db->FindNode(id);
  auto subs = Must(db->ReadSubnodes(item->bid_sub));
  auto recipients = Must(ReadTc(*db, {subs.at(disk::kNidRecipientTable).bid_data, 0}, "recipients"));
  EXPECT_EQ(recipients.rows.at(0).id, 1u);
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("| RE: Hello |"), std::string::npos) << dump;
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
