// baleport (this build) and baleport.exe (the Windows build, under Wine) convert the same real
// messages, read in place; every reader must list the two stores alike. baleport.exe also
// converts Windows' own kinds of path: long, Unicode, a network share.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;
using pst::testing::Quote;
using pst::testing::VerifiedMessageCount;

// What readpst wrote (every message with its headers, recipients, bodies and attachments), by
// file name without the time of the run, which the store's name and so the files' hold.
std::map<std::string, std::string> ReadPstFiles(const std::string& store) {
  const std::string into = pst::testing::TempDir("readpst");
  const pst::testing::CommandResult run = pst::testing::ReadPst(store, into);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::regex stamp(R"(Created - [0-9.]+ [0-9.]+)");
  // readpst's own clock, not the store's: the calendar's stamps and the MIME boundaries it seeds.
  const std::regex now(R"(DTSTAMP:[0-9T]+Z|iamunique-[0-9]+)");
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(into)) {
    if (!e.is_regular_file()) continue;
    files[std::regex_replace(fs::relative(e.path(), into).string(), stamp, "Created")] = std::regex_replace(pst::testing::ReadAll(e.path()), now, "");
  }
  return files;
}

// The Wine prefix's devices folder, or "" when there is none to map drives in.
fs::path WineDevices() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || !fs::is_directory(fs::path(prefix) / "dosdevices")) return {};
  return fs::path(prefix) / "dosdevices";
}

// Why the Windows build cannot be run here, with drives and shares mapped when `devices`; "" when it can.
std::string WindowsBuildMissing(bool devices = false) {
  if (!fs::exists(BALEPORT_WINDOWS_BINARY)) return std::string("no Windows build at ") + BALEPORT_WINDOWS_BINARY;
  return devices && WineDevices().empty() ? "no Wine prefix (WINEPREFIX) to map devices in" : "";
}

pst::testing::CommandResult RunWindowsBuild(const std::string& arguments) {
  return pst::testing::Run("/usr/lib/wine/wine64 " + Quote(BALEPORT_WINDOWS_BINARY) + " " + arguments);
}

// A folder as Windows programs under Wine reach it: a network share ("unc/localhost/<share>"),
// linked in the prefix's devices folder and unlinked with this.
class WineMapping {
 public:
  WineMapping(const fs::path& device, const fs::path& folder) : link_(device) {
    fs::create_directories(link_.parent_path());
    fs::create_directory_symlink(folder, link_);
  }
  ~WineMapping() { fs::remove(link_); }
  WineMapping(const WineMapping&) = delete;
  WineMapping& operator=(const WineMapping&) = delete;

 private:
  fs::path link_;
};

int MessageFiles(const fs::path& folder) {
  int files = 0;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) files += e.path().extension() == ".msg";
  return files;
}

// Paths past 260 characters with names outside the ANSI code page, on a network share (Wine's
// "unc" devices), for the mailbox and the store: one folder, and each subfolder in processes of
// their own. (Long paths on a drive: the file services' tests, which run under Wine too.)
TEST(WindowsBuild, ConvertsBetweenLongUnicodePathsOnANetworkShare) {
  if (const std::string why = WindowsBuildMissing(true); !why.empty()) GTEST_SKIP() << why;
  const std::string deep(120, 'f');
  const fs::path root = pst::testing::TempDir("windows-share");
  const fs::path dir = root / "Zürich 日本" / deep / deep;
  fs::create_directories(dir / "Ströme");
  fs::copy(fs::path(BALEPORT_EXAMPLES_DIR) / "mailbox", dir / "Ströme" / "Pöst ✉", fs::copy_options::recursive);
  const uint64_t messages = MessageFiles(dir / "Ströme");
  const std::string share = "baleport-" + std::to_string(::getpid());
  const WineMapping mapped(WineDevices() / "unc" / "localhost" / share, root);
  const std::string unc = "\\\\localhost\\" + share + "\\Zürich 日本\\" + deep + "\\" + deep;
  ASSERT_GT(unc.size(), 260u);
  const pst::testing::CommandResult one =
      RunWindowsBuild("convert -q " + Quote(unc + "\\Ströme\\Pöst ✉") + " -o " + Quote(unc + "\\Brief ✉.pst"));
  ASSERT_EQ(one.exit_code, 0) << one.output;
  EXPECT_TRUE(fs::exists(dir / "Brief ✉.log"));
  EXPECT_EQ(VerifiedMessageCount((dir / "Brief ✉.pst").string()), messages);

  const pst::testing::CommandResult each =
      RunWindowsBuild("convert -q --each " + Quote(unc + "\\Ströme") + " -d " + Quote(unc) + " -j 2");
  ASSERT_EQ(each.exit_code, 0) << each.output;
  EXPECT_EQ(VerifiedMessageCount((dir / "Pöst ✉.pst").string()), messages);
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
