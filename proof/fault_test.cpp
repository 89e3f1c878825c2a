// A whole conversion (with --delete-source) over a disk that fails: the N-th write or sync
// of the store fails, as a full or broken disk would, for every N the run makes, into a new
// store and into an existing one. Each time the run says what failed, the store (if any)
// passes the checker and reads back at its last commit, and no source is gone unless its
// message is in the store.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

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
  Result<std::vector<pst::FolderInfo>> children = store.ListFolders(folder);
  for (const Status& s : {messages.status(), children.status()}) view.failures += s.ok() ? "" : s.message() + "\n";
  if (messages.ok()) {
    for (const pst::MessageInfo& m : *messages) view.subjects.insert(m.subject);
  }
  if (children.ok()) {
    for (const pst::FolderInfo& child : *children) AddSubjects(store, child.id, view);
  }
}

StoreView ReadBack(const std::string& path) {
  StoreView view;
  const pst::CheckReport report = pst::CheckStore(Env::Default(), path);
  view.failures = report.ok() ? "" : report.Summary();
  pst::StoreOptions readOnly;
  readOnly.read_only = true;
  Result<std::unique_ptr<pst::Store>> store = pst::Store::Open(path, readOnly);
  if (store.ok()) AddSubjects(**store, (*store)->ipm_subtree(), view);
  view.failures += store.ok() ? "" : store.status().message();
  view.readable = view.failures.empty();
  return view;
}

// Into a new store, or into an existing one (the parameter).
class Faults : public ::testing::TestWithParam<bool> {
 protected:
  // A fresh source and store for one run; the store path.
  std::string Prepare(Mailbox& source) {
    fs::remove_all(tree_.Path("run"));
    source = CopyMailbox(mailbox_, tree_.Path("run/mail"));
    const std::string store = tree_.Path("run/out.pst");
    if (GetParam()) fs::copy_file(existing_, store);
    return store;
  }

  testing::TestTree tree_;
  const Mailbox mailbox_ = WriteMailbox(tree_.Path("template"), 10, "fault");
  const std::string existing_ = tree_.Path("existing.pst");
};

TEST_P(Faults, NothingIsLostWhateverWriteOrSyncFails) {
  const Mailbox old = WriteMailbox(tree_.Path("old"), GetParam() ? 4 : 0, "old");
  if (GetParam()) {
    ASSERT_TRUE(Convert(Env::Default(), old.root, existing_).report.AllConverted());
  }
  Mailbox source;
  const std::string first = Prepare(source);
  FaultyEnv counter(Env::Default());
  ASSERT_TRUE(Convert(&counter, source.root, first).report.AllConverted());
  const long writes = counter.writes(), syncs = counter.syncs();
  ASSERT_GT(writes, 0);
  ASSERT_GT(syncs, 0);
  int reported = 0;  // runs that said something failed
  // Writes fail in turn with a full disk and an I/O error, then syncs with an I/O error.
  for (long n = 1; n <= writes + syncs && !HasFailure(); ++n) {
    const bool write = n <= writes, full = write && n % 2 == 0;
    const long at = write ? n : n - writes;
    SCOPED_TRACE((write ? "write " : "sync ") + std::to_string(at) + " of " + std::to_string(write ? writes : syncs));
    const std::string store = Prepare(source);
    FaultyEnv env(Env::Default());
    const FaultyEnv::Fault fault = full ? FaultyEnv::Fault::kDiskFull : FaultyEnv::Fault::kIoError;
    write ? env.FailWriteAt(at, fault) : env.FailSyncAt(at, fault);
    const Converted run = Convert(&env, source.root, store);
    ASSERT_EQ(run.report.folders.size(), 1u);
    if (!run.report.AllConverted()) {
      ++reported;
      EXPECT_THAT(run.shown, ::testing::HasSubstr(full ? "disk full" : "I/O error")) << "the run does not say what failed";
      EXPECT_THAT(run.shown, ::testing::HasSubstr(store));
      EXPECT_THAT(CompletionText(run.report), ::testing::Not(::testing::HasSubstr("Successfully")));
    }
    EXPECT_TRUE(fs::exists(store) || !GetParam()) << "the existing store is gone";
    const StoreView view = fs::exists(store) ? ReadBack(store) : StoreView{true, "", {}};
    EXPECT_TRUE(view.readable) << view.failures << run.shown;
    for (const std::string& s : old.subjects) EXPECT_EQ(view.subjects.count(s), 1u) << s;
    EXPECT_EQ(LostMessages(source, view), 0) << run.shown;
    // Every message the run counts as converted is in the store.
    EXPECT_GE(view.subjects.size() - old.subjects.size(), static_cast<size_t>(run.report.folders[0].converted));
  }
  std::cout << "proof: faults: " << writes << " writes and " << syncs << " syncs failed in turn"
            << (GetParam() ? " (existing store)" : " (new store)") << ", " << reported
            << " runs reported the failure, messages lost " << (HasFailure() ? "some" : "0") << "\n";
}

INSTANTIATE_TEST_SUITE_P(Stores, Faults, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "IntoAnExistingStore" : "IntoANewStore"; });

}  // namespace
}  // namespace baleport::proof
