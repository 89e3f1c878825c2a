// The child of child_process_test: `lines` writes to both pipes and exits with 3; `work`
// waits until asked to stop, then says so.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "support/child_process.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnStop(int = 0) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
  if (mode == "lines") {
    std::printf("first\nsecond with \"quotes\"\n");
    std::fflush(stdout);
    std::fprintf(stderr, "a problem\n");
    std::printf("unended");
    return 3;
  }
  if (mode != "work") return 2;
#ifdef _WIN32
  baleport::WatchForStopRequest([] { OnStop(); });
#else
  std::signal(SIGTERM, OnStop);
#endif
  std::printf("ready\n");
  std::fflush(stdout);
  // Bounded, so that a test whose stop went astray still ends.
  for (int i = 0; !stopRequested && i < 3000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::printf("stopped\n");
  return stopRequested ? 0 : 1;
}
