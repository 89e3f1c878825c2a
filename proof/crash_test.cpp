// `baleport convert` SIGKILLed at random instants: the store opens everywhere and keeps what it
// held, every message is a source or in it, and a run with --skip-existing then holds each
// once. BALEPORT_PROOF_KILLS sets the number of kills (bench/crash.sh: 120).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "files/tests/test_tree.h"
#include "pst/tests/store_testing.h"
#include "proof/mailbox.h"

namespace baleport::proof {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using baleport::testing::ReadAll;

struct Scenario {
  const char* name;
  bool existingStore, deleteSource;
  bool each;                     // --each -j 2: a store per subfolder, two written at once
  const char* sample = nullptr;  // the existing store is a copy of this Outlook store
};
constexpr Scenario kScenarios[] = {
    {"new store", false, false, false},
    {"new store, --delete-source", false, true, false},
    {"existing store", true, false, false},
    {"existing store, --delete-source", true, true, false},
    {"--each -j 2, --delete-source", false, true, true},
    {"Outlook's sample1.pst, --delete-source", true, true, false, "sample1.pst"},
    {"Outlook's attachAndInline.pst, --delete-source", true, true, false, "attachAndInline.pst"},
    {"Outlook's testPST_variousBodyTypes.pst, --delete-source", true, true, false, "testPST_variousBodyTypes.pst"},
};

std::string SamplePath(const Scenario& s) { return std::string(BALEPORT_SAMPLES_DIR) + "/pst/" + s.sample; }

// `store` is the store, or with --each the folder of the stores. A run after a kill skips
// what the killed one committed.
std::vector<std::string> ConvertArguments(const Scenario& s, const std::string& source, const std::string& store,
                                          bool rerun = false) {
  std::vector<std::string> arguments{"convert", "--quiet", source, "-o", store};
  if (s.each) arguments = {"convert", "--quiet", "--each", source, "-d", store, "-j", "2"};
  if (s.deleteSource) arguments.push_back("--delete-source");
  if (rerun) arguments.push_back("--skip-existing");
  return arguments;
}

// Every store there is, read as one; `exists` says whether there was any.
StoreView ReadStores(const Scenario& s, const std::string& store, bool everyReader, bool& exists) {
  std::vector<std::string> stores;
  if (!s.each && fs::exists(store)) stores.push_back(store);
  if (s.each) {
    for (const auto& entry : fs::directory_iterator(store)) {
      if (entry.path().extension() == ".pst") stores.push_back(entry.path().string());
    }
  }
  exists = !stores.empty();
  StoreView all;
  for (const std::string& path : stores) {
    const StoreView one = ReadStore(path, everyReader);
    all.failures += one.failures;
    all.subjects.insert(one.subjects.begin(), one.subjects.end());
  }
  return all;
}

class Crash : public ::testing::Test {
 protected:
  void SetUp() override {
    mailbox_ = WriteMailbox(tree_.Path("template"), 600, "proof");  // past two batches of the run's 256
    const Mailbox old = WriteMailbox(tree_.Path("old"), 12, "old");
    const testing::CommandResult made = Baleport({"convert", "--quiet", old.root, "-o", existing_});
    ASSERT_EQ(made.exit_code, 0) << made.output;
    oldSubjects_[nullptr].insert(old.subjects.begin(), old.subjects.end());
    for (const Scenario& s : kScenarios) {
      if (s.sample == nullptr) continue;
      if (!fs::exists(SamplePath(s))) {
        std::cout << "proof: crash: " << SamplePath(s) << " is absent; its rounds are skipped\n";
        continue;
      }
      const StoreView view = ReadStore(SamplePath(s));  // in place: the readers do not write
      ASSERT_EQ(view.failures, "");
      oldSubjects_[s.sample] = view.subjects;
    }
  }

  bool Runnable(const Scenario& s) const { return s.sample == nullptr || oldSubjects_.contains(s.sample); }

