// baleport (this build) and baleport.exe (the Windows build, under Wine) convert the same real
// messages, read in place; every reader must list the two stores alike. baleport.exe also
// converts Windows' own kinds of path: long, Unicode, a network share.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pst/tests/store_testing.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;
using baleport::testing::CommandResult;
using baleport::testing::Quote;
using baleport::testing::Run;

// Why the Windows build cannot be run here ("" when it can).
std::string WindowsBuildMissing() {
  return fs::exists(BALEPORT_WINDOWS_BINARY) ? "" : std::string("no Windows build at ") + BALEPORT_WINDOWS_BINARY;
}

CommandResult RunWindowsBuild(const std::string& arguments) {
  return Run("/usr/lib/wine/wine64 " + Quote(BALEPORT_WINDOWS_BINARY) + " " + arguments);
}

// Every line readpst writes of `store` (each message whole) after its file's name, sorted;
// without the time of the run, which the store's name and so the files' names hold, and
// readpst's own clock (the calendar's stamps, the MIME boundaries it seeds).
std::string ReadPstLines(const std::string& store) {
  const std::string into = pst::testing::TempDir("readpst");
  EXPECT_EQ(pst::testing::ReadPst(store, into).exit_code, 0);
  return Run("cd " + Quote(into) + " && grep -ra '' . | sed -E 's/Created - [0-9.]+ [0-9.]+/Created/; "
             "s/DTSTAMP:[0-9T]+Z|iamunique-[0-9]+//g' | LC_ALL=C sort").output;
}

// Paths past 260 characters with names outside the ANSI code page, on a network share (Wine's
// "unc" devices), for the mailbox and the store: one folder, and each subfolder in processes of
// their own. (Long paths on a drive: the file services' tests, which run under Wine too.)
TEST(WindowsBuild, ConvertsBetweenLongUnicodePathsOnANetworkShare) {
  if (const std::string why = WindowsBuildMissing(); !why.empty()) GTEST_SKIP() << why;
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || !fs::is_directory(fs::path(prefix) / "dosdevices")) GTEST_SKIP() << "no Wine prefix to map a share in";
  const std::string deep(120, 'f');
  const fs::path root = pst::testing::TempDir("windows-share");
  const fs::path dir = root / "Zürich 日本" / deep / deep;
  fs::create_directories(dir / "Ströme");
  fs::copy(fs::path(BALEPORT_EXAMPLES_DIR) / "mailbox", dir / "Ströme" / "Pöst ✉", fs::copy_options::recursive);
  const uint64_t messages = std::count_if(fs::recursive_directory_iterator(dir), {}, [](const fs::directory_entry& e) {
    return e.path().extension() == ".msg";
  });
  // The share is a link in the prefix's devices folder, there only while the programs run.
  const std::string share = "baleport-" + std::to_string(::getpid());
  const fs::path link = fs::path(prefix) / "dosdevices" / "unc" / "localhost" / share;
  fs::create_directories(link.parent_path());
  fs::create_directory_symlink(root, link);
  const std::string unc = "\\\\localhost\\" + share + "\\Zürich 日本\\" + deep + "\\" + deep;
  const CommandResult one =
      RunWindowsBuild("convert -q " + Quote(unc + "\\Ströme\\Pöst ✉") + " -o " + Quote(unc + "\\Brief ✉.pst"));
  const CommandResult each = RunWindowsBuild("convert -q --each " + Quote(unc + "\\Ströme") + " -d " + Quote(unc) + " -j 2");
  fs::remove(link);

  ASSERT_EQ(one.exit_code, 0) << one.output;
  EXPECT_TRUE(fs::exists(dir / "Brief ✉.log"));
  EXPECT_EQ(pst::testing::VerifiedMessageCount((dir / "Brief ✉.pst").string()), messages);
  ASSERT_EQ(each.exit_code, 0) << each.output;
  EXPECT_EQ(pst::testing::VerifiedMessageCount((dir / "Pöst ✉.pst").string()), messages);
}

TEST(WindowsBuild, ConvertsTheSamplesAsThisBuildDoes) {
  const std::string samples = BALEPORT_SAMPLES_DIR "/msg";
  if (!fs::is_directory(samples)) GTEST_SKIP() << "skipped: " << samples << " is absent (../shared)";
  if (const std::string why = WindowsBuildMissing(); !why.empty()) GTEST_SKIP() << why;
  const std::string dir = pst::testing::TempDir("windows-build");
  const std::string linux = dir + "/linux.pst", windows = dir + "/windows.pst";
  const CommandResult native = testing::Run(Quote(BALEPORT_BINARY) + " convert -q " + Quote(samples) + " -o " + Quote(linux));
  ASSERT_EQ(native.exit_code, 0) << native.output;
  const CommandResult wine = RunWindowsBuild("convert -q " + Quote(samples) + " -o " + Quote(windows));
  ASSERT_EQ(wine.exit_code, 0) << wine.output;

  // Folders, items, subjects, senders, attachments' names, sizes and checksums, body lengths;
  // then every message whole.
  EXPECT_EQ(pst::testing::VerifiedDump(windows), pst::testing::PypffDump(linux).output);
  const std::string lines = ReadPstLines(linux);
  EXPECT_NE(lines, "");
  EXPECT_TRUE(ReadPstLines(windows) == lines) << "readpst lists the two stores differently";
}

}  // namespace
}  // namespace baleport
