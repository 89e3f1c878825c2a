#include "packaging/windows/tests/wine_prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "pst/tests/readers.h"
#include "support/testing/read_all.h"

namespace baleport::testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";
// Generous: a busy machine with two cores shared by many tests starts Wine slowly.
constexpr const char* kLimit = "timeout 600 ";

}  // namespace

std::string WineMissing() { return fs::exists(kWine) ? "" : std::string(kWine) + " is absent (Debian's wine64)"; }

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + fs::absolute(unix_path).lexically_normal().string();
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

WinePrefix::WinePrefix(std::string display)
    : root_(pst::testing::TempDir("wine") + "/prefix"), home_(pst::testing::TempDir("home")), display_(std::move(display)) {
  const CommandResult made = Run("wineboot --init");
  if (!fs::exists(root_ + "/system.reg")) error_ = "wineboot --init made no prefix in " + root_ + ":\n" + made.output;
}

WinePrefix::~WinePrefix() {
  EndAll();
  std::error_code ignored;  // the test folder goes at exit in any case
  fs::remove_all(root_, ignored);
}

std::string WinePrefix::Environment() const {
  return std::string("env ") + (display_.empty() ? "-u DISPLAY " : "DISPLAY=" + Quote(display_) + " ") +
         "HOME=" + Quote(home_) + " WINEPREFIX=" + Quote(root_) + " WINEDEBUG=-all ";
}

std::string WinePrefix::Profile() const {
  const passwd* user = getpwuid(getuid());
  return DriveC() + "/users/" + (user ? user->pw_name : "root");
}

CommandResult WinePrefix::Run(const std::string& args) const {
  return testing::Run(Environment() + kLimit + kWine + " " + args + "; status=$?; " + Environment() + kLimit +
                           kWineServer + " -w; exit $status");
}

pid_t WinePrefix::Start(const std::string& args, const std::string& log) const {
  return testing::Start({"/bin/sh", "-c", "exec " + Environment() + kWine + " " + args}, log);
}

void WinePrefix::EndAll() const { testing::Run(Environment() + kWineServer + " -k"); }

std::string WinePrefix::RegistryText() const {
  return ReadAll(root_ + "/system.reg") + ReadAll(root_ + "/user.reg");
}

}  // namespace baleport::testing
