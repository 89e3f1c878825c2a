#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <set>
#include <sstream>

#include "mapi/tags.h"
#include "pst/disk/crc.h"
#include "pst/disk/layout.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/node_io.h"
#include "pst/tests/store_testing.h"
#include "support/little_endian.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;

std::vector<std::string> Subjects(Store& store, FolderId folder) {
  std::vector<std::string> out;
  for (const auto& m : Must(store.ListMessages(folder))) out.push_back(m.subject);
  return out;
}

// The blocks of a folder's contents table as stored: heap blocks, row-matrix blocks, and the
// depth of its row index.
struct ContentsBlocks {
  std::set<uint64_t> heap, matrix;
  int index_levels = 0;
};

ContentsBlocks StoredContents(const std::string& path, FolderId folder) {
  auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForRead(path))));
  const ndb::NodeEntry* n = db->FindNode(disk::MakeNid(disk::NidIndexOf(folder), disk::kNidTypeContentsTable));
  EXPECT_TRUE(n);
  if (!n) return {};
  ContentsBlocks out;
  for (uint64_t b : Must(db->DataTreeLeaves(n->bid_data))) out.heap.insert(b);
  ltp::Heap heap = Must(ReadHeap(*db, n->bid_data, "contents"));
  ltp::TcInfo info = Must(ltp::ParseTcInfo(Must(heap.Get(heap.user_root())), "contents"));
  out.index_levels = Must(heap.Get(info.hid_row_index))[3];
  auto subs = Must(db->ReadSubnodes(n->bid_sub));
  if (!ltp::IsHid(info.hnid_rows) && subs.count(info.hnid_rows)) {
    for (uint64_t b : Must(db->DataTreeLeaves(subs[info.hnid_rows].bid_data))) out.matrix.insert(b);
  }
  return out;
}

size_t Shared(const std::set<uint64_t>& a, const std::set<uint64_t>& b) {
  size_t n = 0;
  for (uint64_t x : a) n += b.count(x);
  return n;
}

// Commits of every size, reopens among them: rows stay in saving order, a small commit into
// a big table rewrites only a few of its blocks, and folders and items added on reopening
// join what was there.
TEST(Append, RowsAddedOverManyCommitsReachEveryReaderInOrder) {
  const std::string path = TempDir("append") + "/many.pst";
  std::vector<std::string> want;
  FolderId bulk;
  {
    auto store = Must(Store::Create(path, "Many"));
    bulk = Must(store->AddFolder(store->ipm_subtree(), "Bulk"));
    for (int batch : {1, 7, 40, 500, 4000}) {  // the last one reaches the table in batches before its commit
      for (int i = 0; i < batch; ++i) {
        want.push_back("item " + std::to_string(want.size()));
        AddMail(*store, bulk, want.back());
      }
      if (batch == 4000) {
        // The batches already written are no part of the last commit.
        const std::string snapshot = WritableCopy(path);
        EXPECT_TRUE(CheckStore(Env::Default(), snapshot).ok());
        EXPECT_EQ(Must(Must(Store::Open(snapshot, StoreOptions{nullptr, true}))->ListMessages(bulk)).size(), 548u);
      }
      MustOk(store->Commit());
    }
    EXPECT_EQ(Subjects(*store, bulk), want);
    MustOk(store->Close());
  }
  const ContentsBlocks before = StoredContents(path, bulk);
  EXPECT_GT(before.matrix.size(), 10u);
  EXPECT_GT(before.heap.size(), 10u);
  EXPECT_GE(before.index_levels, 1);
  {
    auto store = Must(Store::Open(path));
    EXPECT_EQ(Must(store->FindFolder(store->ipm_subtree(), "bulk")), bulk);
    want.push_back("one more");
    AddMail(*store, bulk, want.back());
    AddMail(*store, Must(store->AddFolder(bulk, "Sub")), "in sub", true);
    MustOk(store->Close());
  }
  const ContentsBlocks after = StoredContents(path, bulk);
  EXPECT_GE(Shared(before.matrix, after.matrix), before.matrix.size() - 1);
  EXPECT_GE(Shared(before.heap, after.heap), before.heap.size() - 4);
  {
    auto store = Must(Store::Open(path));
    for (int i = 0; i < 300; ++i) {
      want.push_back("late " + std::to_string(i));
      AddMail(*store, bulk, want.back());
      if (i % 100 == 99) MustOk(store->Commit());
    }
    EXPECT_EQ(Subjects(*store, bulk), want) << "rows saved since the last commit are listed after the stored ones";
    MustOk(store->Close());
  }
  EXPECT_EQ(Subjects(*Must(Store::Open(path, StoreOptions{nullptr, true})), bulk), want);
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Bulk items=" + std::to_string(want.size()) + " subfolders=1"), std::string::npos);
  EXPECT_NE(dump.find("| in sub | None | attachments=in sub.txt:14:"), std::string::npos) << dump;
  for (const auto& subject : want) EXPECT_NE(dump.find("| " + subject + " |"), std::string::npos) << subject;
}

