// Every real sample reads, and reads as olefile (an independent compound-file reader) sees it.
#include <gtest/gtest.h>

#include <filesystem>

#include "msg/message.h"
#include "msg/testing/read_everything.h"
#include "msg/tests/summary.h"

namespace baleport::msg {
namespace {

namespace fs = std::filesystem;

class MsgSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(BALEPORT_SAMPLES_DIR) / "msg", ec)) {
      if (entry.path().extension() == ".msg") samples_.push_back(entry.path().string());
    }
    if (samples_.empty()) GTEST_SKIP() << "no samples in " BALEPORT_SAMPLES_DIR "/msg";
  }
  std::vector<std::string> samples_;
};

TEST_F(MsgSamples, EachReadsLikeOlefileAndStreamsWhole) {
  for (const std::string& path : samples_) {
    SCOPED_TRACE(path);
    auto file = MsgFile::Open(*Env::Default(), path);
    ASSERT_TRUE(file.ok()) << file.status().message();
    auto expected = testing::OlefileSummary(path);
    ASSERT_TRUE(expected.ok()) << expected.status().message();
    EXPECT_EQ(testing::Summarise(**file), *expected);
    const Result<uint64_t> read = testing::ReadEverything(**file);
    EXPECT_TRUE(read.ok()) << read.status().message();
  }
}

}  // namespace
}  // namespace baleport::msg
