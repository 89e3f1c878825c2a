// Another program run by the shell, for tests that judge with programs nobody here wrote
// (POSIX only).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

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

}  // namespace baleport::testing