// A stored table whose highest row id lies above the ids new items get (as a store made
// elsewhere may hold) cannot be appended to; it is laid out anew with the new rows.
TEST(Append, TableWhoseIdsWouldNotAscendIsLaidOutAnew) {
  const std::string path = TempDir("append") + "/high-id.pst";
  FolderId box;
  {
    auto store = Must(Store::Create(path, "High"));
    box = Must(store->AddFolder(store->ipm_subtree(), "Box"));
    for (int i = 0; i < 200; ++i) AddMail(*store, box, "old " + std::to_string(i));
    MustOk(store->Close());
  }
  const uint32_t high = disk::MakeNid(0x400000, disk::kNidTypeNormalMessage);
  {
    // A copy of the last item at a NID far above the header's counter (yet below 2^31:
    // java-libpst reads NIDs as signed), with its row, and the folder's counts raised in it
    // and in its parent's row.
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path))));
    const uint32_t tc_nid = disk::MakeNid(disk::NidIndexOf(box), disk::kNidTypeContentsTable);
    ltp::Table t = Must(ReadTcNode(*db, tc_nid));
    const ndb::NodeEntry item = *db->FindNode(t.rows.back().id);
    ASSERT_TRUE(db->AddRef(item.bid_data) && db->AddRef(item.bid_sub));
    MustOk(db->SetNode({high, item.bid_data, item.bid_sub, item.nid_parent}));
    ltp::Cells cells = ltp::UnpackCells(t.rows.back().packed, t.columns.size());
    std::string id;
    AppendLe<uint32_t>(id, high);
    cells[t.ColumnIndex(ltp::kTagLtpRowId)] = id;
    t.rows.push_back(ltp::TableRow{high, ltp::PackCells(cells)});
    const ndb::NodeEntry* tc = db->FindNode(tc_nid);
    NodeStreams written = Must(WriteTc(db.get(), t, NodeStreams{tc->bid_data, tc->bid_sub}));
    MustOk(db->SetNode({tc_nid, written.bid_data, written.bid_sub, 0}));
    auto folder = Must(ReadPcNode(*db, box));
    const uint32_t parent = db->FindNode(box)->nid_parent;
    const uint32_t hier_nid = disk::MakeNid(disk::NidIndexOf(parent), disk::kNidTypeHierarchyTable);
    ltp::Table hier = Must(ReadTcNode(*db, hier_nid));
    for (ltp::TableRow& row : hier.rows) {
      if (row.id != box) continue;
      ltp::Cells cells = ltp::UnpackCells(row.packed, hier.columns.size());
      for (mapi::PropTag count : {kContentCount, kContentUnread}) {
        StoreLe<uint32_t>(folder[mapi::TagId(count)].data.data(), 201);
        cells[hier.ColumnIndex(count)] = folder[mapi::TagId(count)].data;
      }
      row.packed = ltp::PackCells(cells);
    }
    NodeStreams pc = Must(WritePc(db.get(), folder));
    MustOk(db->SetNode({box, pc.bid_data, pc.bid_sub, parent}));
    const ndb::NodeEntry* h = db->FindNode(hier_nid);
    written = Must(WriteTc(db.get(), hier, NodeStreams{h->bid_data, h->bid_sub}));
    MustOk(db->SetNode({hier_nid, written.bid_data, written.bid_sub, 0}));
    MustOk(db->Commit());
  }
  CheckReport report = CheckStore(Env::Default(), path);
  ASSERT_TRUE(report.ok()) << report.Summary();
  for (int round = 0; round < 2; ++round) {
    auto store = Must(Store::Open(path));
    for (int i = 0; i < 50; ++i) AddMail(*store, box, "new " + std::to_string(round * 50 + i));
    MustOk(store->Close());
  }
  auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
  const auto listed = Must(store->ListMessages(box));
  ASSERT_EQ(listed.size(), 301u);
  EXPECT_EQ(listed[200].id, high);
  EXPECT_EQ(listed[200].subject, "old 199");
  EXPECT_EQ(listed[300].subject, "new 99");
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("/Box items=301 "), std::string::npos) << dump;
  EXPECT_NE(dump.find("| old 199 |"), std::string::npos);
}

