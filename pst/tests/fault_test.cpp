// The N-th write or sync fails, for every N (or N spread over a long run): a new store leaves
// nothing behind, an existing one keeps its last commit and every commit that said it was done.
// A whole conversion over such a disk is proven end to end on a real full disk in proof/.
#include <gtest/gtest.h>

#include <functional>

#include "mapi/tags.h"
#include "pst/tests/store_testing.h"
#include "support/testing/faulty_env.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using baleport::testing::FaultyEnv;
using Fault = FaultyEnv::Fault;

// Ways to arm a fault, each named, for every N up to what a probe run counted.
std::vector<std::pair<std::string, std::function<void(FaultyEnv&)>>> Arms(const FaultyEnv& probe, bool all_writes) {
  std::vector<std::pair<std::string, std::function<void(FaultyEnv&)>>> out;
  const long writes = probe.writes();
  for (long n = 1; n <= writes; n += all_writes || n < 20 ? 1 : 1 + writes / 60) {
    const Fault f = n % 2 ? Fault::kDiskFull : Fault::kIoError;
    out.emplace_back("w" + std::to_string(n), [n, f](FaultyEnv& env) { env.FailWriteAt(n, f); });
  }
  for (long n = 1; n <= probe.syncs(); ++n) {
    out.emplace_back("s" + std::to_string(n), [n](FaultyEnv& env) { env.FailSyncAt(n, Fault::kIoError); });
  }
  return out;
}

TEST(Faults, FailedCreationLeavesNothingBehind) {
  const std::string dir = TempDir("faults");
  FaultyEnv probe(Env::Default());
  MustOk(Must(Store::Create(dir + "/probe.pst", "P", StoreOptions{&probe}))->Close());
  ASSERT_GT(probe.writes(), 5);
  for (const auto& [what, arm] : Arms(probe, true)) {
    FaultyEnv env(Env::Default());
    arm(env);
    const std::string path = dir + "/" + what + ".pst";
    auto store = Store::Create(path, "P", StoreOptions{&env});
    ASSERT_FALSE(store.ok()) << what;
    EXPECT_THAT(store.status().message(), HasSubstr(path));
    EXPECT_FALSE(std::filesystem::exists(path)) << what;
    if (what[0] == 'w') {
      EXPECT_EQ(store.status().code(), std::stol(what.substr(1)) % 2 ? StatusCode::kNoSpace : StatusCode::kIOError) << what;
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "a temporary file was left";
}

// A folder with two items (one attachment of several blocks), then rows appended to the big
// table in three commits of 150, each reaching the table in more than one batch; `committed`
// counts the big table's rows of the commits that succeeded.
Status Grow(Store& store, const std::string& name, FolderId big, int first, size_t* committed = nullptr) {
  auto folder = store.AddFolder(store.ipm_subtree(), name);
  if (!folder.ok()) return folder.status();
  for (int i = 0; i < 2 + 450; ++i) {
    auto m = store.NewMessage(i < 2 ? *folder : big);
    if (!m.ok()) return m.status();
    const int row = first + i - 2;
    BALEPORT_RETURN_IF_ERROR((*m)->Set(prop::String(
        kSubject, i < 2 ? name + " item " + std::to_string(i) : "row " + std::to_string(row) + std::string(1000, '.'))));
    if (i < 2) {
      auto a = (*m)->AddAttachment();
      if (!a.ok()) return a.status();
      BALEPORT_RETURN_IF_ERROR((*a)->Set(prop::Binary(kAttachDataBinary, std::string(20000 * (i + 1), 'a'))));
    }
    BALEPORT_RETURN_IF_ERROR((*m)->Save());
    if (i == 1 || row % 150 == 149) {
      BALEPORT_RETURN_IF_ERROR(store.Commit());
      if (committed != nullptr && i > 1) *committed = row + 1;
    }
  }
  return Status::Ok();
}

// An existing store gets a new folder with items and rows appended to a big table; whatever
// write or sync fails, the store is that of its last commit, its rows in order.
TEST(Faults, FailedCommitOrAppendKeepsTheLastCommit) {
  const std::string dir = TempDir("faults");
  const std::string base = dir + "/base.pst";
  FolderId big;
  {
    auto store = Must(Store::Create(base, "Base"));
    big = Must(store->AddFolder(store->ipm_subtree(), "Big"));
    MustOk(Grow(*store, "Kept", big, 0));
    MustOk(store->Close());
  }
  FaultyEnv probe(Env::Default());
  {
    std::filesystem::copy_file(base, dir + "/probe.pst");
    auto store = Must(Store::Open(dir + "/probe.pst", StoreOptions{&probe}));
    probe.FailWriteAt(0, Fault::kIoError);  // counts from here, as the armed runs do
    MustOk(Grow(*store, "New", big, 450));
  }
  ASSERT_GT(probe.writes(), 10);
  for (const auto& [what, arm] : Arms(probe, false)) {
    const std::string p = dir + "/" + what + ".pst";
    std::filesystem::copy_file(base, p);
    FaultyEnv env(Env::Default());
    size_t committed = 450;  // rows of the big table that a commit said were done
    {
      auto store = Must(Store::Open(p, StoreOptions{&env}));
      arm(env);
      const Status grown = Grow(*store, "New", big, 450, &committed);
      if (grown.ok()) continue;  // the fault fell after the last header write
      EXPECT_THAT(grown.message(), HasSubstr(p)) << what;
    }
    CheckReport report = CheckStore(Env::Default(), p);
    EXPECT_TRUE(report.ok()) << what << "\n" << report.Summary();
    auto store = OpenReadOnly(p);
    EXPECT_EQ(Must(store->ListMessages(Must(store->FindFolder(store->ipm_subtree(), "Kept")))).size(), 2u) << what;
    const auto items = Must(store->ListMessages(big));
    EXPECT_EQ(items.size() % 150, 0u) << what;
    EXPECT_GE(items.size(), committed) << what;
    for (size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(items[i].subject.substr(0, items[i].subject.find('.')), "row " + std::to_string(i)) << what;
    }
  }
  EXPECT_THAT(VerifiedDump(dir + "/w10.pst"), HasSubstr("| Kept item 1 |")) << "a store whose commit failed halfway";
}

}  // namespace
}  // namespace baleport::pst::testing
