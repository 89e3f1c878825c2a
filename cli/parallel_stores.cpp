#include "cli/parallel_stores.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "cli/terminal_page.h"

extern char** environ;

namespace baleport {
namespace {

constexpr int kSomeFailed = 1;
// What a child that could not become the conversion process exits with (as a shell does).
constexpr int kCannotRun = 127;

// Starts `argv` as a child that receives SIGTERM when this process dies, so that killing
// only this one does not leave conversions running unseen; SIGTERM ends a conversion
// after its current message, committed, as Ctrl-C does. Returns the child's id, or -1
// with errno.
pid_t StartChild(const std::string& program, std::vector<char*>& argv) {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here to exec.
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) ::_exit(kCannotRun);
  // The parent may have died before the call: then nothing would signal us.
  if (::getppid() != parent) ::_exit(kCannotRun);
  ::execve(program.c_str(), argv.data(), environ);
  ::_exit(kCannotRun);
}

}  // namespace

int ConvertInParallel(const std::string& program, const std::vector<StoreJob>& storeJobs,
                      const std::vector<std::string>& flags, int jobs, std::ostream& errors) {
  int status = 0;
  std::map<pid_t, const StoreJob*> running;
  // A stop asked of this process (SIGTERM; Ctrl-C reaches the children by itself) is
  // passed on, so that every conversion ends after its current message.
  bool passedOn = false;
  auto passOnStop = [&] {
    if (passedOn || !InterruptRequested()) return;
    passedOn = true;
    for (const auto& [pid, job] : running) ::kill(pid, SIGTERM);
  };
  auto waitForOne = [&] {
    passOnStop();
    int child = 0;
    const pid_t pid = ::waitpid(-1, &child, 0);
    if (pid < 0 && errno == EINTR) return passOnStop();
    if (pid < 0) {
      errors << "baleport convert: waiting for a conversion process failed: " << std::strerror(errno) << "\n";
      running.clear();
      status = std::max(status, kSomeFailed);
      return;
    }
    auto job = running.find(pid);
    if (job == running.end()) return;
    const int code = WIFEXITED(child) ? WEXITSTATUS(child) : kSomeFailed;
    if (!WIFEXITED(child)) errors << "baleport convert: the conversion of " << job->second->source << " was ended\n";
    status = std::max(status, code);
    running.erase(job);
  };

  CatchInterrupt(/*endWaits=*/true);
  for (const StoreJob& job : storeJobs) {
    while (static_cast<int>(running.size()) >= jobs) waitForOne();
    if (InterruptRequested()) {
      status = std::max(status, kSomeFailed);
      break;
    }
    std::vector<std::string> arguments = {program, "convert", job.source, "-o", job.store};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    if (!job.reportPart.empty()) arguments.insert(arguments.end(), {"--report-part", job.reportPart});
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = StartChild(program, argv);
    if (pid < 0) {
      errors << "baleport convert: cannot start the conversion of " << job.source << ": " << std::strerror(errno)
             << "\n";
      status = std::max(status, kSomeFailed);
      continue;
    }
    running[pid] = &job;
  }
  while (!running.empty()) waitForOne();
  return status;
}

}  // namespace baleport
