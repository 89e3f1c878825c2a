// Child processes on POSIX systems: fork and execve, pipes, SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstring>

#include "support/child_process.h"

extern char** environ;

namespace baleport {
namespace {

// What a child that could not become the program exits with (as a shell does).
constexpr int kCannotRun = 127;

}  // namespace

Result<ChildProcesses::Handles> ChildProcesses::Spawn(const std::string& program,
                                                      const std::vector<std::string>& arguments) {
  std::vector<std::string> argvText = {program};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  // Close-on-exec, so that a child started later does not hold an earlier one's pipes open;
  // `failed` ends empty at a successful exec, or carries the errno of a failed one.
  int output[2] = {-1, -1}, errors[2] = {-1, -1}, failed[2] = {-1, -1};
  auto closeAll = [&] {
    for (const int fd : {output[0], output[1], errors[0], errors[1], failed[0], failed[1]}) {
      if (fd >= 0) ::close(fd);
    }
  };
  if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0 || ::pipe2(failed, O_CLOEXEC) != 0) {
    const int err = errno;
    closeAll();
    return Status::Error("starting " + program + ": " + std::strerror(err));
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
#ifdef __linux__
    // Killing only the parent must not leave the children working unseen; SIGTERM lets
    // them end as asked (RequestStop) rather than at once.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) ::_exit(kCannotRun);
    // The parent may have died before the call: then nothing would signal us.
    if (::getppid() != parent) ::_exit(kCannotRun);
#endif
    if (::dup2(output[1], STDOUT_FILENO) < 0 || ::dup2(errors[1], STDERR_FILENO) < 0) ::_exit(kCannotRun);
    ::execve(program.c_str(), argv.data(), environ);
    const int err = errno;
    [[maybe_unused]] const ssize_t told = ::write(failed[1], &err, sizeof err);
    ::_exit(kCannotRun);
  }
  int err = errno;
  for (int* childEnd : {&output[1], &errors[1], &failed[1]}) {
    ::close(*childEnd);
    *childEnd = -1;
  }
  if (pid > 0) {
    ssize_t got;
    while ((got = ::read(failed[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    if (got == 0) {
      ::close(failed[0]);
      Handles handles;
      handles.process = pid;
      handles.output = output[0];
      handles.errors = errors[0];
      return handles;
    }
    ::waitpid(pid, nullptr, 0);
  }
  closeAll();
  return Status::Error("starting " + program + ": " + std::strerror(err));
}

size_t ChildProcesses::ReadPipe(intptr_t pipe, char* buffer, size_t n) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(pipe), buffer, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) return 0;
  }
}

void ChildProcesses::ClosePipe(intptr_t pipe) { ::close(static_cast<int>(pipe)); }

void ChildProcesses::AwaitEnd(intptr_t process) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(process), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
}

int ChildProcesses::Release(Handles& handles) {
  int status = 0;
  pid_t reaped;
  while ((reaped = ::waitpid(static_cast<pid_t>(handles.process), &status, 0)) < 0 && errno == EINTR) {
  }
  if (reaped < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void ChildProcesses::SendStop(Handles& handles) { ::kill(static_cast<pid_t>(handles.process), SIGTERM); }

}  // namespace baleport
