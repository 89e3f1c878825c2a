// The Windows installer under Wine in a fresh Windows system, per machine and per user: the
// installed baleport.exe converts the example mailbox it brings, and the registered quiet
// uninstall command (what the Apps settings run) leaves nothing behind but what the user made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "packaging/windows/tests/wine_prefix.h"
#include "pst/tests/store_testing.h"

namespace baleport::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSetup = BALEPORT_WINDOWS_BUILD "/tamsel-baleport-" BALEPORT_VERSION "-setup.exe";
const std::string kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TamselBaleport";
const std::string kShortcut = "Microsoft/Windows/Start Menu/Programs/Tamsel Baleport.lnk";

class InstallerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (WineMissing().empty() && fs::exists(kSetup)) wine_ = std::make_unique<WinePrefix>();
  }
  static void TearDownTestSuite() { wine_.reset(); }

  void SetUp() override {
    if (std::string why = WineMissing(); !why.empty()) GTEST_SKIP() << why;
    if (!fs::exists(kSetup)) GTEST_SKIP() << kSetup << " is absent: `make dist-win` makes it";
    ASSERT_EQ(wine_->error(), "");
  }

  // Runs the quiet uninstall command ("C:\...\Uninstall.exe" /Mode /S) registered in `hive`.
  static void UninstallAsRegistered(const std::string& hive) {
    const CommandResult query = wine_->Run("reg query " + Quote(hive + "\\" + kKey) + " /v QuietUninstallString");
    std::smatch command;
    ASSERT_TRUE(std::regex_search(query.output, command, std::regex("REG_SZ +\"([^\"]+)\"([^\r\n]*)"))) << query.output;
    const CommandResult removed = wine_->Run(Quote(command[1]) + command[2].str());
    EXPECT_EQ(removed.exit_code, 0) << command[0] << "\n" << removed.output;
  }

  static inline std::unique_ptr<WinePrefix> wine_;
};

TEST_F(InstallerTest, PerMachineInstallConvertsTheExampleAndUninstallsWithoutATrace) {
  const CommandResult installed = wine_->Run(Quote(WindowsPath(kSetup)) + " /S");
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const fs::path folder = wine_->DriveC() + "/Program Files/Tamsel Baleport";
  for (const char* file : {"baleport-gui.exe", "help.html", "ReadMe.txt"}) EXPECT_TRUE(fs::exists(folder / file)) << file;
  EXPECT_TRUE(fs::exists(wine_->DriveC() + "/ProgramData/" + kShortcut));

  // The installed program on the installed example (that it converts as this build does is
  // cli_windows_tests').
  const std::string store = pst::testing::TempDir("installed") + "/example.pst";
  const CommandResult converted =
      wine_->Run("'C:\\Program Files\\Tamsel Baleport\\baleport.exe' convert --quiet "
                 "'C:\\Program Files\\Tamsel Baleport\\examples\\mailbox' -o " + Quote(WindowsPath(store)));
  ASSERT_EQ(converted.exit_code, 0) << converted.output;
  EXPECT_EQ(pst::testing::VerifiedMessageCount(store), 8u);

  UninstallAsRegistered("HKLM");
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(wine_->DriveC() + "/ProgramData/" + kShortcut));
  EXPECT_EQ(wine_->RegistryText().find("TamselBaleport"), std::string::npos);
}

TEST_F(InstallerTest, PerUserInstallNeedsNoAdministratorAndItsUninstallKeepsTheUsersFiles) {
  const CommandResult installed = wine_->Run(Quote(WindowsPath(kSetup)) + " /S /CurrentUser");
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const fs::path folder = wine_->Profile() + "/AppData/Local/Programs/Tamsel Baleport";
  const fs::path shortcut = wine_->Profile() + "/AppData/Roaming/" + kShortcut;
  EXPECT_TRUE(fs::exists(folder / "baleport-gui.exe"));
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_NE(wine_->Run("reg query " + Quote("HKLM\\" + kKey)).exit_code, 0) << "a per-user install wrote for the machine";

  // A store the user saved into the program's folder, and a message beside the example's.
  { std::ofstream(folder / "Alice.pst") << "the user's"; }
  { std::ofstream(folder / "examples/mailbox/Inbox/mine.msg") << "the user's"; }
  UninstallAsRegistered("HKCU");
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) left.push_back(fs::relative(entry.path(), folder).generic_string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Alice.pst", "examples", "examples/mailbox", "examples/mailbox/Inbox",
                                            "examples/mailbox/Inbox/mine.msg"}));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_EQ(wine_->RegistryText().find("TamselBaleport"), std::string::npos);
}

}  // namespace
}  // namespace baleport::testing
