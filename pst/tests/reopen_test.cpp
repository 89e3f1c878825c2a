#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

#include "mapi/tags.h"
#include "pst/disk/crc.h"
#include "pst/disk/layout.h"
#include "pst/messaging/node_io.h"
#include "pst/tests/store_testing.h"

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

std::string CopyToTemp(const std::string& source, const std::string& name) {
  std::string to = TempDir("copy") + "/" + name;
  std::filesystem::copy_file(source, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return to;
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
    FolderId busiest = store->ipm_subtree();
    uint32_t most = 0;
    std::vector<FolderId> todo{store->ipm_subtree()};
    while (!todo.empty()) {
      FolderId f = todo.back();
      todo.pop_back();
      for (const auto& c : Must(store->ListFolders(f))) {
        todo.push_back(c.id);
        if (c.content_count > most) most = c.content_count, busiest = c.id;
      }
    }
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

INSTANTIATE_TEST_SUITE_P(Unicode, OutlookSample,
                         ::testing::Values("sample1.pst", "attachAndInline.pst", "testPST_variousBodyTypes.pst"));

void ExpectRefused(const std::string& path, const std::string& reason) {
  const std::string before = ReadAll(path);
  auto store = Store::Open(path);
  ASSERT_FALSE(store.ok()) << path;
  EXPECT_NE(store.status().message().find(path), std::string::npos) << store.status().message();
  EXPECT_NE(store.status().message().find(reason), std::string::npos) << store.status().message();
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_FALSE(CheckStore(Env::Default(), path).ok());
}

TEST(Refuse, AnsiStore) {
  const std::string source = std::string(PST_SAMPLES_DIR) + "/pst/sample2.pst";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "sample stores not present at " << source;
  ExpectRefused(CopyToTemp(source, "ansi.pst"), "ANSI");
}

TEST(Refuse, FilesThatAreNotStores) {
  const std::string dir = TempDir("refuse");
  { std::ofstream(dir + "/text.pst") << "just some text, not a store at all"; }
  ExpectRefused(dir + "/text.pst", "not a .pst store");
  { std::ofstream(dir + "/empty.pst"); }
  ExpectRefused(dir + "/empty.pst", "too short");
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
  ExpectRefused(damaged("header.pst", [](std::string& b) { b[0x30] ^= 0x40; }), "header checksum");
  ExpectRefused(damaged("short.pst", [](std::string& b) { b.resize(0x5000); }), "file size");
  // Flip a byte in every B-tree page and block area: whatever it hits must be caught.
  const std::string base = ReadAll(good);
  const disk::HEADER* h = reinterpret_cast<const disk::HEADER*>(base.data());
  ExpectRefused(damaged("nbt.pst", [&](std::string& b) { b[h->root.BREFNBT.ib + 3] ^= 1; }), "checksum");
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

TEST(Refuse, PasswordProtectedStore) {
  const std::string path = TempDir("password") + "/locked.pst";
  MustOk(Must(Store::Create(path, "Locked"))->Close());
  {
    // Set PidTagPstPassword below the public interface, as Outlook would.
    auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForUpdate(path))));
    auto props = Must(ReadPcNode(*db, disk::kNidMessageStore));
    props[mapi::TagId(kPstPassword)] = ltp::PropertyValue{0x0003, std::string("\x12\x34\x56\x78", 4), 0};
    NodeStreams pc = Must(WritePc(db.get(), props));
    MustOk(db->SetNode({disk::kNidMessageStore, pc.bid_data, pc.bid_sub, 0}));
    MustOk(db->Commit());
  }
  const std::string before = ReadAll(path);
  auto store = Store::Open(path);
  ASSERT_FALSE(store.ok());
  EXPECT_NE(store.status().message().find("password"), std::string::npos) << store.status().message();
  EXPECT_EQ(ReadAll(path), before);
}

}  // namespace
}  // namespace baleport::pst::testing
