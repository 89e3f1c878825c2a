// Another program run by the shell, for tests that judge with programs nobody here wrote, or
// started in the background (POSIX only).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace baleport::testing {

struct CommandResult {
  int exit_code = -1;  // -1 when the command could not run or was killed by a signal
  std::string output;  // stdout and stderr
};

inline CommandResult Run(const std::string& command) {
  CommandResult r;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// `s` as one word of a shell command.
inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// `argv` started in the background (found on PATH), its output into `log`; in a process group
// of its own with `ownGroup`, so that it and what it starts can be ended together. Its process
// id, or -1 when it cannot start.
inline pid_t Start(std::vector<std::string> argv, const std::string& log, bool ownGroup = false) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownGroup) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP), posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, pointers[0], &actions, &attributes, pointers.data(), environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace baleport::testing
