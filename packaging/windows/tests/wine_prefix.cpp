#include "packaging/windows/tests/wine_prefix.h"

#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

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

std::string WineMissing() {
  if (!fs::exists(kWine)) return std::string(kWine) + " is absent (Debian's wine64)";
  return "";
}

std::string FirstNumber(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
  }
  return "";
}

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + fs::absolute(unix_path).lexically_normal().string();
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

WinePrefix::WinePrefix(std::string display)
    : root_(pst::testing::TempDir("wine") + "/prefix"), home_(pst::testing::TempDir("home")), display_(std::move(display)) {
  const CommandResult made = testing::Run(Environment() + kLimit + kWine + " wineboot --init; " + Environment() +
                                               kLimit + kWineServer + " -w");
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

VirtualDisplay::VirtualDisplay() {
  // Xvfb picks a free display and writes its number, a line, once it is ready.
  const std::string log = pst::testing::TempDir("xvfb") + "/xvfb.log";
  pid_ = testing::Start({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, log);
  std::string number;
  for (int tries = 0; pid_ > 0 && number.empty() && tries < 600; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    number = FirstNumber(ReadAll(log));
  }
  if (!number.empty()) name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

CommandResult VirtualDisplay::Xdotool(const std::string& args) const {
  return testing::Run("DISPLAY=" + Quote(name_) + " " + kLimit + "xdotool " + args);
}

}  // namespace baleport::testing
