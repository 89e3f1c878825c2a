// The child of child_process_test: says it is ready on both pipes, waits until asked to stop,
// then says so without ending the line.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "support/child_process.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnStop(int = 0) { stopRequested = 1; }

}  // namespace

int main() {
#ifdef _WIN32
  baleport::WatchForStopRequest([] { OnStop(); });
#else
  std::signal(SIGTERM, OnStop);
#endif
  std::fprintf(stderr, "waiting\n");
  std::printf("ready with \"quotes\"\n");
  std::fflush(stdout);
  // Bounded, so that a test whose stop went astray still ends.
  for (int i = 0; !stopRequested && i < 3000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::printf("stopped");
  return stopRequested ? 0 : 1;
}
