// The console on POSIX systems: signals, the terminal's size from its driver.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "cli/console.h"

namespace baleport {
namespace {

volatile std::sig_atomic_t interruptRequested = 0;

// Ctrl-C, or SIGTERM (from a parent that died, see parallel_stores.cpp): a second one of
// the same ends the program at once.
void OnInterrupt(int signal) {
  interruptRequested = 1;
  std::signal(signal, SIG_DFL);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void CatchInterrupt(bool endWaits) {
  interruptRequested = 0;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = endWaits ? 0 : SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

void ReleaseInterrupt() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

bool InterruptRequested() { return interruptRequested != 0; }

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string ProgramPath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

}  // namespace baleport
