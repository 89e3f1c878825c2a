#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "pst/disk/layout.h"
#include "pst/ndb/node_database.h"
#include "pst/tests/store_testing.h"
#include "support/little_endian.h"

namespace baleport::pst::testing {
namespace {

// The search management queue's updates: type and the first two words of each.
using Sud = std::tuple<uint16_t, uint32_t, uint32_t>;

std::vector<Sud> QueueOf(const std::string& path) {
  auto db = OpenNodes(path);
  const ndb::NodeEntry* n = db->FindNode(disk::kNidSearchManagementQueue);
  EXPECT_NE(n, nullptr);
  std::vector<Sud> out;
  if (!n || !n->bid_data) return out;
  const std::string items = Must(db->ReadStream(n->bid_data));
  for (size_t i = 0; i + 20 <= items.size(); i += 20) {
    out.push_back({LoadLe<uint16_t>(items.data() + i + 2), LoadLe<uint32_t>(items.data() + i + 4),
                   LoadLe<uint32_t>(items.data() + i + 8)});
  }
  return out;
}

// Outlook's sample lists the top folder and two others in its search domain: what is added
// under them is queued after what Outlook queued; what is added elsewhere, and what is
// added to a new store (which nobody searches), is not.
TEST(SearchUpdates, AdditionsUnderSearchedFoldersAreQueued) {
  const std::string fresh = TempDir("search-updates") + "/new.pst";
  {
    auto store = Must(Store::Create(fresh, "New"));
    AddMail(*store, Must(store->AddFolder(store->ipm_subtree(), "Box")), "one");
    MustOk(store->Close());
  }
  EXPECT_TRUE(QueueOf(fresh).empty());

  const std::string sample = PST_SAMPLES_DIR "/pst/sample1.pst";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "the sample stores are absent: " << sample;
  const std::string path = WritableCopy(sample);
  std::vector<Sud> expected = QueueOf(path);
  auto store = Must(Store::Open(path));
  const FolderId top = store->ipm_subtree();
  ASSERT_EQ(top, disk::kNidIpmSubtree);
  const FolderId added = Must(store->AddFolder(top, "Added"));
  expected.push_back({0x05, top, added});
  expected.push_back({0x01, top, AddMail(*store, top, "in the top folder")});
  AddMail(*store, added, "in a folder nobody searches");
  MustOk(store->Close());
  EXPECT_EQ(QueueOf(path), expected);
  VerifiedDump(path);
}

}  // namespace
}  // namespace baleport::pst::testing
