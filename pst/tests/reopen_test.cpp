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

std::set<std::string> Lines(const std::string& s) {
  std::set<std::string> out;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) out.insert(line);
  return out;
}

void AddMail(Store& store, FolderId folder, const std::string& subject) {
  auto m = Must(store.NewMessage(folder));
  MustOk(m->Set(prop::String(kSubject, subject)));
  MustOk(m->Set(prop::String(kBody, "body of " + subject)));
  Attachment* a = Must(m->AddAttachment());
  MustOk(a->Set(prop::String(kAttachLongFilename, subject + ".txt")));
  MustOk(a->Set(prop::Binary(kAttachDataBinary, "data of " + subject)));
  MustOk(m->Save());
}

// The folder under the top folder holding the most items (the top folder when none holds any).
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

std::string CopyToTemp(const std::string& source, const std::string& name) {
  std::string to = TempDir("copy") + "/" + name;
  std::filesystem::copy_file(source, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return to;
}

void AddNote(Store& store, FolderId folder, const std::string& subject) {
  auto m = Must(store.NewMessage(folder));
  MustOk(m->Set(prop::String(kSubject, subject)));
  MustOk(m->Set(prop::String(kBody, "body of " + subject)));
  MustOk(m->Save());
}

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

// Commits of every size, a reopen among them: rows stay in saving order, and a small commit
// into a big table rewrites only a few of its blocks.
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
        AddNote(*store, bulk, want.back());
      }
      if (batch == 4000) {
        // The batches already written are no part of the last commit.
        const std::string snapshot = CopyToTemp(path, "before-commit.pst");
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
    want.push_back("one more");
    AddNote(*store, bulk, want.back());
    MustOk(store->Close());
  }
  const ContentsBlocks after = StoredContents(path, bulk);
  EXPECT_GE(Shared(before.matrix, after.matrix), before.matrix.size() - 1);
  EXPECT_GE(Shared(before.heap, after.heap), before.heap.size() - 4);
  {
    auto store = Must(Store::Open(path));
    for (int i = 0; i < 300; ++i) {
      want.push_back("late " + std::to_string(i));
      AddNote(*store, bulk, want.back());
      if (i % 100 == 99) MustOk(store->Commit());
    }
    EXPECT_EQ(Subjects(*store, bulk), want) << "rows saved since the last commit are listed after the stored ones";
    MustOk(store->Close());
  }
  EXPECT_EQ(Subjects(*Must(Store::Open(path, StoreOptions{nullptr, true})), bulk), want);
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Bulk items=" + std::to_string(want.size()) + " "), std::string::npos);
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
    for (int i = 0; i < 200; ++i) AddNote(*store, box, "old " + std::to_string(i));
    MustOk(store->Close());
  }
  const uint32_t high = disk::MakeNid(0x400000, disk::kNidTypeNormalMessage);
  {
    // The last item moves to a NID far above the header's counter (yet below 2^31: java-libpst reads NIDs as
    // signed), its row with it.
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path))));
    const uint32_t tc_nid = disk::MakeNid(disk::NidIndexOf(box), disk::kNidTypeContentsTable);
    ltp::Table t = Must(ReadTcNode(*db, tc_nid));
    ltp::TableRow& last = t.rows.back();
    const ndb::NodeEntry item = *db->FindNode(last.id);
    ASSERT_TRUE(db->AddRef(item.bid_data) && db->AddRef(item.bid_sub));
    MustOk(db->SetNode({high, item.bid_data, item.bid_sub, item.nid_parent}));
    MustOk(db->RemoveNode(item.nid));
    ltp::Cells cells = ltp::UnpackCells(last.packed, t.columns.size());
    std::string id;
    AppendLe<uint32_t>(id, high);
    cells[t.ColumnIndex(ltp::kTagLtpRowId)] = id;
    last = ltp::TableRow{high, ltp::PackCells(cells)};
    const ndb::NodeEntry* tc = db->FindNode(tc_nid);
    NodeStreams written = Must(WriteTc(db.get(), t, NodeStreams{tc->bid_data, tc->bid_sub}));
    MustOk(db->SetNode({tc_nid, written.bid_data, written.bid_sub, 0}));
    MustOk(db->Commit());
  }
  ASSERT_TRUE(CheckStore(Env::Default(), path).ok());
  for (int round = 0; round < 2; ++round) {
    auto store = Must(Store::Open(path));
    for (int i = 0; i < 50; ++i) AddNote(*store, box, "new " + std::to_string(round * 50 + i));
    MustOk(store->Close());
  }
  auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
  const auto listed = Must(store->ListMessages(box));
  ASSERT_EQ(listed.size(), 300u);
  EXPECT_EQ(listed[199].id, high);
  EXPECT_EQ(listed[199].subject, "old 199");
  EXPECT_EQ(listed[299].subject, "new 99");
  const std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("/Box items=300 "), std::string::npos) << dump;
  EXPECT_NE(dump.find("| old 199 |"), std::string::npos);
}

