#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace std::string_literals;

#include "pst/disk/bytes.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"

namespace baleport::pst::ltp {
namespace {

// Stands in for a node's subnodes: big values are kept by NID.
struct FakeSubnodes {
  std::map<uint32_t, std::string> streams;
  uint32_t next = 0x400;
  BigValueSink Sink() {
    return [this](std::string_view d) -> Result<uint32_t> {
      uint32_t nid = (next++ << 5) | 0x1F;
      streams[nid] = std::string(d);
      return nid;
    };
  }
  SubnodeSource Source() {
    return [this](uint32_t nid) -> Result<std::string> {
      auto it = streams.find(nid);
      if (it == streams.end()) return Status::Error("no subnode");
      return it->second;
    };
  }
};

TEST(Heap, ItemsSpreadOverBlocksKeepTheirBytes) {
  HeapBuilder b(kClientSigPC);
  std::vector<std::pair<uint32_t, std::string>> items;
  for (int i = 0; i < 40; ++i) {
    std::string v(1000 + i, static_cast<char>('a' + i % 26));
    auto hid = b.Allocate(v);
    ASSERT_TRUE(hid.ok());
    items.emplace_back(*hid, v);
  }
  EXPECT_FALSE(b.Allocate(std::string(kMaxHeapItem + 1, 'x')).ok());
  auto blocks = b.Finish();
  ASSERT_GT(blocks.size(), 4u);
  for (const auto& blk : blocks) EXPECT_LE(blk.size(), 8176u);
  auto heap = Heap::Parse(blocks, "test");
  ASSERT_TRUE(heap.ok()) << heap.status().message();
  for (const auto& [hid, v] : items) {
    auto got = heap->Get(hid);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, v);
  }
  EXPECT_FALSE(heap->Get(0x7FE0).ok());
}

TEST(Heap, DamagedBlocksAreRefused) {
  HeapBuilder b(kClientSigTC);
  ASSERT_TRUE(b.Allocate("abc").ok());
  auto blocks = b.Finish();
  auto bad_sig = blocks;
  bad_sig[0][2] = 0;
  EXPECT_FALSE(Heap::Parse(bad_sig, "t").ok());
  auto bad_map = blocks;
  disk::Store<uint16_t>(bad_map[0].data(), 0x7000);
  EXPECT_FALSE(Heap::Parse(bad_map, "t").ok());
  EXPECT_FALSE(Heap::Parse({"x"}, "t").ok());
}

TEST(PropertyContext, ManyPropertiesAndBigValuesRoundTrip) {
  PropertyMap props;
  for (uint16_t id = 0x1000; id < 0x1000 + 1200; ++id) {
    std::string v;
    disk::Append<uint32_t>(v, id * 3u);
    props[id] = PropertyValue{0x0003, v, 0};
  }
  props[0x0037] = PropertyValue{0x001F, std::string(10000, 'z'), 0};  // to a subnode
  props[0x0038] = PropertyValue{0x0102, "", 0};                       // empty
  props[0x0039] = PropertyValue{0x0040, std::string(8, '\x11'), 0};   // 8 bytes: in the heap
  props[0x003A] = PropertyValue{0x000B, std::string(1, '\1'), 0};
  FakeSubnodes subs;
  auto blocks = BuildPropertyContext(props, subs.Sink());
  ASSERT_TRUE(blocks.ok()) << blocks.status().message();
  EXPECT_EQ(subs.streams.size(), 1u);
  auto heap = Heap::Parse(*blocks, "pc");
  ASSERT_TRUE(heap.ok());
  auto back = ReadPropertyContext(*heap, subs.Source());
  ASSERT_TRUE(back.ok()) << back.status().message();
  ASSERT_EQ(back->size(), props.size());
  for (const auto& [id, v] : props) {
    EXPECT_EQ((*back)[id].type, v.type) << id;
    EXPECT_EQ((*back)[id].data, v.data) << id;
  }
}

TEST(Bth, EmptyAndMultiLevelTrees) {
  HeapBuilder b(kClientSigBTH);
  auto empty = BuildBth(b, BthShape{4, 4}, {});
  std::vector<std::string> recs;
  for (uint32_t k = 0; k < 100000; k += 7) {
    std::string r;
    disk::Append<uint32_t>(r, k);
    disk::Append<uint32_t>(r, ~k);
    recs.push_back(r);
  }
  auto full = BuildBth(b, BthShape{4, 4}, recs);
  ASSERT_TRUE(empty.ok() && full.ok());
  auto heap = Heap::Parse(b.Finish(), "bth");
  ASSERT_TRUE(heap.ok());
  auto e = ReadBth(*heap, *empty, BthShape{4, 4});
  ASSERT_TRUE(e.ok());
  EXPECT_TRUE(e->empty());
  auto f = ReadBth(*heap, *full, BthShape{4, 4});
  ASSERT_TRUE(f.ok()) << f.status().message();
  EXPECT_EQ(*f, recs);
  EXPECT_FALSE(ReadBth(*heap, *full, BthShape{2, 6}).ok());
}

TEST(TableContext, RowsCellsAndMatrixInSubnode) {
  Table t;
  t.columns = Table::Layout({0x0037001F, 0x0E080003, 0x0057000B, 0x00390040, 0x00710102});
  ASSERT_EQ(t.columns.size(), 7u);
  const int subject = t.ColumnIndex(0x0037001F), size = t.ColumnIndex(0x0E080003), tome = t.ColumnIndex(0x0057000B);
  for (uint32_t i = 0; i < 500; ++i) {
    Cells c(t.columns.size());
    c[t.ColumnIndex(kTagLtpRowId)] = std::string("\0\0\0\0", 4);
    if (i % 3) c[subject] = std::string(i % 7 ? 10 : 5000, static_cast<char>('A' + i % 26));
    std::string v;
    disk::Append<uint32_t>(v, i);
    c[size] = v;
    if (i % 2) c[tome] = std::string(1, '\1');
    t.rows.push_back(TableRow{0x200004u + (i << 5), PackCells(c)});
  }
  FakeSubnodes subs;
  auto blocks = BuildTableContext(t, subs.Sink());
  ASSERT_TRUE(blocks.ok()) << blocks.status().message();
  auto heap = Heap::Parse(*blocks, "tc");
  ASSERT_TRUE(heap.ok());
  auto back = ReadTableContext(*heap, subs.Source());
  ASSERT_TRUE(back.ok()) << back.status().message();
  ASSERT_EQ(back->rows.size(), t.rows.size());
  for (size_t i = 0; i < t.rows.size(); ++i) {
    EXPECT_EQ(back->rows[i].id, t.rows[i].id);
    Cells want = UnpackCells(t.rows[i].packed, t.columns.size());
    Cells got = UnpackCells(back->rows[i].packed, t.columns.size());
    want[t.ColumnIndex(kTagLtpRowId)] = got[t.ColumnIndex(kTagLtpRowId)];  // the writer fills the row id
    EXPECT_EQ(got, want) << "row " << i;
  }
}

TEST(TableContext, AddingColumnsKeepsCells) {
  Table t;
  t.columns = Table::Layout({0x3001001F});
  Cells c(t.columns.size());
  c[t.ColumnIndex(0x3001001F)] = "n\0a\0"s;
  t.rows.push_back(TableRow{0x42, PackCells(c)});
  t.AddColumns({0x36020003, 0x3001001F});
  ASSERT_EQ(t.columns.size(), 4u);
  Cells after = UnpackCells(t.rows[0].packed, t.columns.size());
  EXPECT_EQ(after[t.ColumnIndex(0x3001001F)], std::optional<std::string>("n\0a\0"s));
  EXPECT_FALSE(after[t.ColumnIndex(0x36020003)].has_value());
}

TEST(MultiValue, SplitRefusesBadLayouts) {
  std::string good = JoinMultiValue({"ab", "", "cde"});
  auto items = SplitMultiValue(good);
  ASSERT_TRUE(items.ok());
  EXPECT_EQ(*items, (std::vector<std::string>{"ab", "", "cde"}));
  EXPECT_FALSE(SplitMultiValue("\x05\0\0\0"s).ok());
  std::string bad = good;
  disk::Store<uint32_t>(bad.data() + 8, 1000);
  EXPECT_FALSE(SplitMultiValue(bad).ok());
}

}  // namespace
}  // namespace baleport::pst::ltp
