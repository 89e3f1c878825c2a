#include <gtest/gtest.h>

#include <functional>

#include "mapi/tags.h"
#include "pst/tests/store_testing.h"
#include "support/testing/faulty_env.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using baleport::testing::FaultyEnv;

// Adds a folder and two items (one with a multi-block attachment) and commits.
Status AddWork(Store& store, const std::string& name) {
  auto folder = store.AddFolder(store.ipm_subtree(), name);
  if (!folder.ok()) return folder.status();
  for (int i = 0; i < 2; ++i) {
    auto m = store.NewMessage(*folder);
    if (!m.ok()) return m.status();
    BALEPORT_RETURN_IF_ERROR((*m)->Set(prop::String(kSubject, name + " item " + std::to_string(i))));
    auto a = (*m)->AddAttachment();
    if (!a.ok()) return a.status();
    BALEPORT_RETURN_IF_ERROR((*a)->Set(prop::Binary(kAttachDataBinary, std::string(20000 * (i + 1), 'a'))));
    BALEPORT_RETURN_IF_ERROR((*m)->Save());
  }
  return store.Commit();
}

TEST(Faults, FailedCreationLeavesNothingBehind) {
  FaultyEnv probe(Env::Default());
  const std::string dir = TempDir("faults");
  {
    auto store = Must(Store::Create(dir + "/probe.pst", "P", StoreOptions{&probe}));
    MustOk(store->Close());
  }
  const long writes = probe.writes(), syncs = probe.syncs();
  ASSERT_GT(writes, 5);
  for (long n = 1; n <= writes; ++n) {
    FaultyEnv env(Env::Default());
    env.FailWriteAt(n, n % 2 ? FaultyEnv::Fault::kDiskFull : FaultyEnv::Fault::kIoError);
    const std::string path = dir + "/w" + std::to_string(n) + ".pst";
    auto store = Store::Create(path, "P", StoreOptions{&env});
    ASSERT_FALSE(store.ok()) << "write " << n;
    EXPECT_EQ(store.status().code(), n % 2 ? StatusCode::kNoSpace : StatusCode::kIOError) << store.status().message();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  for (long n = 1; n <= syncs; ++n) {
    FaultyEnv env(Env::Default());
    env.FailSyncAt(n, FaultyEnv::Fault::kIoError);
    const std::string path = dir + "/s" + std::to_string(n) + ".pst";
    EXPECT_FALSE(Store::Create(path, "P", StoreOptions{&env}).ok());
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}), 1);
}

// Items into a folder whose table grows by appending: three commits of 150, the rows of each
// reaching the table in more than one batch.
Status AddRows(Store& store, FolderId folder, int first) {
  for (int i = first; i < first + 450; ++i) {
    auto m = store.NewMessage(folder);
    if (!m.ok()) return m.status();
    BALEPORT_RETURN_IF_ERROR((*m)->Set(prop::String(kSubject, "row " + std::to_string(i) + std::string(1000, '.'))));
    BALEPORT_RETURN_IF_ERROR((*m)->Save());
    if (i % 150 == 149) BALEPORT_RETURN_IF_ERROR(store.Commit());
  }
  return Status::Ok();
}

// An existing store gets a new folder with items and rows appended to a big table; the N-th
// write or sync fails. Whatever N, the store is that of its last commit.
TEST(Faults, FailedCommitOrAppendKeepsTheLastCommit) {
  const std::string dir = TempDir("faults");
  const std::string base = dir + "/base.pst";
  FolderId big;
  {
    auto store = Must(Store::Create(base, "Base"));
    MustOk(AddWork(*store, "Kept"));
    big = Must(store->AddFolder(store->ipm_subtree(), "Big"));
    MustOk(AddRows(*store, big, 0));
    MustOk(store->Close());
  }
  auto grow = [&](Store& store) {
    Status s = AddWork(store, "New");
    return s.ok() ? AddRows(store, big, 450) : s;
  };
  FaultyEnv probe(Env::Default());
  {
    const std::string p = dir + "/probe.pst";
    std::filesystem::copy_file(base, p);
    auto store = Must(Store::Open(p, StoreOptions{&probe}));
    probe.FailWriteAt(0, FaultyEnv::Fault::kIoError);
    MustOk(grow(*store));
  }
  const long writes = probe.writes(), syncs = probe.syncs();
  ASSERT_GT(writes, 10);
  auto run = [&](const std::string& what, const std::function<void(FaultyEnv&)>& arm) {
    const std::string p = dir + "/" + what + ".pst";
    std::filesystem::copy_file(base, p);
    FaultyEnv env(Env::Default());
    {
      auto store = Must(Store::Open(p, StoreOptions{&env}));
      arm(env);
      if (grow(*store).ok()) return;  // the fault fell after the last header write
    }
    CheckReport report = CheckStore(Env::Default(), p);
    EXPECT_TRUE(report.ok()) << what << "\n" << report.Summary();
    auto store = Must(Store::Open(p, StoreOptions{nullptr, true}));
    EXPECT_EQ(Must(store->ListMessages(Must(store->FindFolder(store->ipm_subtree(), "Kept")))).size(), 2u) << what;
    // The stored rows, in order, and nothing half-added.
    const auto items = Must(store->ListMessages(big));
    EXPECT_EQ(items.size() % 150, 0u) << what;
    EXPECT_EQ(Must(store->GetFolder(big)).content_count, items.size()) << what;
    for (size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(items[i].subject.substr(0, items[i].subject.find('.')), "row " + std::to_string(i)) << what;
    }
  };
  for (long n = 1; n <= writes; n += (n < 20 ? 1 : 1 + writes / 60)) {
    run("w" + std::to_string(n), [n](FaultyEnv& env) { env.FailWriteAt(n, FaultyEnv::Fault::kDiskFull); });
  }
  for (long n = 1; n <= syncs; ++n) {
    run("s" + std::to_string(n), [n](FaultyEnv& env) { env.FailSyncAt(n, FaultyEnv::Fault::kIoError); });
  }
  // One full reader pass over a store whose commit failed halfway.
  const std::string dump = VerifiedDump(dir + "/w10.pst");
  EXPECT_NE(dump.find("| Kept item 1 |"), std::string::npos) << dump;
}

TEST(Faults, ReadOnlyStoresRefuseChanges) {
  const std::string path = TempDir("faults") + "/ro.pst";
  MustOk(Must(Store::Create(path, "RO"))->Close());
  const std::string before = ReadAll(path);
  auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
  EXPECT_FALSE(store->AddFolder(store->ipm_subtree(), "x").ok());
  EXPECT_FALSE(store->NewMessage(store->ipm_subtree()).ok());
  EXPECT_FALSE(store->Commit().ok());
  MustOk(store->Close());
  EXPECT_FALSE(store->GetFolder(store->ipm_subtree()).ok());
  EXPECT_EQ(ReadAll(path), before);
}

}  // namespace
}  // namespace baleport::pst::testing
