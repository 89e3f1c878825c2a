#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "pst/disk/layout.h"
#include "pst/ndb/chunked_map.h"
#include "pst/ndb/node_database.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::ndb {
namespace {

using namespace disk;
using pst::testing::Must;
using pst::testing::OpenNodes;

// Rising keys (as blocks are made), then random ones splitting full chunks, then erasures that
// thin chunks out and merge them, checked against std::map, every key looked up.
TEST(ChunkedMap, KeepsOrderThroughAppendsSplitsAndMerges) {
  ChunkedMap<uint64_t, int> m;
  std::map<uint64_t, int> want;
  auto same = [&] {
    ASSERT_EQ((std::vector<std::pair<uint64_t, int>>(m.begin(), m.end())), (std::vector<std::pair<uint64_t, int>>(want.begin(), want.end())));
    for (const auto& [k, v] : want) {  // every key found, and the gap after it
      ASSERT_TRUE(m.find(k) != m.end() && m.find(k)->second == v) << k;
      const auto next = want.upper_bound(k);
      ASSERT_EQ(m.lower_bound(k + 1) == m.end() ? ~uint64_t{0} : m.lower_bound(k + 1)->first, next == want.end() ? ~uint64_t{0} : next->first) << k;
    }
  };
  for (uint64_t k = 4; k < 8000; k += 4) m[k] = want[k] = static_cast<int>(k);
  same();
  std::mt19937_64 rng(7);
  for (int i = 0; i < 5000; ++i) {
    const uint64_t k = rng() % 100000;
    EXPECT_EQ(m.try_emplace(k).second, !want.count(k));
    m[k] = want[k] = i;
  }
  same();
  size_t i = 0;  // four in five erased, in order: chunks thin out and merge with the next
  for (auto it = m.begin(); it != m.end(); ++i) {
    if (i % 5 == 0) {
      ++it;
    } else {
      EXPECT_EQ(want.erase(it->first), 1u);
      it = m.erase(it);
    }
  }
  same();
  while (want.size() > 200) {  // then one at a time, anywhere, each followed by every lookup
    const uint64_t k = std::next(want.begin(), static_cast<long>(rng() % want.size()))->first;
    EXPECT_EQ(m.erase(k), want.erase(k));
    same();
  }
}

class NodeDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = pst::testing::TempDir("ndb") + "/n.pst";
    db_ = Must(NodeDatabase::CreateNew(Must(Env::Default()->CreateNew(path_)), CryptMethod::kCyclic));
  }
  std::string path_;
  std::unique_ptr<NodeDatabase> db_;
};

// No item the store tests write has enough subnodes for a SIBLOCK: 700 here, over three
// SLBLOCKs, all sharing one block. Replacing the node frees everything only its trees held.
TEST_F(NodeDatabaseTest, LargeSubnodeTreesAndSharedBlocksSurviveReopening) {
  const uint64_t shared = *db_->WriteBlock("shared payload", false);
  SubnodeMap subs;
  for (uint32_t i = 0; i < 700; ++i) {
    ASSERT_TRUE(i == 0 || db_->AddRef(shared));
    subs[MakeNid(0x400 + i, kNidTypeLtp)] = SubnodeEntry{shared, 0};
  }
  StreamWriter writer(db_.get());
  ASSERT_TRUE(writer.Write(std::string(20000, 'd')).ok());
  const uint32_t nid = MakeNid(0x401, kNidTypeNormalMessage);
  ASSERT_TRUE(db_->SetNode({nid, *writer.Finish(), *db_->WriteSubnodes(subs), 0x122}).ok());
  ASSERT_TRUE(db_->Commit().ok());
  db_.reset();
  db_ = OpenNodes(path_, true);
  const NodeEntry n = *db_->FindNode(nid);
  const SubnodeMap back = Must(db_->ReadSubnodes(n.bid_sub));
  EXPECT_EQ(back.size(), 700u);
  EXPECT_EQ(*db_->ReadStream(back.begin()->second.bid_data), "shared payload");
  EXPECT_EQ(*db_->ReadStream(n.bid_data), std::string(20000, 'd'));
  const size_t before = db_->blocks().size();
  ASSERT_TRUE(db_->SetNode({nid, *db_->WriteBlock("small", false), 0, n.nid_parent}).ok());
  EXPECT_EQ(db_->blocks().size(), before + 1 - 9);  // SIBLOCK, 3 SLBLOCKs, the shared block, XBLOCK, 3 leaves
}

// Whole leaves of blocks freed at once: their pages go, and the pages above them follow (no
// store test frees enough blocks in a row to empty a page).
TEST_F(NodeDatabaseTest, PagesOfFreedBlocksGo) {
  std::vector<uint64_t> bids;
  for (int i = 0; i < 2000; ++i) bids.push_back(*db_->WriteBlock("block " + std::to_string(i), false));
  ASSERT_TRUE(db_->Commit().ok());
  const size_t pages = db_->tree_pages().size();
  for (size_t i = 500; i < 1500; ++i) {
    while (db_->FindBlock(bids[i])) ASSERT_TRUE(db_->Release(bids[i]).ok());
  }
  ASSERT_TRUE(db_->Commit().ok());
  EXPECT_LT(db_->tree_pages().size(), pages - 40);
  const auto reread = OpenNodes(path_);
  for (size_t i = 0; i < bids.size(); ++i) EXPECT_EQ(reread->FindBlock(bids[i]) != nullptr, i < 500 || i >= 1500) << i;
}

}  // namespace
}  // namespace baleport::pst::ndb
