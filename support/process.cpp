#include "support/process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#endif

namespace baleport {

#ifdef _WIN32

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

void ReuseFreedMemory() {}

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

void ReuseFreedMemory() {
#ifdef __GLIBC__
  // Files held whole are at most 8 MB; the read-ahead holds at most 64 MB of them.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

#endif

}  // namespace baleport
