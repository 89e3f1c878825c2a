// Every real sample reads, and reads as olefile (an independent compound-file reader) sees it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "msg/message.h"
#include "msg/testing/read_everything.h"
#include "msg/tests/summary.h"
#include "support/testing/memory_env.h"

namespace baleport::msg {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Samples() {
  std::vector<fs::path> out;
  const fs::path dir = fs::path(BALEPORT_SAMPLES_DIR) / "msg";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".msg") out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

#define SKIP_WITHOUT_SAMPLES(samples) \
  if ((samples).empty()) GTEST_SKIP() << "no samples in " BALEPORT_SAMPLES_DIR "/msg"

// Each reads as olefile sees it, and every value of every object streams to its declared
// size, in odd-sized chunks.
TEST(MsgSamples, EachReadsLikeOlefileAndStreamsWhole) {
  const auto samples = Samples();
  SKIP_WITHOUT_SAMPLES(samples);
  auto check = [](const PropertyObject& object) {
    for (const Property& p : object.properties()) {
      for (uint32_t i = 0; i < p.count; ++i) {
        auto value = object.OpenValue(p, i);
        ASSERT_TRUE(value.ok()) << value.status().message();
        uint64_t total = 0;
        char chunk[997];
        for (;;) {
          auto n = value->Read(chunk, sizeof chunk);
          ASSERT_TRUE(n.ok()) << n.status().message();
          if (*n == 0) break;
          total += *n;
        }
        EXPECT_EQ(total, value->size());
      }
    }
  };
  std::function<void(const Message&)> walk = [&](const Message& m) {
    check(m);
    for (const Recipient& r : m.recipients()) check(r);
    for (const Attachment& a : m.attachments()) {
      check(a);
      if (a.embedded_message() != nullptr) walk(*a.embedded_message());
    }
  };
  for (const fs::path& path : samples) {
    SCOPED_TRACE(path.string());
    auto file = MsgFile::Open(*Env::Default(), path.string());
    ASSERT_TRUE(file.ok()) << file.status().message();
    auto expected = testing::OlefileSummary(path.string());
    ASSERT_TRUE(expected.ok()) << expected.status().message();
    EXPECT_EQ(testing::Summarise(**file), *expected);
    walk((*file)->message());
  }
}

// A sample cut at any point fails with a reason naming the file, at open or when a value
// is read, or (when only trailing free space went) still reads; it never crashes or hangs.
TEST(MsgSamples, TruncatedAnywhereFailsCleanly) {
  const auto samples = Samples();
  SKIP_WITHOUT_SAMPLES(samples);
  for (const fs::path& path : samples) {
    const std::vector<uint8_t> whole = Slurp(path);
    const size_t step = std::max<size_t>(whole.size() / 40, 1);
    for (size_t cut = 0; cut < whole.size(); cut += step) {
      const std::string name = path.filename().string() + "@" + std::to_string(cut);
      auto file = MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(
          std::vector<uint8_t>(whole.begin(), whole.begin() + cut), name));
      const Status status = file.ok() ? testing::ReadEverything(**file).status() : file.status();
      if (!status.ok()) {
        EXPECT_NE(status.message().find(name), std::string::npos) << status.message();
      }
    }
  }
}

}  // namespace
}  // namespace baleport::msg
