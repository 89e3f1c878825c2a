// Inputs the fuzz target once found crashing or hanging; each must now return.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "msg/testing/read_everything.h"

namespace baleport::msg {
namespace {

TEST(MsgRegressions, EveryKeptInputReturns) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BALEPORT_MSG_TESTS_DIR "/regressions")) {
    if (!entry.is_regular_file() || entry.path().filename() == "README") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    SCOPED_TRACE(entry.path().string());
    (void)testing::ReadEverything(bytes.data(), bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0u) << "no kept inputs in " BALEPORT_MSG_TESTS_DIR "/regressions";
  RecordProperty("inputs", static_cast<int>(count));
}

}  // namespace
}  // namespace baleport::msg
