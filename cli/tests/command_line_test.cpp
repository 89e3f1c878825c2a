// The `baleport` program itself: options, exit statuses, -j, Ctrl-C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "conversion/tests/failed_in_log.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

using baleport::testing::Quote;
using ::testing::HasSubstr;

TEST(CommandLine, VersionHelpAndUsage) {
  EXPECT_EQ(testing::Run(BALEPORT_BINARY " --version").exit_code, 0);
  EXPECT_THAT(testing::Run(BALEPORT_BINARY " help convert").output, HasSubstr("--skip-existing"));
  // An empty path names no file: not the current folder, nor the root to search from.
  for (const char* bad : {"", " convert --no-such-option x", " list", " find ''", " check ''", " convert --each . -d ''"}) {
    EXPECT_EQ(testing::Run(BALEPORT_BINARY + std::string(bad)).exit_code, 2) << bad;
  }
}

// With -j on a pipe: whole lines only (no progress drawn), every failure named with its reason
// and in its store's log, one summary for the run with its totals, the highest exit status of
// the processes, and the report of --report holding every process's folders.
TEST(CommandLine, ParallelRunsGiveWholeLinesOneSummaryAndOneReport) {
  testing::TestTree tree;
  testing::WriteMessageFile(tree.Folder("mail/A") + "/good.msg", "A");
  const std::set<std::string> bad = {testing::WriteBrokenFile(tree.Path("mail/A/bad1.msg")),
                                     testing::WriteBrokenFile(tree.Path("mail/A/bad2.msg"))};
  testing::WriteMessageFile(tree.Folder("mail/B") + "/good.msg", "B");
  testing::WriteMessageFile(tree.Folder("mail/C") + "/good.msg", "C");
  const std::string out = tree.Folder("out"), report = out + "/run.json";
  const testing::CommandResult run = testing::Run(BALEPORT_BINARY " convert --each " + Quote(tree.Path("mail")) +
                                                  " -d " + Quote(out) + " -j 2 --report " + Quote(report));
  EXPECT_EQ(run.exit_code, 1) << run.output;
  for (const std::string& path : bad) {
    EXPECT_THAT(run.output, HasSubstr("baleport convert: failed: importing " + path + ": "));
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
  EXPECT_EQ(testing::Run("python3 -m json.tool " + Quote(report) + " >/dev/null").exit_code, 0);
  const std::string json = testing::ReadAll(report);
  EXPECT_THAT(json, HasSubstr("\"exit_status\": 1,"));
  EXPECT_THAT(json, HasSubstr("\"found\": 3, \"converted\": 1, \"already_there\": 0, \"failed\": 2"));
  EXPECT_THAT(json, HasSubstr("\"found\": 1, \"converted\": 1, \"already_there\": 0, \"failed\": 0"));
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 7) << "three stores, three logs, the report; no part left behind";
  EXPECT_EQ(testing::FailedInLog(out + "/A.log"), bad);
  for (const char* store : {"/A.pst", "/B.pst", "/C.pst"}) pst::testing::VerifiedDump(out + store);
}

// Ctrl-C ends the run after the current message; what was converted is committed, the
// store is valid, and exactly the files not converted stay. Into a file, no progress is drawn.
TEST(CommandLine, InterruptedRunLeavesAValidStore) {
  testing::TestTree tree;
  const int count = 5000;  // a quarter of a second of work even on a fast machine
  const std::string mail = tree.Folder("mail");
  for (int i = 0; i < count; ++i) testing::WriteMessageFile(mail + "/m" + std::to_string(i) + ".msg", "M");
  const std::string store = tree.Path("out.pst"), log = tree.Path("run.log");
  // Ctrl-C once the run has begun (the bound only guards against a program that never says so).
  const testing::CommandResult exited = testing::Run(
      Quote(BALEPORT_BINARY) + " convert --delete-source " + Quote(mail) + " -o " + Quote(store) + " >" + Quote(log) +
      " 2>&1 & pid=$!; for i in $(seq 30000); do grep -q 'Migrating ' " + Quote(log) +
      " && break; sleep 0.01; done; kill -INT $pid; wait $pid");
  const std::string output = testing::ReadAll(log);
  EXPECT_EQ(exited.exit_code, 1) << output;
  EXPECT_THAT(output, HasSubstr("Interrupted: stopping after the current message."));
  EXPECT_THAT(output, HasSubstr(mail + ": interrupted; what was converted is committed, "));
  EXPECT_THAT(output, ::testing::Not(HasSubstr("page")));
  EXPECT_EQ(output.find_first_of("\r\x1b"), std::string::npos) << "a drawing where no terminal is";
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(mail)) left += entry.is_regular_file() ? 1 : 0;
  EXPECT_GT(left, 0);
  EXPECT_EQ(pst::testing::VerifiedMessageCount(store), static_cast<uint64_t>(count - left)) << output;
}

}  // namespace
}  // namespace baleport
