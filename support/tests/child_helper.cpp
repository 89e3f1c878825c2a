// The child of child_process_test: `lines` writes to both pipes and exits with 3; `work`
// writes a line per piece of work until asked to stop, then says how many it did.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "support/child_process.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnStop(int = 0) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "lines") == 0) {
    std::printf("first\nsecond with \"quotes\"\n");
    std::fflush(stdout);
    std::fprintf(stderr, "a problem\n");
    std::printf("unended");
    return 3;
  }
  if (argc == 2 && std::strcmp(argv[1], "work") == 0) {
#ifdef _WIN32
    baleport::WatchForStopRequest([] { OnStop(); });
#else
    std::signal(SIGTERM, OnStop);
#endif
    int done = 0;
    std::printf("ready\n");
    std::fflush(stdout);
    // Bounded, so that a test whose stop went astray still ends.
    for (; !stopRequested && done < 3000; ++done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("stopped after %d\n", done);
    return stopRequested ? 0 : 1;
  }
  std::fprintf(stderr, "usage: child_helper lines|work\n");
  return 2;
}
