// The `baleport` program itself: options, exit statuses, -j, Ctrl-C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "conversion/tests/failed_in_log.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "pst/check/checker.h"
#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

using pst::testing::Quote;
using ::testing::HasSubstr;

pst::testing::CommandResult Baleport(const std::string& arguments) {
  return pst::testing::Run(std::string(BALEPORT_BINARY) + " " + arguments);
}

TEST(CommandLine, VersionHelpAndUsage) {
  EXPECT_EQ(Baleport("--version").exit_code, 0);
  EXPECT_EQ(Baleport("help").exit_code, 0);
  EXPECT_EQ(Baleport("convert --help").exit_code, 0);
  EXPECT_THAT(Baleport("help convert").output, HasSubstr("--skip-existing"));
  EXPECT_EQ(Baleport("").exit_code, 2);
  EXPECT_EQ(Baleport("convert --no-such-option x").exit_code, 2);
  EXPECT_EQ(Baleport("list").exit_code, 2);
}

// With -j on a pipe: whole lines only (no progress drawn), every failure named with its reason
// and in its store's log, one summary for the run with its totals, the highest exit status of
// the processes, and the report of --report holding every process's folders.
TEST(CommandLine, ParallelRunsGiveWholeLinesOneSummaryAndOneReport) {
  testing::TestTree tree;
  testing::WriteMessageFile(tree.Folder("mail/A") + "/good.msg", "A");
  const std::string bad1 = testing::WriteBrokenFile(tree.Path("mail/A/bad1.msg"));
  const std::string bad2 = testing::WriteBrokenFile(tree.Path("mail/A/bad2.msg"));
  testing::WriteMessageFile(tree.Folder("mail/B") + "/good.msg", "B");
  testing::WriteMessageFile(tree.Folder("mail/C") + "/good.msg", "C");
  const std::string out = tree.Folder("out");
  const std::string report = out + "/run.json";
  const pst::testing::CommandResult run = Baleport("convert --each " + Quote(tree.Path("mail")) + " -d " + Quote(out) +
                                                   " -j 2 --report " + Quote(report));
  EXPECT_EQ(run.exit_code, 1) << run.output;
  for (const std::string& bad : {bad1, bad2}) {
    EXPECT_THAT(run.output, HasSubstr("baleport convert: failed: importing " + bad + ": ")) << run.output;
  }
  std::istringstream lines(run.output);
  int summaries = 0;
  for (std::string line; std::getline(lines, line);) {
    const bool known = line.starts_with("Migrating ") || line.starts_with(tree.Path("mail/")) ||
                       line.starts_with("baleport convert: ") || line.starts_with("In all: ");
    EXPECT_TRUE(known && line.find_first_of("\r\x1b") == std::string::npos) << "not a whole line: " << line;
    summaries += line.starts_with("In all: ") ? 1 : 0;
  }
  EXPECT_EQ(summaries, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("\nIn all: 3 folders, 5 messages: 3 converted, 2 failed\n"));
  EXPECT_EQ(pst::testing::Run("python3 -m json.tool " + Quote(report) + " >/dev/null").exit_code, 0);
  const std::string json = pst::testing::ReadAll(report);
  EXPECT_THAT(json, HasSubstr("\"exit_status\": 1,"));
  EXPECT_THAT(json, HasSubstr("\"found\": 3, \"converted\": 1, \"already_there\": 0, \"failed\": 2"));
  EXPECT_THAT(json, HasSubstr("\"found\": 1, \"converted\": 1, \"already_there\": 0, \"failed\": 0"));
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 7) << "three stores, three logs, the report; no part left behind";
  EXPECT_EQ(testing::FailedInLog(out + "/A.log"), (std::set<std::string>{bad1, bad2}));
  EXPECT_TRUE(testing::FailedInLog(out + "/B.log").empty());
  for (const char* store : {"/A.pst", "/B.pst", "/C.pst"}) pst::testing::VerifiedDump(out + store);
}

// Runs `baleport arguments...` and sends it SIGINT once its output holds `cue`; returns
// its exit status and output.
pst::testing::CommandResult InterruptAfter(const std::vector<std::string>& arguments, const std::string& cue) {
  pst::testing::CommandResult result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> argv;
  std::string program = BALEPORT_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> args = arguments;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    return result;
  }
  bool sent = false;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) {
    result.output.append(buf, static_cast<size_t>(n));
    if (!sent && result.output.find(cue) != std::string::npos) sent = ::kill(pid, SIGINT) == 0;
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Ctrl-C ends the run after the current message; what was converted is committed, the
// store is valid, and exactly the files not converted stay.
TEST(CommandLine, InterruptedRunLeavesAValidStore) {
  testing::TestTree tree;
  const int count = 2000;
  const std::string mail = tree.Folder("mail");
  for (int i = 0; i < count; ++i) testing::WriteMessageFile(mail + "/m" + std::to_string(i) + ".msg", "M");
  const std::string store = tree.Path("out.pst");
  const pst::testing::CommandResult run =
      InterruptAfter({"convert", "--delete-source", mail, "-o", store}, "Migrating ");
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Interrupted: stopping after the current message."));
  EXPECT_THAT(run.output, HasSubstr(mail + ": interrupted; what was converted is committed, "));
  EXPECT_THAT(run.output, ::testing::Not(HasSubstr("page")));
  const pst::CheckReport report = pst::CheckStore(Env::Default(), store);
  EXPECT_TRUE(report.ok()) << report.Summary();
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(mail)) left += entry.is_regular_file() ? 1 : 0;
  EXPECT_GT(left, 0);
  EXPECT_EQ(report.messages, static_cast<uint64_t>(count - left)) << run.output;
  EXPECT_THAT(pst::testing::VerifiedDump(store),
              HasSubstr("F /Top of Personal Folders items=" + std::to_string(count - left)));
}

}  // namespace
}  // namespace baleport
