// A child process writing a store is killed at random instants; whatever instant it dies,
// the file must hold a valid store with every item of its last commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "mapi/tags.h"
#include "pst/tests/store_testing.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;

// Runs in the child: adds items forever, committing every few, and reports the number of
// items committed on `report` after each commit.
[[noreturn]] void WriteUntilKilled(const std::string& path, int report, int start) {
  auto store = std::filesystem::exists(path) ? Store::Open(path) : Store::Create(path, "Killed");
  if (!store.ok()) _exit(2);
  auto folder = (*store)->FindFolder((*store)->ipm_subtree(), "Work");
  if (!folder.ok()) folder = (*store)->AddFolder((*store)->ipm_subtree(), "Work");
  if (!folder.ok()) _exit(3);
  for (int i = start;; ++i) {
    auto m = (*store)->NewMessage(*folder);
    if (!m.ok()) _exit(4);
    (void)(*m)->Set(prop::String(kSubject, "item " + std::to_string(i)));
    auto a = (*m)->AddAttachment();
    if (a.ok()) (void)(*a)->Set(prop::Binary(kAttachDataBinary, std::string(5000 + (i % 7) * 3000, 'k')));
    if (!(*m)->Save().ok()) _exit(5);
    if (i % 3 == 2) {
      if (!(*store)->Commit().ok()) _exit(6);
      const int committed = i + 1;
      if (::write(report, &committed, sizeof committed) != sizeof committed) _exit(7);
    }
  }
}

TEST(Kill, EveryInstantLeavesTheLastCommit) {
  const std::string path = TempDir("kill") + "/killed.pst";
  std::mt19937 rng(12345);
  int committed = 0;
  for (int round = 0; round < 12; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      WriteUntilKilled(path, fds[1], committed);
    }
    ::close(fds[1]);
    ::usleep(std::uniform_int_distribution<int>(2000, 120000)(rng));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);
    int n;
    while (::read(fds[0], &n, sizeof n) == sizeof n) committed = n;
    ::close(fds[0]);
    if (!std::filesystem::exists(path)) {
      ASSERT_EQ(committed, 0) << "the store vanished after a commit";
      continue;
    }
    CheckReport report = CheckStore(Env::Default(), path);
    ASSERT_TRUE(report.ok()) << "round " << round << "\n" << report.Summary();
    ASSERT_EQ(PffInfo(path).exit_code, 0);
    auto store = Must(Store::Open(path, StoreOptions{nullptr, true}));
    // Killed between the store's creation and the commit of its folder: no folder yet.
    const auto work = store->FindFolder(store->ipm_subtree(), "Work");
    if (!work.ok()) {
      ASSERT_EQ(committed, 0) << "round " << round << ": " << work.status().message();
      continue;
    }
    auto items = Must(store->ListMessages(*work));
    ASSERT_GE(static_cast<int>(items.size()), committed) << "round " << round;
    // Items past the last reported commit may be there (killed after the header write).
    committed = static_cast<int>(items.size());
    for (int i = 0; i < committed; ++i) EXPECT_EQ(items[i].subject, "item " + std::to_string(i));
  }
  EXPECT_GT(committed, 0);
  std::string dump = VerifiedDump(path);
  EXPECT_NE(dump.find("/Work items=" + std::to_string(committed) + " "), std::string::npos) << dump;
}

}  // namespace
}  // namespace baleport::pst::testing
