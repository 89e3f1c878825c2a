// The checker must catch the faults a writer could make, not only pass good stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "mapi/tags.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using Edit = std::function<void(ndb::NodeDatabase&, FolderId)>;

// A store of three items, changed below the public interface by `edit`: the checker's report.
CheckReport CheckedAfter(const Edit& edit) {
  const std::string path = TempDir("checker") + "/c.pst";
  FolderId folder;
  {
    auto store = Must(Store::Create(path, "Checked"));
    folder = Must(store->AddFolder(store->ipm_subtree(), "Box"));
    for (int i = 0; i < 3; ++i) AddMail(*store, folder, "item " + std::to_string(i));
    MustOk(store->Close());
  }
  auto db = OpenNodes(path, true);
  edit(*db, folder);
  MustOk(db->Commit());
  db.reset();
  return CheckStore(Env::Default(), path);
}

// Faults a writer could make, each with the error the checker must give; and, with no error,
// an item without a recipient table, which Outlook leaves out of items without recipients.
TEST(Checker, CatchesWhatAWriterCouldGetWrongAndPassesWhatOutlookDoes) {
  const std::pair<const char*, Edit> edits[] = {
      {"contents table rows differ from its items",
       [](ndb::NodeDatabase& db, FolderId folder) {
         const uint32_t contents = disk::MakeNid(disk::NidIndexOf(folder), disk::kNidTypeContentsTable);
         auto t = Must(ReadTcNode(db, contents));
         t.rows.pop_back();
         PutTable(db, contents, t);
       }},
      {"item count 7 differs",
       [](ndb::NodeDatabase& db, FolderId folder) {
         auto props = Must(ReadPcNode(db, folder));
         props[mapi::TagId(kContentCount)].data = std::string("\x07\0\0\0", 4);
         PutProperties(db, folder, props);
       }},
      {"holders but a reference count of 2",  // freeing one holder would corrupt the other
       [](ndb::NodeDatabase& db, FolderId) {
         const ndb::NodeEntry* n = db.FindNode(disk::kNidNameToIdMap);
         MustOk(db.SetNode({disk::MakeNid(0x500, disk::kNidTypeInternal), n->bid_data, 0, 0}));
       }},
      {"",
       [](ndb::NodeDatabase& db, FolderId) {
         // An item's new subnode tree without the recipient table; the other subnodes and the
         // PC keep their blocks, which the replaced node no longer holds.
         const auto item = std::find_if(db.nodes().begin(), db.nodes().end(),
                                        [](const auto& n) { return disk::NidTypeOf(n.first) == disk::kNidTypeNormalMessage; });
         ndb::NodeEntry changed = item->second;
         ndb::SubnodeMap subs = Must(db.ReadSubnodes(changed.bid_sub));
         subs.erase(disk::kNidRecipientTable);
         for (const auto& [k, e] : subs) {
           db.AddRef(e.bid_data);
           if (e.bid_sub) db.AddRef(e.bid_sub);
         }
         changed.bid_sub = Must(db.WriteSubnodes(subs));
         db.AddRef(changed.bid_data);
         MustOk(db.SetNode(changed));
       }},
  };
  for (const auto& [error, edit] : edits) {
    const CheckReport r = CheckedAfter(edit);
    EXPECT_EQ(r.ok(), *error == '\0') << error << "\n" << r.Summary();
    EXPECT_THAT(r.Summary(), HasSubstr(error));
  }
}

}  // namespace
}  // namespace baleport::pst::testing
