// baleport-msg-read DIR: reads every .msg under DIR through the reader, pulling every value
// as an import would, and reports the rate and the peak memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "msg/message.h"
#include "msg/testing/read_everything.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: baleport-msg-read DIR\n");
    return 2;
  }
  namespace fs = std::filesystem;
  uint64_t file_bytes = 0, value_bytes = 0;
  int files = 0, bad = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file() || entry.path().extension() != ".msg") continue;
    ++files;
    file_bytes += entry.file_size();
    auto file = baleport::msg::MsgFile::Open(*baleport::Env::Default(), entry.path().string());
    auto read = file.ok() ? baleport::msg::testing::ReadEverything(**file) : baleport::Result<uint64_t>(file.status());
    if (!read.ok()) {
      ++bad;
      std::printf("BAD : %s\n", read.status().message().c_str());
      continue;
    }
    value_bytes += *read;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%d files (%d bad), %.1f MB of files, %.1f MB of values in %.2f s: %.0f MB/s; peak RSS %ld MB\n", files,
              bad, file_bytes / 1e6, value_bytes / 1e6, seconds, file_bytes / 1e6 / seconds, usage.ru_maxrss / 1024);
  return bad == 0 ? 0 : 1;
}
