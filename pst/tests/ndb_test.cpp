#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "pst/disk/layout.h"
#include "pst/ndb/chunked_map.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/space_map.h"
#include "pst/tests/readers.h"

namespace baleport::pst::ndb {
namespace {

using namespace disk;

// Rising keys (as blocks are made), then random ones splitting full chunks, then erasures that
// thin chunks out and merge them, checked against std::map after every round.
TEST(ChunkedMap, KeepsOrderThroughAppendsSplitsAndMerges) {
  ChunkedMap<uint64_t, int> m;
  std::map<uint64_t, int> want;
  auto same = [&] {
    ASSERT_EQ(m.size(), want.size());
    auto w = want.begin();
    for (const auto& [k, v] : m) {
      ASSERT_EQ(k, w->first);
      ASSERT_EQ(v, w->second);
      ++w;
    }
    for (uint64_t probe : {uint64_t{0}, uint64_t{5}, uint64_t{4001}, uint64_t{77777}, ~uint64_t{0}}) {
      auto got = m.lower_bound(probe);
      auto expected = want.lower_bound(probe);
      ASSERT_EQ(got == m.end(), expected == want.end()) << probe;
      if (expected != want.end()) {
        EXPECT_EQ(got->first, expected->first) << probe;
      }
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
  for (int i = 0; i < 6000; ++i) {
    const uint64_t k = rng() % 100000;
    EXPECT_EQ(m.erase(k), want.erase(k));
  }
  for (auto it = m.lower_bound(1000); it != m.end() && it->first < 6000;) it = m.erase(it);
  want.erase(want.lower_bound(1000), want.lower_bound(6000));
  same();
  EXPECT_EQ(m.find(2000), m.end());
  EXPECT_EQ(m.count(8), 1u);
}

// Space of the last commit is not handed out again before the next; the map grows by
// sections with their own map pages.
TEST(SpaceMap, KeepsCommittedSpaceAndGrowsBySections) {
  SpaceMap m(1);
  const uint64_t a = m.Allocate(512, 512);
  EXPECT_EQ(a, kFirstAMapOffset + 2 * kPageSize);  // after the AMap and the PMap
  m.CommitDone();
  m.Free(a, 512);
  EXPECT_NE(m.Allocate(512, 512), a);
  m.CommitDone();
  EXPECT_EQ(m.Allocate(512, 512), a);
  uint64_t last = 0;
  for (int i = 0; i < 40; ++i) last = m.Allocate(8192, 64);
  EXPECT_EQ(m.sections(), 2u);
  EXPECT_GT(last, SpaceMap::AMapOffset(1));
  EXPECT_EQ(SpaceMap::MapPagesIn(0), 2u);    // AMap + PMap
  EXPECT_EQ(SpaceMap::MapPagesIn(1), 1u);
  EXPECT_EQ(SpaceMap::MapPagesIn(128), 3u);  // + the first FMap
  EXPECT_TRUE(SpaceMap::HasFPMap(8192));
  uint8_t bits[kPageDataSize];
  m.AMapBits(1, bits);
  EXPECT_EQ(bits[0] & 0xC0, 0xC0);  // the section's own AMap page (8 slots)
}

class NodeDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = pst::testing::TempDir("ndb") + "/n.pst";
    db_ = std::move(NodeDatabase::CreateNew(std::move(Env::Default()->CreateNew(path_).value()), CryptMethod::kCyclic).value());
  }
  // The file as it is now, through a handle of its own.
  std::unique_ptr<NodeDatabase> Reopen(bool update = false) {
    auto file = update ? Env::Default()->OpenForUpdate(path_) : Env::Default()->OpenForRead(path_);
    auto db = NodeDatabase::Open(std::move(file).value());
    EXPECT_TRUE(db.ok()) << db.status().message();
    return db.ok() ? std::move(*db) : nullptr;
  }
  std::string path_;
  std::unique_ptr<NodeDatabase> db_;
};

TEST_F(NodeDatabaseTest, LargeSubnodeTreesAndSharedBlocksSurviveReopening) {
  // 700 subnodes need SIBLOCK over three SLBLOCKs; one data block is shared by all of them.
  const uint64_t shared = *db_->WriteBlock("shared payload", false);
  SubnodeMap subs;
  for (uint32_t i = 0; i < 700; ++i) {
    ASSERT_TRUE(i == 0 || db_->AddRef(shared));
    subs[MakeNid(0x400 + i, kNidTypeLtp)] = SubnodeEntry{shared, 0};
  }
  StreamWriter writer(db_.get());
  ASSERT_TRUE(writer.Write(std::string(20000, 'd')).ok());
  const uint64_t data = *writer.Finish();  // an XBLOCK over three leaves
  ASSERT_TRUE(db_->SetNode({MakeNid(0x401, kNidTypeNormalMessage), data, *db_->WriteSubnodes(subs), 0x122}).ok());
  ASSERT_TRUE(db_->Commit().ok());
  EXPECT_EQ(db_->FindBlock(shared)->cref, 701);
  db_.reset();

  const auto reopened = Reopen(true);
  NodeDatabase& db = *reopened;
  const NodeEntry* n = db.FindNode(MakeNid(0x401, kNidTypeNormalMessage));
  ASSERT_NE(n, nullptr);
  auto back = db.ReadSubnodes(n->bid_sub);
  ASSERT_TRUE(back.ok()) << back.status().message();
  EXPECT_EQ(back->size(), 700u);
  EXPECT_EQ(*db.ReadStream(back->begin()->second.bid_data), "shared payload");
  EXPECT_EQ(*db.ReadStream(n->bid_data), std::string(20000, 'd'));
  // Replacing the node frees the trees and everything only they held.
  const size_t before = db.blocks().size();
  const uint64_t small = *db.WriteBlock("small", false);
  ASSERT_TRUE(db.SetNode({n->nid, small, 0, n->nid_parent}).ok());
  EXPECT_EQ(db.blocks().size(), before + 1 - 9);  // SIBLOCK, 3 SLBLOCKs, the shared block, XBLOCK, 3 leaves
  ASSERT_TRUE(db.Commit().ok());
}

// Reference counts changed and changed back between commits: the file holds every count as
// it ends, over two commits (the second starts from what the first wrote). Then whole leaves
// of blocks are freed at once: their pages go, and the pages above them follow.
TEST_F(NodeDatabaseTest, ReferencesTakenAndGivenBackLeaveTheFileRight) {
  std::vector<uint64_t> bids;
  for (int i = 0; i < 2000; ++i) bids.push_back(*db_->WriteBlock("block " + std::to_string(i), false));  // many leaves
  ASSERT_TRUE(db_->Commit().ok());
  auto expect_file_counts = [&](const char* when) {
    const auto reread = Reopen();
    for (uint64_t bid : bids) {
      const BlockInfo* here = db_->FindBlock(bid);
      const BlockInfo* there = reread->FindBlock(bid);
      ASSERT_EQ(here == nullptr, there == nullptr) << when << ": block " << bid;
      if (here) {
        EXPECT_EQ(here->cref, there->cref) << when << ": block " << bid;
      }
    }
  };
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < bids.size(); i += 61) {  // one to a leaf page
      const uint64_t bid = bids[i];
      if (!db_->FindBlock(bid)) continue;
      switch ((i + round) % 5) {
        case 0: ASSERT_TRUE(db_->AddRef(bid)); ASSERT_TRUE(db_->Release(bid).ok()); break;  // as it was
        case 1: ASSERT_TRUE(db_->AddRef(bid)); break;
        case 2: ASSERT_TRUE(db_->AddRef(bid)); ASSERT_TRUE(db_->Release(bid).ok()); ASSERT_TRUE(db_->AddRef(bid)); break;
        case 3: ASSERT_TRUE(db_->Release(bid).ok()); break;  // freed, or back to one holder
        case 4:
          if (db_->FindBlock(bid)->cref > 2) {
            ASSERT_TRUE(db_->Release(bid).ok());
          }
          break;
      }
    }
    ASSERT_TRUE(db_->Commit().ok());
    expect_file_counts(round == 0 ? "first commit" : "second commit");
  }
  const size_t pages = db_->tree_pages().size();
  for (size_t i = 500; i < 1500; ++i) {
    while (db_->FindBlock(bids[i])) ASSERT_TRUE(db_->Release(bids[i]).ok());
  }
  ASSERT_TRUE(db_->Commit().ok());
  EXPECT_LT(db_->tree_pages().size(), pages - 40);
  expect_file_counts("leaves emptied");
}

TEST_F(NodeDatabaseTest, BlocksFailTheirChecksumWhenDamaged) {
  const uint64_t bid = *db_->WriteBlock("payload to damage", false);
  ASSERT_TRUE(db_->SetNode({0x21, bid, 0, 0}).ok());
  ASSERT_TRUE(db_->Commit().ok());
  const uint64_t ib = db_->FindBlock(bid)->ib;
  db_.reset();
  ASSERT_TRUE(Env::Default()->OpenForUpdate(path_).value()->Write(ib + 3, "\x55", 1).ok());
  auto r = Reopen()->ReadBlock(bid);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.status().message().find("checksum"), std::string::npos) << r.status().message();
  EXPECT_NE(r.status().message().find(path_), std::string::npos);
}

}  // namespace
}  // namespace baleport::pst::ndb
