// The Windows installer, as a user meets it: installed silently under Wine into a fresh
// Windows system, per machine and per user, the installed baleport.exe converting the
// example mailbox it brings, then removed the way the Apps settings remove it (the
// registered quiet uninstall command). Nothing may be left behind but what the user made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "packaging/windows/tests/wine_prefix.h"
#include "pst/tests/store_testing.h"

namespace baleport::testing {
namespace {

namespace fs = std::filesystem;
using pst::testing::Quote;

const std::string kSetup = BALEPORT_WINDOWS_BUILD "/tamsel-baleport-" BALEPORT_VERSION "-setup.exe";
const std::string kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TamselBaleport";
const std::string kShortcut = "Microsoft/Windows/Start Menu/Programs/Tamsel Baleport.lnk";

// The value of `name` under the uninstall key in `hive`, "" when there is none.
std::string UninstallValue(const WinePrefix& wine, const std::string& hive, const std::string& name) {
  const CommandResult query = wine.Run("reg query " + Quote(hive + "\\" + kKey) + " /v " + name);
  const std::string marker = "REG_SZ    ";
  const size_t at = query.output.find(marker);
  if (query.exit_code != 0 || at == std::string::npos) return "";
  const size_t end = query.output.find_first_of("\r\n", at);
  return query.output.substr(at + marker.size(), end - at - marker.size());
}

// Runs the registered quiet uninstall command ("C:\...\Uninstall.exe" /Mode /S).
void UninstallAsRegistered(const WinePrefix& wine, const std::string& hive) {
  const std::string command = UninstallValue(wine, hive, "QuietUninstallString");
  ASSERT_TRUE(command.starts_with('"')) << "no quiet uninstall command under " << hive;
  const size_t close = command.find('"', 1);
  ASSERT_NE(close, std::string::npos) << command;
  const CommandResult removed = wine.Run(Quote(command.substr(1, close - 1)) + command.substr(close + 1));
  EXPECT_EQ(removed.exit_code, 0) << command << "\n" << removed.output;
}

class InstallerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!WineMissing().empty() || !fs::exists(kSetup)) return;
    wine_ = std::make_unique<WinePrefix>();
  }
  static void TearDownTestSuite() { wine_.reset(); }

  void SetUp() override {
    if (std::string why = WineMissing(); !why.empty()) GTEST_SKIP() << why;
    if (!fs::exists(kSetup)) GTEST_SKIP() << kSetup << " is absent: `make dist-win` makes it";
    ASSERT_EQ(wine_->error(), "");
  }

  static std::unique_ptr<WinePrefix> wine_;
};

std::unique_ptr<WinePrefix> InstallerTest::wine_;

TEST_F(InstallerTest, PerMachineInstallConvertsTheExampleAndUninstallsWithoutATrace) {
  const CommandResult installed = wine_->Run(Quote(WindowsPath(kSetup)) + " /S");
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const fs::path folder = wine_->DriveC() + "/Program Files/Tamsel Baleport";
  for (const char* file : {"baleport.exe", "baleport-gui.exe", "help.html", "ReadMe.txt", "Uninstall.exe"}) {
    EXPECT_TRUE(fs::exists(folder / file)) << file;
  }
  EXPECT_TRUE(fs::exists(wine_->DriveC() + "/ProgramData/" + kShortcut));
  EXPECT_EQ(UninstallValue(*wine_, "HKLM", "DisplayVersion"), BALEPORT_VERSION);
  EXPECT_EQ(UninstallValue(*wine_, "HKLM", "InstallLocation"), "C:\\Program Files\\Tamsel Baleport");

  // The installed program on the installed example (that it converts as this build does is
  // cli_windows_tests').
  const std::string out = pst::testing::TempDir("installed");
  const CommandResult converted =
      wine_->Run("'C:\\Program Files\\Tamsel Baleport\\baleport.exe' convert --quiet "
                 "'C:\\Program Files\\Tamsel Baleport\\examples\\mailbox' -o " +
                 Quote(WindowsPath(out + "/example.pst")));
  ASSERT_EQ(converted.exit_code, 0) << converted.output;
  EXPECT_EQ(pst::testing::VerifiedMessageCount(out + "/example.pst"), 8u);

  UninstallAsRegistered(*wine_, "HKLM");
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(wine_->DriveC() + "/ProgramData/" + kShortcut));
  EXPECT_EQ(wine_->RegistryText().find("TamselBaleport"), std::string::npos);
  EXPECT_TRUE(fs::exists(out + "/example.pst")) << "the user's store went with the program";
}

TEST_F(InstallerTest, PerUserInstallNeedsNoAdministratorAndItsUninstallKeepsTheUsersFiles) {
  const CommandResult installed = wine_->Run(Quote(WindowsPath(kSetup)) + " /S /CurrentUser");
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const fs::path folder = wine_->Profile() + "/AppData/Local/Programs/Tamsel Baleport";
  const fs::path shortcut = wine_->Profile() + "/AppData/Roaming/" + kShortcut;
  EXPECT_TRUE(fs::exists(folder / "baleport-gui.exe"));
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_NE(UninstallValue(*wine_, "HKCU", "UninstallString"), "");
  EXPECT_EQ(UninstallValue(*wine_, "HKLM", "UninstallString"), "") << "a per-user install wrote for the machine";

  // A store the user saved into the program's folder, and a message beside the example's.
  { std::ofstream(folder / "Alice.pst") << "the user's"; }
  { std::ofstream(folder / "examples/mailbox/Inbox/mine.msg") << "the user's"; }
  UninstallAsRegistered(*wine_, "HKCU");
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    left.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Alice.pst", "examples", "examples/mailbox", "examples/mailbox/Inbox",
                                            "examples/mailbox/Inbox/mine.msg"}));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_EQ(wine_->RegistryText().find("TamselBaleport"), std::string::npos);
}

}  // namespace
}  // namespace baleport::testing
