// The read-ahead queue: order, the bounds by count and by bytes, and its end.
#include "conversion/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "conversion/testing/fake_store.h"
#include "files/tests/test_tree.h"

namespace baleport {
namespace {

// Checks, at each reading, that the readings not yet taken stay within the bounds.
class CountingLibrary final : public FakeStoreLibrary {
 public:
  std::unique_ptr<SourceRead> ReadSource(const std::string& path, Result<std::unique_ptr<File>>) override {
    const std::lock_guard lock(mutex);
    const size_t readsAhead = ++reads - taken;
    uint64_t bytesAhead = 0;
    for (size_t i = taken; i < reads; ++i) bytesAhead += sizes[i];
    if (readsAhead > limits.messages || (readsAhead > 1 && bytesAhead > limits.bytes)) overrun = path;
    read.notify_all();
    return std::make_unique<SourceRead>();
  }
  // Waits until the reader has read as far ahead of `taken` as the bounds allow; false if
  // it stops short (the wait is only a guard against a reader that never gets there).
  bool WaitForTheQueueFull() {
    std::unique_lock lock(mutex);
    size_t ahead = 0;
    for (uint64_t bytes = 0; taken + ahead < sizes.size() && ahead < limits.messages; ++ahead) {
      bytes += sizes[taken + ahead];
      if (ahead > 0 && bytes > limits.bytes) break;
    }
    return read.wait_for(lock, std::chrono::seconds(30), [&] { return reads >= taken + ahead; });
  }
  // Before each Take: the reader may then hold `limits` beyond it.
  void Taking() {
    const std::lock_guard lock(mutex);
    ++taken;
  }

  ReadAheadLimits limits;
  std::vector<uint64_t> sizes;
  std::mutex mutex;
  std::condition_variable read;
  size_t reads = 0;
  size_t taken = 0;
  std::string overrun;  // the first reading past a bound
};

// The reader is let fill the queue before each Take, so that a bound it overran would show;
// then the queue is ended while the reader waits for room.
TEST(ReadAheadTest, InOrderWithinBothBoundsALargeOneAloneAndEndingDropsTheRest) {
  testing::TestTree tree;
  CountingLibrary library;
  library.limits = {3, 1000};
  library.sizes = {100, 100, 100, 100, 400, 400, 5000, 400, 100, 10, 10, 10, 10, 10};
  std::vector<std::string> paths;
  for (const uint64_t size : library.sizes) {
    paths.push_back(tree.Path(std::to_string(paths.size()) + ".msg"));
    std::ofstream(paths.back(), std::ios::binary) << std::string(size, 'x');
  }
  {
    ReadAhead ahead(library, {paths.begin(), paths.end()}, library.limits);
    for (size_t i = 0; i < 10; ++i) {
      ASSERT_TRUE(library.WaitForTheQueueFull());
      library.Taking();
      const MessageRead& read = ahead.Take();
      EXPECT_EQ(read.path, paths[i]);
      ASSERT_TRUE(read.identity.ok()) << read.identity.status().message();
      EXPECT_NE(read.source, nullptr);
    }
    ASSERT_TRUE(library.WaitForTheQueueFull());
  }
  EXPECT_EQ(library.reads, 13u);  // ten taken, three waiting
  EXPECT_EQ(library.overrun, "");
}

}  // namespace
}  // namespace baleport
