#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <utility>

#include "mapi/tags.h"
#include "pst/disk/crc.h"
#include "pst/disk/layout.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using ::testing::AllOf;

std::vector<std::string> Subjects(Store& store, FolderId folder) {
  std::vector<std::string> out;
  for (const auto& m : Must(store.ListMessages(folder))) out.push_back(m.subject);
  return out;
}

// A closed store holding one item per subject in its top folder.
std::string StoreWith(const std::string& name, std::initializer_list<const char*> subjects) {
  const std::string path = TempDir("reopen") + "/" + name;
  auto store = Must(Store::Create(path, name));
  for (const char* s : subjects) AddMail(*store, store->ipm_subtree(), s);
  MustOk(store->Close());
  return path;
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

// A store with its maps marked invalid, as Outlook 2013 leaves it (fAMapValid clear, and an AMap
// that marks nothing), is rebuilt by the first writer; the store changed by it before the second
// takes the lock is read again.
TEST(Reopen, MapsMarkedInvalidAndAStoreChangedBeforeTheLockIsTaken) {
  const std::string path = StoreWith("raced.pst", {"first"});
  std::string bytes = ReadAll(path);
  auto* h = reinterpret_cast<disk::HEADER*>(bytes.data());
  h->root.fAMapValid = disk::kInvalidAMap;
  const auto* raw = reinterpret_cast<const uint8_t*>(h);
  h->dwCRCPartial = disk::Crc(raw + disk::kHeaderPartialCrcOffset, disk::kHeaderPartialCrcSize);
  h->dwCRCFull = disk::Crc(raw + disk::kHeaderFullCrcOffset, disk::kHeaderFullCrcSize);
  std::memset(bytes.data() + disk::kFirstAMapOffset + 64, 0, 400);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  InterveningEnv env([&] {
    auto other = Must(Store::Open(path));
    AddMail(*other, other->ipm_subtree(), "meanwhile");
    MustOk(other->Close());
  });
  auto store = Must(Store::Open(path, StoreOptions{&env}));
  AddMail(*store, store->ipm_subtree(), "after");
  MustOk(store->Close());
  auto reread = OpenReadOnly(path);
  EXPECT_EQ(Subjects(*reread, reread->ipm_subtree()), (std::vector<std::string>{"first", "meanwhile", "after"}));
  VerifiedDump(path);
}

// Another process sees the last commit only (and may not write), and so does the file when the
// store is dropped without Close; saving commits by itself once the commit interval has passed.
TEST(Reopen, OnlyCommittedWorkIsInTheFile) {
  const std::string path = TempDir("reopen") + "/commit.pst";
  auto store = Must(Store::Create(path, "Commit"));
  const FolderId f = Must(store->AddFolder(store->ipm_subtree(), "Box"));
  AddMail(*store, f, "committed");
  MustOk(store->Commit());
  AddMail(*store, f, "pending");
  EXPECT_EQ(Subjects(*store, f), (std::vector<std::string>{"committed", "pending"})) << "rows waiting are listed after the stored ones";
  EXPECT_THAT(VerifiedDump(WritableCopy(path)), AllOf(HasSubstr("| committed |"), Not(HasSubstr("| pending |"))));
  EXPECT_EQ(Subjects(*OpenReadOnly(path), f), std::vector<std::string>{"committed"}) << "a reader beside the writer";
  const auto second = Store::Open(path);  // but no second writer
  EXPECT_THAT(second.ok() ? "opened" : second.status().message(), HasSubstr(path));
  store.reset();
  EXPECT_EQ(Subjects(*OpenReadOnly(path), f), std::vector<std::string>{"committed"});

  auto interval = Must(Store::Open(path, StoreOptions{.commit_interval_seconds = 0}));
  AddMail(*interval, f, "one");
  AddMail(*interval, f, "two");
  EXPECT_EQ(Subjects(*OpenReadOnly(WritableCopy(path)), f), (std::vector<std::string>{"committed", "one", "two"}));
}

// Files that are not stores and stores damaged in their header, B-tree pages or a block:
// refused naming the file and the reason, never written. (Damage anywhere else is the store
// fuzz target's, proof/fuzz; a text file and a cut store at a conversion's store path are
// proof/bad_input_test's.)
TEST(Refuse, FilesThatAreNotStoresAndDamagedStores) {
  const std::string good = StoreWith("good.pst", {"x"});
  const std::string base = ReadAll(good);
  const uint64_t nbt = reinterpret_cast<const disk::HEADER*>(base.data())->root.BREFNBT.ib;
  const uint64_t block = [&] {
    auto db = OpenNodes(good);
    return db->FindBlock(db->FindNode(disk::kNidMessageStore)->bid_data)->ib;
  }();
  const std::tuple<const char*, const char*, std::function<void(std::string&)>> damages[] = {
      {"empty.pst", "", [](std::string& b) { b.clear(); }},
      {"header.pst", "", [](std::string& b) { b[0x30] ^= 0x40; }},
      {"nbt.pst", "", [&](std::string& b) { b[nbt + 3] ^= 1; }},
      {"block.pst", "checksum", [&](std::string& b) { b[block + 3] ^= 0x55; }},
  };
  for (const auto& [name, reason, damage] : damages) {
    std::string bytes = base;
    damage(bytes);
    const std::string path = TempDir("damaged") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    auto store = Store::Open(path);
    ASSERT_FALSE(store.ok()) << path;
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_THAT(store.status().message(), AllOf(HasSubstr(path), HasSubstr(reason)));
    EXPECT_EQ(store.status().code(), StatusCode::kCorrupt) << store.status().message();
    EXPECT_FALSE(CheckStore(Env::Default(), path).ok());
  }
  const std::string missing = TempDir("damaged") + "/missing.pst";
  EXPECT_FALSE(Store::Open(missing).ok());
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace baleport::pst::testing