TEST(Reopen, OwnStoreGetsMoreWithoutLosingAnything) {
  const std::string path = TempDir("reopen") + "/own.pst";
  FolderId work;
  {
    auto store = Must(Store::Create(path, "Own"));
    work = Must(store->AddFolder(store->ipm_subtree(), "Work"));
    AddMail(*store, work, "first");
    MustOk(store->Close());
  }
  const std::set<std::string> before = Lines(VerifiedDump(path));
  for (int round = 0; round < 3; ++round) {
    auto store = Must(Store::Open(path));
    EXPECT_EQ(Must(store->FindFolder(store->ipm_subtree(), "Work")), work);
    AddMail(*store, work, "round " + std::to_string(round));
    FolderId sub = Must(store->AddFolder(work, "Sub " + std::to_string(round)));
    AddMail(*store, sub, "in sub " + std::to_string(round));
    MustOk(store->Close());
  }
  const std::string dump = VerifiedDump(path);
  const std::set<std::string> after = Lines(dump);
  for (const auto& line : before) {
    if (line.rfind("M ", 0) == 0) {
      EXPECT_TRUE(after.count(line)) << "lost: " << line << "\n" << dump;
    }
  }
  EXPECT_NE(dump.find("F /Top of Personal Folders/Work items=4 subfolders=3"), std::string::npos) << dump;
  EXPECT_NE(dump.find("| in sub 2 |"), std::string::npos);
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
  const std::string snapshot = CopyToTemp(path, "snapshot.pst");
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
  const std::string dump = VerifiedDump(CopyToTemp(path, "interval-snapshot.pst"));
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

class OutlookSample : public ::testing::TestWithParam<const char*> {};

TEST_P(OutlookSample, ReopensAndTakesNewFoldersAndItems) {
  const std::string source = std::string(PST_SAMPLES_DIR) + "/pst/" + GetParam();
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "sample stores not present at " << source;
  const std::string path = CopyToTemp(source, GetParam());
  const std::string old_dump = PypffDump(path).output;
  CheckReport old_report = CheckStore(Env::Default(), path);
  EXPECT_TRUE(old_report.ok()) << GetParam() << "\n" << old_report.Summary();
  {
    auto store = Must(Store::Open(path));
    // Into a folder that already holds items, and into a new one.
    const FolderId busiest = BusiestFolder(*store);
    AddMail(*store, busiest, "added to existing");
    FolderId added = Must(store->AddFolder(store->ipm_subtree(), "Imported"));
    AddMail(*store, added, "added to new");
    MustOk(store->EnsureStandardFolders());
    FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
    AddMail(*store, inbox, "added to inbox");
    Must(store->DefaultFolder(StandardFolder::kSentItems));
    MustOk(store->Close());
  }
  const std::string dump = VerifiedDump(path);
  const std::set<std::string> after = Lines(dump);
  for (const auto& line : Lines(old_dump)) {
    if (line.rfind("M ", 0) == 0) {
      EXPECT_TRUE(after.count(line)) << "lost: " << line << "\n" << dump;
    }
  }
  EXPECT_NE(dump.find("| added to existing |"), std::string::npos) << dump;
  EXPECT_NE(dump.find("/Imported items=1 subfolders=0"), std::string::npos) << dump;
  EXPECT_NE(dump.find("| added to inbox |"), std::string::npos) << dump;
}

// Outlook's table of a folder is laid out anew once it outgrows its heap, and from then on
// grows by appending, across commits and reopens; every old item stays as it was.
TEST_P(OutlookSample, FolderGrowsByAppendingAcrossCommits) {
  const std::string source = std::string(PST_SAMPLES_DIR) + "/pst/" + GetParam();
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "sample stores not present at " << source;
  const std::string path = CopyToTemp(source, GetParam());
  const std::string old_dump = PypffDump(path).output;
  FolderId busiest;
  std::vector<MessageInfo> old_items;
  for (int round = 0; round < 3; ++round) {
    auto store = Must(Store::Open(path));
    if (round == 0) {
      busiest = BusiestFolder(*store);
      old_items = Must(store->ListMessages(busiest));
    }
    for (int i = 0; i < 120; ++i) {
      AddNote(*store, busiest, "appended " + std::to_string(round * 120 + i));
      if (i % 50 == 49) MustOk(store->Commit());
    }
    MustOk(store->Close());
  }
  auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
  const auto listed = Must(store->ListMessages(busiest));
  ASSERT_EQ(listed.size(), old_items.size() + 360);
  for (size_t i = 0; i < old_items.size(); ++i) {
    EXPECT_EQ(listed[i].id, old_items[i].id);
    EXPECT_EQ(listed[i].subject, old_items[i].subject);
  }
  EXPECT_EQ(listed.back().subject, "appended 359");
  const std::string dump = VerifiedDump(path);
  const std::set<std::string> after = Lines(dump);
  for (const auto& line : Lines(old_dump)) {
    if (line.rfind("M ", 0) == 0) {
      EXPECT_TRUE(after.count(line)) << "lost: " << line;
    }
  }
  for (int i = 0; i < 360; ++i) EXPECT_NE(dump.find("| appended " + std::to_string(i) + " |"), std::string::npos) << i;
}

INSTANTIATE_TEST_SUITE_P(Unicode, OutlookSample,
                         ::testing::Values("sample1.pst", "attachAndInline.pst", "testPST_variousBodyTypes.pst"));

void ExpectRefused(const std::string& path, StatusCode code) {
  const std::string before = ReadAll(path);
  auto store = Store::Open(path);
  ASSERT_FALSE(store.ok()) << path;
  EXPECT_NE(store.status().message().find(path), std::string::npos) << store.status().message();
  EXPECT_EQ(store.status().code(), code) << store.status().message();
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_FALSE(CheckStore(Env::Default(), path).ok());
}

TEST(Refuse, FilesThatAreNotStores) {
  const std::string dir = TempDir("refuse");
  { std::ofstream(dir + "/text.pst") << "just some text, not a store at all"; }
  ExpectRefused(dir + "/text.pst", StatusCode::kCorrupt);
  { std::ofstream(dir + "/empty.pst"); }
  ExpectRefused(dir + "/empty.pst", StatusCode::kCorrupt);
  auto missing = Store::Open(dir + "/missing.pst");
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing.pst"));
}

TEST(Refuse, DamagedStores) {
  const std::string good = TempDir("damaged") + "/good.pst";
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
