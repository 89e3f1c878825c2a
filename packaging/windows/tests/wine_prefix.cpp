#include "packaging/windows/tests/wine_prefix.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "support/testing/read_all.h"

namespace baleport::testing {

namespace {

namespace fs = std::filesystem;
using pst::testing::Quote;

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";
// Generous: a busy machine with two cores shared by many tests starts Wine slowly.
constexpr const char* kLimit = "timeout 600 ";

pid_t Spawn(const std::vector<std::string>& arguments, int output_fd, int extra_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output_fd, STDERR_FILENO);
  }
  if (extra_fd >= 0) posix_spawn_file_actions_adddup2(&actions, extra_fd, 3);
  std::vector<std::string> args = arguments;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

std::string WineMissing() {
  if (!fs::exists(kWine)) return std::string(kWine) + " is absent (Debian's wine64)";
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
  const CommandResult made = pst::testing::Run(Environment() + kLimit + kWine + " wineboot --init; " + Environment() +
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
  return pst::testing::Run(Environment() + kLimit + kWine + " " + args + "; status=$?; " + Environment() + kLimit +
                           kWineServer + " -w; exit $status");
}

pid_t WinePrefix::Start(const std::string& args, const std::string& log) const {
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = Spawn({"/bin/sh", "-c", "exec " + Environment() + kWine + " " + args}, out, -1);
  if (out >= 0) ::close(out);
  return pid;
}

void WinePrefix::EndAll() const { pst::testing::Run(Environment() + kWineServer + " -k"); }

std::string WinePrefix::RegistryText() const {
  return ReadAll(root_ + "/system.reg") + ReadAll(root_ + "/user.reg");
}

VirtualDisplay::VirtualDisplay() {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return;
  pid_ = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, -1, pipe_fds[1]);
  ::close(pipe_fds[1]);
  std::string number;
  pollfd ready{pipe_fds[0], POLLIN, 0};
  char c;
  while (pid_ > 0 && ::poll(&ready, 1, 60000) == 1 && ::read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(pipe_fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

CommandResult VirtualDisplay::Xdotool(const std::string& args) const {
  return pst::testing::Run("DISPLAY=" + Quote(name_) + " " + kLimit + "xdotool " + args);
}

}  // namespace baleport::testing