// Runs `intervene` when a store is first opened for update: another writer getting in
// between the checks made through the read-only handle and the taking of the lock.
class InterveningEnv final : public EnvWrapper {
 public:
  explicit InterveningEnv(std::function<void()> intervene) : EnvWrapper(Env::Default()), intervene_(std::move(intervene)) {}
  Result<std::unique_ptr<File>> OpenForUpdate(const std::string& p) override {
    if (intervene_) std::exchange(intervene_, nullptr)();
    return EnvWrapper::OpenForUpdate(p);
  }

 private:
  std::function<void()> intervene_;
};

TEST(Reopen, StoreChangedBeforeTheLockIsTakenIsReadAgain) {
  const std::string path = TempDir("reopen") + "/raced.pst";
  {
    auto store = Must(Store::Create(path, "Raced"));
    AddMail(*store, store->ipm_subtree(), "first");
    MustOk(store->Close());
  }
  InterveningEnv env([&] {
    auto other = Must(Store::Open(path));
    AddMail(*other, other->ipm_subtree(), "meanwhile");
    MustOk(other->Close());
  });
  StoreOptions options;
  options.env = &env;
  auto store = Must(Store::Open(path, options));
  AddMail(*store, store->ipm_subtree(), "after");
  MustOk(store->Close());
  const std::string dump = VerifiedDump(path);
  for (const char* subject : {"| first |", "| meanwhile |", "| after |"}) EXPECT_NE(dump.find(subject), std::string::npos) << subject << "\n" << dump;
}