  // A copy of the mailbox (its files linked: a deleted source removes only the copy's name)
  // and the store, in `folder`.
  std::string Prepare(const Scenario& s, const std::string& folder, Mailbox& source) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(mailbox_.root, folder + "/mail", fs::copy_options::recursive | fs::copy_options::create_hard_links);
    source = mailbox_;
    source.root = folder + "/mail";
    const std::string store = folder + (s.each ? "/stores" : "/out.pst");
    if (s.each) fs::create_directories(store);
    if (s.existingStore) {
      fs::copy_file(s.sample != nullptr ? SamplePath(s) : existing_, store);
      fs::permissions(store, fs::perms::owner_write, fs::perm_options::add);
    }
    return store;
  }

  // How long a whole run without a kill takes. (What it writes is judged after each kill's re-run.)
  double Calibrate(const Scenario& s) {
    Mailbox source;
    const std::string store = Prepare(s, tree_.Path("calibrate"), source);
    const auto start = Clock::now();
    const testing::CommandResult run = Baleport(ConvertArguments(s, source.root, store));
    EXPECT_EQ(run.exit_code, 0) << s.name << ": " << run.output;
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  // Each item the store held before the run is there as often as it was.
  void ExpectOldItemsIntact(const Scenario& s, const StoreView& view) {
    if (!s.existingStore) return;
    for (const std::string& old : oldSubjects_[s.sample]) EXPECT_EQ(view.subjects.count(old), oldSubjects_[s.sample].count(old)) << old;
  }

  testing::TestTree tree_;
  Mailbox mailbox_;
  const std::string existing_ = tree_.Path("existing.pst");
  // What each existing store held before: ours under nullptr, the samples under their names.
  std::map<const char*, std::multiset<std::string>> oldSubjects_;
};

TEST_F(Crash, NoKillLosesAMessageOrTheStore) {
  const int kills = EnvironmentNumber("BALEPORT_PROOF_KILLS", 30);
  const unsigned seed = static_cast<unsigned>(EnvironmentNumber("BALEPORT_PROOF_SEED", 20261206));
  std::mt19937 rng(seed);
  double duration[std::size(kScenarios)];
  for (size_t i = 0; i < std::size(kScenarios); ++i) duration[i] = Runnable(kScenarios[i]) ? Calibrate(kScenarios[i]) : 0;

  int survived = 0, finishedFirst = 0, beforeStore = 0, lost = 0;
  for (int round = 0; round < kills && !HasFailure(); ++round) {
    const size_t which = static_cast<size_t>(round) % std::size(kScenarios);
    const Scenario& s = kScenarios[which];
    if (!Runnable(s)) continue;
    const std::string folder = tree_.Path("round");
    Mailbox source;
    const std::string store = Prepare(s, folder, source);
    // Uniform over the whole run, and a little past it so that the end is covered too.
    const auto delay = std::chrono::microseconds(
        static_cast<long>(std::uniform_real_distribution<double>(0, duration[which] * 1.1)(rng) * 1e6));
    SCOPED_TRACE(std::string(s.name) + ", round " + std::to_string(round) + ", killed after " +
                 std::to_string(delay.count()) + " us, seed " + std::to_string(seed));

    const pid_t pid = StartBaleport(ConvertArguments(s, source.root, store), folder + "/run.txt");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    ::kill(-pid, SIGKILL);  // the whole program, with the conversions of -j, as a power cut would
    int status = 0;
    ::waitpid(pid, &status, 0);
    // Its conversion processes are reaped by init, which may take a moment: until then they
    // count as running, and their partial stores as in use.
    for (int i = 0; i < 500 && ::kill(-pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (WIFSIGNALED(status)) {
      ++survived;
    } else {  // the run was faster than when measured (a busy machine then): aim earlier
      ++finishedFirst;
      duration[which] *= 0.8;
    }

    bool exists = false;
    const StoreView view = ReadStores(s, store, true, exists);
    EXPECT_EQ(view.failures, "");
    EXPECT_TRUE(exists || !s.existingStore) << "the existing store is gone";
    beforeStore += exists ? 0 : 1;
    ExpectOldItemsIntact(s, view);
    const int lostNow = LostMessages(source, view);
    EXPECT_EQ(lostNow, 0);
    lost += lostNow;
    for (const std::string& file : source.files) EXPECT_TRUE(s.deleteSource || fs::exists(source.root + "/" + file)) << file;

    // The interrupted store takes the rest: afterwards every message is in it once, and
    // with --delete-source no source of a converted message is left.
    const testing::CommandResult resumed = Baleport(ConvertArguments(s, source.root, store, true));
    EXPECT_EQ(resumed.exit_code, 0) << resumed.output;
    const StoreView finished = ReadStores(s, store, false, exists);
    EXPECT_EQ(finished.failures, "");
    ExpectOldItemsIntact(s, finished);
    for (size_t i = 0; i < source.files.size(); ++i) {
      if (s.each && source.files[i].find('/') == std::string::npos) continue;  // in no subfolder: not converted
      EXPECT_EQ(finished.subjects.count(source.subjects[i]), 1u) << source.files[i];
      EXPECT_FALSE(s.deleteSource && fs::exists(source.root + "/" + source.files[i])) << source.files[i];
    }
    // A partial store the kill left is gone once a store is made there again.
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path() << " is left";
    }
  }
  std::cout << "proof: crash: " << survived << " kills survived, " << lost << " messages lost (" << finishedFirst
            << " runs ended before their kill, " << beforeStore << " kills before the new store existed; seed " << seed
            << ")\n";
}

// How many processes of group `group` have not ended (zombies have: only their parent's wait
// is missing, and for orphans that is init's). A process ending under the listing fails it
// now and then (ESRCH): it is listed again.
size_t Running(pid_t group) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    size_t running = 0;
    std::error_code error;
    for (fs::directory_iterator entry("/proc", error), last; !error && entry != last; entry.increment(error)) {
      const std::string stat = ReadAll((entry->path() / "stat").string());
      std::istringstream fields(stat.substr(stat.rfind(')') + 1));  // after the name, which may hold anything
      char state = 0;
      pid_t parent = 0, processGroup = 0;
      running += fields >> state >> parent >> processGroup && processGroup == group && state != 'Z' && state != 'X';
    }
    if (!error) return running;
  }
  ADD_FAILURE() << "/proc cannot be listed";
  return 0;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The parent of --each -j 2 killed or sent SIGTERM: its conversions end after their current
// message, committed, as with Ctrl-C, and do not run on unseen.
class ParentEnds : public ::testing::TestWithParam<int> {};

TEST_P(ParentEnds, ConversionsEndWithTheirParentAndLoseNothing) {
  const int signal = GetParam();
  testing::TestTree tree;
  constexpr int kMessages = 3000;  // each folder: a run of a second or more
  const Mailbox mailboxes[] = {WriteMailbox(tree.Path("mail/A"), kMessages, "a"),
                               WriteMailbox(tree.Path("mail/B"), kMessages, "b")};
  const std::string stores = tree.Folder("stores"), log = tree.Path("run.txt");
  const pid_t pid = StartBaleport({"convert", "--each", tree.Path("mail"), "-d", stores, "-j", "2", "--delete-source"}, log);
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 30000 && Occurrences(ReadAll(log), "Migrating ") < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(Occurrences(ReadAll(log), "Migrating "), 2u) << ReadAll(log);

  ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(signal != SIGTERM || (WIFEXITED(status) && WEXITSTATUS(status) == 1)) << "status " << status;
  for (int i = 0; i < 250 && Running(pid) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(Running(pid), 0u) << "conversions still run 5 s after their parent ended";
  ::kill(-pid, SIGKILL);
  // Said once, by the parent; after SIGKILL the conversions' lines have no one to reach.
  EXPECT_EQ(Occurrences(ReadAll(log), "Interrupted: stopping after the current message."), signal == SIGTERM ? 1u : 0u)
      << ReadAll(log);

  for (const Mailbox& mailbox : mailboxes) {
    const std::string store = stores + "/" + fs::path(mailbox.root).filename().string() + ".pst";
    SCOPED_TRACE(store);
    // Stopped before its store was made: then no source may have gone either.
    const StoreView view = fs::exists(store) ? ReadStore(store) : StoreView{};
    EXPECT_EQ(view.failures, "");
    EXPECT_EQ(LostMessages(mailbox, view), 0);
    EXPECT_LT(view.subjects.size(), static_cast<size_t>(kMessages)) << "the conversion went on to its end";
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, ParentEnds, ::testing::Values(SIGKILL, SIGTERM));

}  // namespace
}  // namespace baleport::proof
