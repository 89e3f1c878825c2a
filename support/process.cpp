#include "support/process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace baleport {

#ifdef _WIN32

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessMayBeRunning(uint32_t pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

#else

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ProcessMayBeRunning(uint32_t pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

#endif

}  // namespace baleport