TEST(Reopen, UncommittedWorkIsNotInTheFile) {
  const std::string path = TempDir("reopen") + "/commit.pst";
  auto store = Must(Store::Create(path, "Commit"));
  FolderId f = Must(store->AddFolder(store->ipm_subtree(), "Box"));
  AddMail(*store, f, "committed");
  MustOk(store->Commit());
  AddMail(*store, f, "pending");
  // Another process looking now sees the last commit only.
  const std::string snapshot = WritableCopy(path);
  std::string dump = VerifiedDump(snapshot);
  EXPECT_NE(dump.find("| committed |"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("| pending |"), std::string::npos) << dump;
  // Dropping the store without Close keeps the file as committed.
  store.reset();
  dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Box items=1"), std::string::npos) << dump;
}

TEST(Reopen, StoreWithMapsMarkedInvalidIsRebuiltOnWrite) {
  const std::string path = TempDir("reopen") + "/invalid-maps.pst";
  {
    auto store = Must(Store::Create(path, "Maps"));
    AddMail(*store, store->ipm_subtree(), "before");
    MustOk(store->Close());
  }
  {
    // As Outlook 2013 leaves it: fAMapValid clear, and an AMap that marks nothing.
    std::string bytes = ReadAll(path);
    auto* h = reinterpret_cast<disk::HEADER*>(bytes.data());
    h->root.fAMapValid = disk::kInvalidAMap;
    const auto* raw = reinterpret_cast<const uint8_t*>(h);
    h->dwCRCPartial = disk::Crc(raw + disk::kHeaderPartialCrcOffset, disk::kHeaderPartialCrcSize);
    h->dwCRCFull = disk::Crc(raw + disk::kHeaderFullCrcOffset, disk::kHeaderFullCrcSize);
    std::memset(bytes.data() + disk::kFirstAMapOffset + 64, 0, 400);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  {
    auto store = Must(Store::Open(path));
    AddMail(*store, store->ipm_subtree(), "after");
    MustOk(store->Close());
  }
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("| before |"), std::string::npos) << dump;
  EXPECT_NE(dump.find("| after |"), std::string::npos) << dump;
}

TEST(Reopen, SavingCommitsOnceTheIntervalHasPassed) {
  const std::string path = TempDir("reopen") + "/interval.pst";
  StoreOptions options;
  options.commit_interval_seconds = 0;
  auto store = Must(Store::Create(path, "Interval", options));
  FolderId f = Must(store->AddFolder(store->ipm_subtree(), "Box"));
  AddMail(*store, f, "one");
  AddMail(*store, f, "two");
  const std::string dump = VerifiedDump(WritableCopy(path));
  EXPECT_NE(dump.find("/Box items=2 "), std::string::npos) << dump;
}

TEST(Reopen, OneWriterAtATime) {
  const std::string path = TempDir("reopen") + "/locked.pst";
  auto writer = Must(Store::Create(path, "Locked"));
  auto second = Store::Open(path);
  ASSERT_FALSE(second.ok());
  EXPECT_NE(second.status().message().find("another program is writing to it"), std::string::npos) << second.status().message();
  Must(Store::Open(path, StoreOptions{nullptr, true}));  // readers are welcome
  MustOk(writer->Close());
  MustOk(Must(Store::Open(path))->Close());
}

void ExpectRefused(const std::string& path, StatusCode code) {
  const std::string before = ReadAll(path);
  auto store = Store::Open(path);
  ASSERT_FALSE(store.ok()) << path;
  EXPECT_NE(store.status().message().find(path), std::string::npos) << store.status().message();
  EXPECT_EQ(store.status().code(), code) << store.status().message();
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_FALSE(CheckStore(Env::Default(), path).ok());
}

// Files that are not stores, and stores damaged anywhere: refused, or (damage deeper in the
// file) read as far as it goes, never written and never a crash.
TEST(Refuse, FilesThatAreNotStoresAndDamagedStores) {
  const std::string dir = TempDir("refuse");
  { std::ofstream(dir + "/text.pst") << "just some text, not a store at all"; }
  ExpectRefused(dir + "/text.pst", StatusCode::kCorrupt);
  { std::ofstream(dir + "/empty.pst"); }
  ExpectRefused(dir + "/empty.pst", StatusCode::kCorrupt);
  EXPECT_FALSE(Store::Open(dir + "/missing.pst").ok());
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing.pst"));

  const std::string good = dir + "/good.pst";
  {
    auto store = Must(Store::Create(good, "Good"));
    AddMail(*store, store->ipm_subtree(), "x");
    MustOk(store->Close());
  }
  auto damaged = [&](const std::string& name, auto&& edit) {
    std::string bytes = ReadAll(good);
    edit(bytes);
    std::string p = TempDir("damaged") + "/" + name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  };
  ExpectRefused(damaged("header.pst", [](std::string& b) { b[0x30] ^= 0x40; }), StatusCode::kCorrupt);
  ExpectRefused(damaged("short.pst", [](std::string& b) { b.resize(0x5000); }), StatusCode::kCorrupt);
  // Flip a byte in every B-tree page and block area: whatever it hits must be caught.
  const std::string base = ReadAll(good);
  const disk::HEADER* h = reinterpret_cast<const disk::HEADER*>(base.data());
  ExpectRefused(damaged("nbt.pst", [&](std::string& b) { b[h->root.BREFNBT.ib + 3] ^= 1; }), StatusCode::kCorrupt);
  // Damage deeper in the file is fine to open but the checker and the reader calls fail cleanly.
  for (uint64_t off = 0x4800; off < base.size(); off += 0x1F3) {
    std::string p = damaged("sweep.pst", [&](std::string& b) { b[off] ^= 0x5A; });
    auto store = Store::Open(p, StoreOptions{nullptr, true});
    if (store.ok()) {
      for (const auto& f : (*store)->ListFolders((*store)->ipm_subtree()).ok() ? *(*store)->ListFolders((*store)->ipm_subtree())
                                                                              : std::vector<FolderInfo>{}) {
        (void)(*store)->ListMessages(f.id);
      }
    }
    (void)CheckStore(Env::Default(), p);
    std::filesystem::remove(p);
  }
}

}  // namespace
}  // namespace baleport::pst::testing
