// The checker must catch the faults a writer could make, not only pass good stores.
#include <gtest/gtest.h>

#include "mapi/tags.h"
#include "pst/messaging/node_io.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;

class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempDir("checker") + "/c.pst";
    auto store = Must(Store::Create(path_, "Checked"));
    folder_ = Must(store->AddFolder(store->ipm_subtree(), "Box"));
    for (int i = 0; i < 3; ++i) {
      auto m = Must(store->NewMessage(folder_));
      MustOk(m->Set(prop::String(kSubject, "item " + std::to_string(i))));
      MustOk(m->Save());
    }
    MustOk(store->Close());
    ASSERT_TRUE(CheckStore(Env::Default(), path_).ok());
  }
  // Changes the store below the public interface, then expects `error` from the checker.
  template <typename Edit>
  void ExpectCaught(Edit edit, const std::string& error) {
    {
      auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path_))));
      edit(*db);
      MustOk(db->Commit());
    }
    CheckReport r = CheckStore(Env::Default(), path_);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.Summary().find(error), std::string::npos) << r.Summary();
  }
  std::string path_;
  FolderId folder_ = 0;
};

TEST_F(CheckerTest, ItemMissingFromItsFolderTable) {
  ExpectCaught([&](ndb::NodeDatabase& db) {
    const uint32_t contents = disk::MakeNid(disk::NidIndexOf(folder_), disk::kNidTypeContentsTable);
    auto t = Must(ReadTcNode(db, contents));
    t.rows.pop_back();
    NodeStreams s = Must(WriteTc(&db, t));
    MustOk(db.SetNode({contents, s.bid_data, s.bid_sub, 0}));
  }, "contents table rows differ from its items");
}

TEST_F(CheckerTest, WrongItemCount) {
  ExpectCaught([&](ndb::NodeDatabase& db) {
    auto props = Must(ReadPcNode(db, folder_));
    props[mapi::TagId(kContentCount)].data = std::string("\x07\0\0\0", 4);
    NodeStreams s = Must(WritePc(&db, props));
    MustOk(db.SetNode({folder_, s.bid_data, s.bid_sub, db.FindNode(folder_)->nid_parent}));
  }, "item count 7 differs");
}

TEST_F(CheckerTest, ReferenceCountTooLow) {
  ExpectCaught([&](ndb::NodeDatabase& db) {
    // A second holder without a reference: freeing one would corrupt the other.
    const ndb::NodeEntry* n = db.FindNode(disk::kNidNameToIdMap);
    MustOk(db.SetNode({disk::MakeNid(0x500, disk::kNidTypeInternal), n->bid_data, 0, 0}));
  }, "holders but a reference count of 2");
}

// Outlook leaves the recipient table out of items without recipients (appointments,
// contacts): such an item is sound.
TEST_F(CheckerTest, ItemWithoutRecipientTableIsSound) {
  {
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path_))));
    for (const auto& [nid, n] : db->nodes()) {
      if (disk::NidTypeOf(nid) != disk::kNidTypeNormalMessage) continue;
      // A new subnode tree without the recipient table; the other subnodes and the PC keep
      // their blocks, which the replaced node no longer holds.
      ndb::SubnodeMap subs = Must(db->ReadSubnodes(n.bid_sub));
      subs.erase(disk::kNidRecipientTable);
      for (const auto& [k, e] : subs) {
        db->AddRef(e.bid_data);
        if (e.bid_sub) db->AddRef(e.bid_sub);
      }
      ndb::NodeEntry changed = n;
      changed.bid_sub = Must(db->WriteSubnodes(subs));
      db->AddRef(changed.bid_data);
      MustOk(db->SetNode(changed));
      break;
    }
    MustOk(db->Commit());
  }
  CheckReport r = CheckStore(Env::Default(), path_);
  EXPECT_TRUE(r.ok()) << r.Summary();
}

}  // namespace
}  // namespace baleport::pst::testing
