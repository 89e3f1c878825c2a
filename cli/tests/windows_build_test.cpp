// baleport (this build) and baleport.exe (the Windows build, under Wine) convert the same real
// messages, read in place; every reader must list the two stores alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "pst/tests/readers.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;
using pst::testing::Quote;

// What readpst wrote (every message with its headers, recipients, bodies and attachments), by
// file name without the time of the run, which the store's name and so the files' hold.
std::map<std::string, std::string> ReadPstFiles(const std::string& store) {
  const std::string into = pst::testing::TempDir("readpst");
  const pst::testing::CommandResult run = pst::testing::ReadPst(store, into);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::regex stamp(R"(Created - [0-9.]+ [0-9.]+)");
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(into)) {
    if (!e.is_regular_file()) continue;
    std::ostringstream bytes;
    bytes << std::ifstream(e.path(), std::ios::binary).rdbuf();
    files[std::regex_replace(fs::relative(e.path(), into).string(), stamp, "Created")] = bytes.str();
  }
  return files;
}

TEST(WindowsBuild, ConvertsTheSamplesAsThisBuildDoes) {
  const fs::path samples = fs::path(BALEPORT_SAMPLES_DIR) / "msg";
  if (!fs::is_directory(samples)) GTEST_SKIP() << "skipped: " << samples << " is absent (../shared)";
  if (!fs::exists(BALEPORT_WINDOWS_BINARY)) {
    GTEST_SKIP() << "skipped: no Windows build at " << BALEPORT_WINDOWS_BINARY << " (make build-win)";
  }
  const std::string dir = pst::testing::TempDir("windows-build");
  const std::string linux = dir + "/linux.pst";
  const std::string windows = dir + "/windows.pst";
  const pst::testing::CommandResult native =
      pst::testing::Run(Quote(BALEPORT_BINARY) + " convert -q " + Quote(samples.string()) + " -o " + Quote(linux));
  const pst::testing::CommandResult wine = pst::testing::Run("/usr/lib/wine/wine64 " + Quote(BALEPORT_WINDOWS_BINARY) +
                                                             " convert -q " + Quote(samples.string()) + " -o " + Quote(windows));
  ASSERT_EQ(native.exit_code, 0) << native.output;
  ASSERT_EQ(wine.exit_code, 0) << wine.output;

  EXPECT_EQ(pst::testing::ReaderFailures(windows), "");
  // Folders, items, subjects, senders, attachments' names, sizes and checksums, body lengths.
  const pst::testing::CommandResult linuxDump = pst::testing::PypffDump(linux);
  ASSERT_EQ(linuxDump.exit_code, 0) << linuxDump.output;
  EXPECT_EQ(pst::testing::PypffDump(windows).output, linuxDump.output);
  const std::map<std::string, std::string> linuxFiles = ReadPstFiles(linux);
  EXPECT_FALSE(linuxFiles.empty());
  EXPECT_TRUE(ReadPstFiles(windows) == linuxFiles) << "readpst lists the two stores differently";
  EXPECT_EQ(pst::testing::LsPst(windows).output, pst::testing::LsPst(linux).output);
}

}  // namespace
}  // namespace baleport
