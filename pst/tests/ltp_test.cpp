#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/table_context.h"
#include "pst/tests/heap_layout.h"
#include "support/little_endian.h"

namespace baleport::pst::ltp {
namespace {

// Stored blocks edited as a node's data tree would be: changed ones replaced, added ones appended.
void Apply(std::vector<std::string>& blocks, const std::map<size_t, std::string>& changes) {
  for (const auto& [i, b] : changes) {
    ASSERT_LE(i, blocks.size());
    if (i == blocks.size()) blocks.push_back(b);
    blocks[i] = b;
  }
}

HeapEditor EditorOver(const std::vector<std::string>& blocks) {
  return HeapEditor(blocks.size(), [&blocks](size_t i) -> Result<std::string> { return blocks[i]; }, "edited");
}

void ExpectOutlookBlocks(const std::vector<std::string>& blocks) {
  testing::RawHeap heap;
  ASSERT_TRUE(heap.Parse(blocks));
  EXPECT_EQ(heap.BlockFaults(), std::vector<std::string>());
}

TEST(HeapEditor, ChangesOnlyTheBlocksItTouches) {
  HeapBuilder b(kClientSigTC);
  std::map<uint32_t, std::string> items;
  for (int i = 0; i < 996; ++i) {
    std::string v(1000, static_cast<char>('a' + i % 26));
    items[*b.Allocate(v)] = v;
  }
  std::vector<std::string> blocks = b.Finish();
  ASSERT_EQ(blocks.size(), 125u);
  HeapEditor e = EditorOver(blocks);
  // New items run past the bitmap block at 136, which the editor itself starts.
  for (int i = 0; i < 170; ++i) {
    std::string v(700, static_cast<char>('A' + i % 26));
    items[*e.Allocate(v)] = v;
  }
  const uint32_t in_block3 = (3 << 16) | (2 << 5), in_block40 = (40 << 16) | (5 << 5);
  EXPECT_TRUE(*e.Replace(in_block3, "short"));
  items[in_block3] = "short";
  EXPECT_FALSE(*e.Replace(in_block40, std::string(3000, 'x')));  // no room: left as it was
  ASSERT_TRUE(e.Free(in_block40).ok());
  items[in_block40] = "";
  auto changed = e.Finish();
  ASSERT_TRUE(changed.ok()) << changed.status().message();
  // Blocks 3 and 40, the last stored one, the added ones, and the fill-level holders 0 and 8.
  std::set<size_t> want{0, 3, 8, 40, 124};
  for (size_t i = 125; i < e.block_count(); ++i) want.insert(i);
  std::set<size_t> got;
  for (const auto& [i, bytes] : *changed) got.insert(i);
  EXPECT_EQ(got, want);
  Apply(blocks, *changed);
  ExpectOutlookBlocks(blocks);
  const Heap heap = *Heap::Parse(blocks, "edited");
  for (const auto& [hid, v] : items) EXPECT_EQ(*heap.Get(hid), v) << hid;
}

std::string Le32(uint32_t v) {
  std::string r;
  AppendLe<uint32_t>(r, v);
  return r;
}

std::string Record(uint32_t key) { return Le32(key) + Le32(key ^ 0x5A5A5A5A); }

uint8_t BthLevels(const std::vector<std::string>& blocks, uint32_t header) { return (*(*Heap::Parse(blocks, "bth")).Get(header))[3]; }

// A tree built empty or of 1,000 records, then rounds of appends, each over the blocks the
// previous one left, as commits would do; the split points of leaves (447 records) and index
// items are where the right edge is rebuilt.
TEST(BthAppender, RightEdgeGrowsThroughSeveralLevels) {
  for (size_t stored : {0, 1000}) {
    HeapBuilder b(kClientSigBTH);
    std::vector<std::string> recs;
    for (uint32_t k = 0; k < stored; ++k) recs.push_back(Record(k * 3));
    const uint32_t header = *b.Allocate(std::string(8, '\0'));
    ASSERT_TRUE(BuildBth(b, header, BthShape{4, 4}, recs).ok());
    std::vector<std::string> blocks = b.Finish();
    uint32_t next = static_cast<uint32_t>(stored * 3);
    for (size_t round : {1, 446, 447, 1, 5000, 200000, 3}) {
      HeapEditor e = EditorOver(blocks);
      auto a = BthAppender::Open(e, header, BthShape{4, 4});
      ASSERT_TRUE(a.ok()) << a.status().message();
      for (size_t i = 0; i < round; ++i, next += 3) {
        recs.push_back(Record(next));
        ASSERT_TRUE(a->Append(e, recs.back()).ok());
      }
      ASSERT_TRUE(a->Finish(e).ok());
      auto changed = e.Finish();
      ASSERT_TRUE(changed.ok()) << changed.status().message();
      Apply(blocks, *changed);
      ASSERT_EQ(*ReadBth(*Heap::Parse(blocks, "bth"), header, BthShape{4, 4}), recs) << "after a round of " << round;
      ExpectOutlookBlocks(blocks);
    }
    EXPECT_EQ(BthLevels(blocks, header), 2) << "leaves, index items and a root";
  }
}

// A table laid out whole, then grown by appends as at commits; rows read back exactly.
class TableAppendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.columns = Table::Layout({0x0037001F, 0x0E080003, 0x0057000B, 0x00390040, 0x00710102});
    for (uint32_t i = 0; i < 500; ++i) t_.rows.push_back(Row(i));
    blocks_ = *BuildTableContext(t_, Sink());
    HeapEditor e = EditorOver(blocks_);
    info_ = **AppendableTable(e);
    ASSERT_FALSE(IsHid(info_.hnid_rows));
    const std::string& m = subs_[info_.hnid_rows];
    for (size_t at = 0; at < m.size(); at += 8176) matrix_.push_back(m.substr(at, 8176));
  }

