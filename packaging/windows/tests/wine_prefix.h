// The Windows build's programs under Wine, from a native test: in a prefix (a Windows system)
// of the test's own, made fresh and removed after it, whose home folder (Wine links the Desktop
// and Documents to it) is the test's too.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "pst/tests/readers.h"
#include "support/testing/command.h"
#include "support/testing/read_all.h"

namespace baleport::testing {

inline const std::string kWine = "/usr/lib/wine/wine64";
inline const std::string kWineServer = "/usr/lib/wine/wineserver";

// Why Wine cannot run here ("" when it can).
inline std::string WineMissing() { return std::filesystem::exists(kWine) ? "" : kWine + " is absent (Debian's wine64)"; }

// "Z:\\..." for a path of this system (Wine's Z: drive is /).
inline std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + std::filesystem::absolute(unix_path).lexically_normal().string();
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

class WinePrefix {
 public:
  // Made with `wineboot --init` (up to a minute on a busy machine); its windows go to the X
  // display `display`, or nowhere when it is "".
  explicit WinePrefix(const std::string& display = "")
      : root_(pst::testing::TempDir("wine") + "/prefix"), home_(pst::testing::TempDir("home")) {
    environment_ = "env " + (display.empty() ? "-u DISPLAY " : "DISPLAY=" + Quote(display) + " ") + "HOME=" +
                   Quote(home_) + " WINEPREFIX=" + Quote(root_) + " WINEDEBUG=-all ";
    const CommandResult made = Run("wineboot --init");
    if (!std::filesystem::exists(root_ + "/system.reg")) error_ = "wineboot made no prefix in " + root_ + ":\n" + made.output;
  }
  ~WinePrefix() {
    EndAll();
    std::error_code ignored;  // the test folder goes at exit in any case
    std::filesystem::remove_all(root_, ignored);
  }
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Why the prefix could not be made ("" once it is).
  const std::string& error() const { return error_; }
  std::string DriveC() const { return root_ + "/drive_c"; }
  // The Windows Desktop.
  const std::string& Home() const { return home_; }
  // The Windows user's profile folder.
  std::string Profile() const {
    const passwd* user = getpwuid(getuid());
    return DriveC() + "/users/" + (user ? user->pw_name : "root");
  }

  // `wine64 ARGS` (quoted for the shell), once every process it started has ended (an
  // installer's children too); ended after ten minutes, as a busy machine starts Wine slowly.
  CommandResult Run(const std::string& args) const {
    return testing::Run(environment_ + "timeout 600 " + kWine + " " + args + "; status=$?; " + environment_ +
                        "timeout 600 " + kWineServer + " -w; exit $status");
  }
  // `wine64 ARGS` in the background, its output into `log`.
  pid_t Start(const std::string& args, const std::string& log) const {
    return testing::Start({"/bin/sh", "-c", "exec " + environment_ + kWine + " " + args}, log);
  }
  // The registry files as Wine last saved them (after Run).
  std::string RegistryText() const { return ReadAll(root_ + "/system.reg") + ReadAll(root_ + "/user.reg"); }
  void EndAll() const { testing::Run(environment_ + kWineServer + " -k"); }

 private:
  std::string root_, home_, environment_, error_;
};

}  // namespace baleport::testing
