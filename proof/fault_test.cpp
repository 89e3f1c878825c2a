// A whole conversion (with --delete-source) over a disk that fails: the N-th write or sync
// of the store fails, as a full or broken disk would, for every N the run makes, into a new
// store and into an existing one. Each time the run says what failed, the store (if any)
// passes the checker and reads back at its last commit, and no source is gone unless its
// message is in the store.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "conversion/conversion_page.h"
#include "conversion/store/pst_store_library.h"
#include "conversion/testing/recording_page.h"
#include "files/tests/test_tree.h"
#include "pst/check/checker.h"
#include "proof/mailbox.h"
#include "support/testing/faulty_env.h"

namespace baleport::proof {
namespace {

namespace fs = std::filesystem;
using baleport::testing::FaultyEnv;

struct Converted {
  RunReport report;
  std::string shown;  // every text the run showed: failures, reasons, message boxes
};

// Converts `source` into `store` with sources deleted, every file access through `env`.
Converted Convert(Env* env, const std::string& source, const std::string& store) {
  pst::StoreOptions storeOptions;
  storeOptions.env = env;
  PstStoreLibrary library(storeOptions);
  RecordingPage page;
  FixedSelection selection;
  ConversionOptions options;
  options.commitEvery = 3;  // several commits in a small run
  ConversionPage conversion(page, selection, library, options);
  conversion.Form_Load();
  page.deleteSourceValue = 1;
  selection.sourceMailbox = source;
  page.saveDialogAnswer = store;
  conversion.CmdStartConversion_Click();
  Converted run{conversion.lastRun(), ""};
  for (const FolderReport& f : run.report.folders) run.shown += (f.failures.empty() ? "" : f.failures.front()) + "\n" + f.reason + "\n";
  for (const MessageBoxRequest& m : page.messages) run.shown += m.text + "\n" + m.details + "\n";
  return run;
}

// The store as the engine reads it back, after its checker: pypff is left to the crash
// proof, since these runs are many and each reader process costs more than the run.
void AddSubjects(pst::Store& store, pst::FolderId folder, StoreView& view) {
  Result<std::vector<pst::MessageInfo>> messages = store.ListMessages(folder);
  if (!messages.ok()) view.failures += messages.status().message() + "\n";
  for (const pst::MessageInfo& m : messages.ok() ? *messages : std::vector<pst::MessageInfo>{}) {
    view.subjects.insert(m.subject);
  }
  Result<std::vector<pst::FolderInfo>> children = store.ListFolders(folder);
  if (!children.ok()) view.failures += children.status().message() + "\n";
  for (const pst::FolderInfo& child : children.ok() ? *children : std::vector<pst::FolderInfo>{}) {
    AddSubjects(store, child.id, view);
  }
}

StoreView ReadBack(const std::string& path) {
  StoreView view;
  const pst::CheckReport report = pst::CheckStore(Env::Default(), path);
  if (!report.ok()) view.failures += report.Summary();
  pst::StoreOptions readOnly;
  readOnly.read_only = true;
  Result<std::unique_ptr<pst::Store>> store = pst::Store::Open(path, readOnly);
  if (!store.ok()) view.failures += store.status().message() + "\n";
  if (store.ok()) AddSubjects(**store, (*store)->ipm_subtree(), view);
  view.readable = view.failures.empty();
  return view;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { mailbox_ = WriteMailbox(tree_.Path("template"), 10, "fault"); }

  void IntoAnExistingStore() {
    existingStore_ = true;
    const Mailbox old = WriteMailbox(tree_.Path("old"), 4, "old");
    ASSERT_TRUE(Convert(Env::Default(), old.root, existing_).report.AllConverted());
    oldSubjects_ = old.subjects;
  }

  void FailEveryWriteAndSyncInTurn();

  // A fresh source and store for one run; the store path.
  std::string Prepare(Mailbox& source) {
    fs::remove_all(tree_.Path("run"));
    source = CopyMailbox(mailbox_, tree_.Path("run/mail"));
    const std::string store = tree_.Path("run/out.pst");
    if (existingStore_) fs::copy_file(existing_, store);
    return store;
  }

  // One run with the fault `arm` sets up.
  void ExpectNothingLost(const std::function<void(FaultyEnv&)>& arm, const char* faultText, const std::string& what) {
    SCOPED_TRACE(what);
    Mailbox source;
    const std::string store = Prepare(source);
    FaultyEnv env(Env::Default());
    arm(env);
    const Converted run = Convert(&env, source.root, store);
    ASSERT_EQ(run.report.folders.size(), 1u);
    if (!run.report.AllConverted()) {
      ++reported_;
      EXPECT_THAT(run.shown, ::testing::HasSubstr(faultText)) << "the run does not say what failed";
      EXPECT_THAT(run.shown, ::testing::HasSubstr(store));
      EXPECT_THAT(CompletionText(run.report), ::testing::Not(::testing::HasSubstr("Successfully")));
    }
    StoreView view;
    if (fs::exists(store)) {
      view = ReadBack(store);
      EXPECT_TRUE(view.readable) << view.failures << run.shown;
      for (const std::string& old : oldSubjects_) EXPECT_EQ(view.subjects.count(old), 1u) << old;
    } else {
      EXPECT_FALSE(existingStore_) << "the existing store is gone";
    }
    EXPECT_EQ(LostMessages(source, view), 0) << run.shown;
    // Every message the run counts as converted is in the store.
    EXPECT_GE(static_cast<int>(view.subjects.size()) - static_cast<int>(oldSubjects_.size()),
              run.report.folders[0].converted);
  }

  testing::TestTree tree_;
  Mailbox mailbox_;
  const std::string existing_ = tree_.Path("existing.pst");
  std::vector<std::string> oldSubjects_;
  bool existingStore_ = false;
  int reported_ = 0;  // runs that said something failed
};

void Faults::FailEveryWriteAndSyncInTurn() {
  Mailbox source;
  const std::string store = Prepare(source);
  FaultyEnv counter(Env::Default());
  ASSERT_TRUE(Convert(&counter, source.root, store).report.AllConverted());
  const long writes = counter.writes(), syncs = counter.syncs();
  ASSERT_GT(writes, 0);
  ASSERT_GT(syncs, 0);
  for (long n = 1; n <= writes && !HasFailure(); ++n) {
    const FaultyEnv::Fault fault = n % 2 == 0 ? FaultyEnv::Fault::kDiskFull : FaultyEnv::Fault::kIoError;
    ExpectNothingLost([&](FaultyEnv& env) { env.FailWriteAt(n, fault); },
                      fault == FaultyEnv::Fault::kDiskFull ? "disk full" : "I/O error",
                      "write " + std::to_string(n) + " of " + std::to_string(writes));
  }
  for (long n = 1; n <= syncs && !HasFailure(); ++n) {
    ExpectNothingLost([&](FaultyEnv& env) { env.FailSyncAt(n, FaultyEnv::Fault::kIoError); }, "I/O error",
                      "sync " + std::to_string(n) + " of " + std::to_string(syncs));
  }
  std::cout << "proof: faults: " << writes << " writes and " << syncs << " syncs failed in turn"
            << (existingStore_ ? " (existing store)" : " (new store)") << ", " << reported_
            << " runs reported the failure, messages lost " << (HasFailure() ? "some" : "0") << "\n";
}

TEST_F(Faults, IntoANewStoreNothingIsLost) { FailEveryWriteAndSyncInTurn(); }

TEST_F(Faults, IntoAnExistingStoreNothingIsLost) {
  IntoAnExistingStore();
  FailEveryWriteAndSyncInTurn();
}

}  // namespace
}  // namespace baleport::proof
