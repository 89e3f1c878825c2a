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

std::string WindowsBuildMissing() {
  if (fs::exists(BALEPORT_WINDOWS_BINARY)) return "";
  return std::string("skipped: no Windows build at ") + BALEPORT_WINDOWS_BINARY + " (make build-win)";
}

pst::testing::CommandResult RunWindowsBuild(const std::string& arguments) {
  return pst::testing::Run("/usr/lib/wine/wine64 " + Quote(BALEPORT_WINDOWS_BINARY) + " " + arguments);
}

// Paths past 260 characters and names outside the ANSI code page, for the mailbox and the
// store, one folder and each subfolder in processes of their own.
TEST(WindowsBuild, ConvertsBetweenLongUnicodePaths) {
  if (const std::string why = WindowsBuildMissing(); !why.empty()) GTEST_SKIP() << why;
  const std::string deep(120, 'f');
  const fs::path dir = fs::path(pst::testing::TempDir("windows-paths")) / "Zürich 日本" / deep / deep;
  fs::create_directories(dir / "Ströme");
  fs::copy(fs::path(BALEPORT_EXAMPLES_DIR) / "mailbox", dir / "Ströme" / "Pöst ✉", fs::copy_options::recursive);
  const std::string store = (dir / "Brief ✉.pst").string();
  ASSERT_GT(store.size(), 260u);
  const pst::testing::CommandResult one =
      RunWindowsBuild("convert -q " + Quote((dir / "Ströme" / "Pöst ✉").string()) + " -o " + Quote(store));
  ASSERT_EQ(one.exit_code, 0) << one.output;
  EXPECT_TRUE(fs::exists(dir / "Brief ✉.log"));
  EXPECT_EQ(pst::testing::ReaderFailures(store), "");

  const pst::testing::CommandResult each =
      RunWindowsBuild("convert -q --each " + Quote((dir / "Ströme").string()) + " -d " + Quote(dir.string()) + " -j 2");
  ASSERT_EQ(each.exit_code, 0) << each.output;
  EXPECT_EQ(pst::testing::ReaderFailures((dir / "Pöst ✉.pst").string()), "");
}

TEST(WindowsBuild, ConvertsTheSamplesAsThisBuildDoes) {
  const fs::path samples = fs::path(BALEPORT_SAMPLES_DIR) / "msg";
  if (!fs::is_directory(samples)) GTEST_SKIP() << "skipped: " << samples << " is absent (../shared)";
  if (const std::string why = WindowsBuildMissing(); !why.empty()) GTEST_SKIP() << why;
  const std::string dir = pst::testing::TempDir("windows-build");
  const std::string linux = dir + "/linux.pst";
  const std::string windows = dir + "/windows.pst";
  const pst::testing::CommandResult native =
      pst::testing::Run(Quote(BALEPORT_BINARY) + " convert -q " + Quote(samples.string()) + " -o " + Quote(linux));
  const pst::testing::CommandResult wine =
      RunWindowsBuild("convert -q " + Quote(samples.string()) + " -o " + Quote(windows));
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