  // Big values kept by NID, as a node's subnodes.
  BigValueSink Sink() {
    return [this](std::string_view d) -> Result<uint32_t> {
      const uint32_t nid = static_cast<uint32_t>(0x400 + subs_.size()) << 5 | 0x1F;
      subs_[nid] = std::string(d);
      return nid;
    };
  }

  TableRow Row(uint32_t i) const {
    Cells c(t_.columns.size());
    c[t_.ColumnIndex(kTagLtpRowId)] = Le32(0x200004u + (i << 5));
    if (i % 3) c[t_.ColumnIndex(0x0037001F)] = std::string(i % 7 ? 10 + i % 50 : 5000, static_cast<char>('A' + i % 26));
    c[t_.ColumnIndex(0x0E080003)] = Le32(i);
    if (i % 2) c[t_.ColumnIndex(0x0057000B)] = std::string(1, '\1');
    return TableRow{0x200004u + (i << 5), PackCells(c)};
  }

  // Appends rows [from, to); nullopt when the table refuses them.
  std::optional<TableAppend> Append(uint32_t from, uint32_t to, bool verify, StoredRowMatrix* matrix = nullptr) {
    std::vector<TableRow> rows;
    for (uint32_t i = from; i < to; ++i) rows.push_back(Row(i));
    HeapEditor e = EditorOver(blocks_);
    StoredRowMatrix stored{matrix_.size(), matrix_.back()};
    auto got = AppendTableRows(e, info_, matrix ? *matrix : stored, rows, Sink(), verify);
    EXPECT_TRUE(got.ok()) << got.status().message();
    if (!got.ok() || !*got) return std::nullopt;
    Apply(blocks_, (*got)->heap_blocks);
    Apply(matrix_, (*got)->matrix_blocks);
    std::string m;
    for (const auto& b : matrix_) m += b;
    subs_[info_.hnid_rows] = m;
    for (auto& r : rows) t_.rows.push_back(std::move(r));
    return *got;
  }

  void ExpectRowsExactly() {
    ExpectOutlookBlocks(blocks_);
    for (size_t i = 0; i + 1 < matrix_.size(); ++i) EXPECT_EQ(matrix_[i].size(), 8176u) << "matrix block " << i;
    auto back = ReadTableContext(*Heap::Parse(blocks_, "tc"), [this](uint32_t nid) -> Result<std::string> { return subs_.at(nid); });
    ASSERT_TRUE(back.ok()) << back.status().message();
    auto unpacked = [&](const std::vector<TableRow>& rows) {
      std::vector<std::pair<uint32_t, Cells>> out;
      for (const auto& r : rows) out.emplace_back(r.id, UnpackCells(r.packed, t_.columns.size()));
      return out;
    };
    EXPECT_TRUE(unpacked(back->rows) == unpacked(t_.rows));
  }

  Table t_;
  std::map<uint32_t, std::string> subs_;
  std::vector<std::string> blocks_, matrix_;
  TcInfo info_;
};

// Tables that cannot take appended rows are left alone: ids not above the stored ones, a row
// index that does not cover the matrix it is given (a table with its rows in the heap is every
// Outlook sample's, in layout_test). Then rows added over rounds of every size read back in order.
TEST_F(TableAppendTest, RowsAddedOverManyRoundsOrRefused) {
  EXPECT_FALSE(Append(499, 501, false));
  StoredRowMatrix longer{matrix_.size() + 1, matrix_.back()}, ragged{matrix_.size(), matrix_.back() + "xy"};
  EXPECT_FALSE(Append(500, 501, true, &longer));
  EXPECT_FALSE(Append(500, 501, true, &ragged));
  ExpectRowsExactly();  // as laid out whole, untouched by the refused appends

  uint32_t n = 500;
  for (uint32_t round : {1u, 70u, 300u, 2000u, 1u, 450u}) {
    auto changed = Append(n, n + round, n == 500);
    ASSERT_TRUE(changed) << "round of " << round;
    n += round;
    if (round == 1) {  // the matrix's last block, and a few heap blocks of many
      EXPECT_EQ(changed->matrix_blocks.size(), 1u);
      EXPECT_LE(changed->heap_blocks.size(), 5u);
    }
    ExpectRowsExactly();
  }
  EXPECT_GT(matrix_.size(), 10u);
  EXPECT_GE(BthLevels(blocks_, info_.hid_row_index), 1);
}

}  // namespace
}  // namespace baleport::pst::ltp
