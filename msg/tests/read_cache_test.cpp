// The read cache beneath the compound-file library: what it returns is what the file holds,
// whatever the alignment of the reads; it reads a file in few large reads; and a file that
// cannot be read in part fails only the reads that need that part, naming the file and why.
#include "msg/read_cache.h"

#include <gtest/gtest.h>

#include <random>

#include "msg/msg_file.h"
#include "msg/testing/memory_file.h"
#include "msg/testing/msg_writer.h"
#include "msg/testing/read_everything.h"

namespace baleport::msg {
namespace {

using testing::FixtureAttachment;
using testing::FixtureFile;

// Bytes in memory that fail every read touching [bad_begin, bad_end), as a bad sector would,
// and may claim a size other than theirs. Counts the reads that reach it.
class FlakyFile final : public File {
 public:
  FlakyFile(std::vector<uint8_t> data, std::string path) : data_(std::move(data), path), path_(std::move(path)) {}
  uint64_t bad_begin = UINT64_MAX, bad_end = UINT64_MAX;
  std::optional<uint64_t> claimed_size;
  int reads = 0;
  uint64_t bytes_read = 0;

  Status Read(uint64_t offset, void* dst, size_t n) override {
    ++reads;
    bytes_read += n;
    if (offset < bad_end && offset + n > bad_begin) {
      return Status::Error("reading " + path_ + " at offset " + std::to_string(offset) + " failed: Input/output error");
    }
    return data_.Read(offset, dst, n);
  }
  Status Write(uint64_t, const void*, size_t) override { return Status::Error("read-only"); }
  Status Truncate(uint64_t) override { return Status::Error("read-only"); }
  Status Sync() override { return Status::Error("read-only"); }
  Result<uint64_t> Size() override { return claimed_size ? *claimed_size : data_.Size(); }
  const std::string& path() const override { return path_; }

 private:
  testing::MemoryFile data_;
  std::string path_;
};

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  std::mt19937 rng(7);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Reads [offset, offset + n) through the cache and compares it with the file's bytes.
void ExpectSame(ReadCache& cache, const std::vector<uint8_t>& bytes, uint64_t offset, size_t n) {
  std::vector<uint8_t> got(n);
  ASSERT_TRUE(cache.Read(offset, got.data(), n).ok()) << "offset " << offset << ", " << n << " bytes";
  ASSERT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + static_cast<ptrdiff_t>(offset)))
      << "offset " << offset << ", " << n << " bytes";
}

TEST(ReadCache, ReadsAcrossBlockEdgesReturnTheFilesBytes) {
  constexpr uint64_t kBlock = ReadCache::kBlockSize;
  // Larger than the whole-file limit, ending in a partial block.
  const std::vector<uint8_t> bytes = Pattern(ReadCache::kWholeFileLimit + 3 * kBlock + 123);
  auto* file = new FlakyFile(bytes, "/mail/large.msg");
  ReadCache cache{std::unique_ptr<File>(file), bytes.size()};
  for (uint64_t edge : {kBlock, 5 * kBlock, ReadCache::kWholeFileLimit}) {
    ExpectSame(cache, bytes, edge - 1, 2);
    ExpectSame(cache, bytes, edge - 512, 512);
    ExpectSame(cache, bytes, edge, 512);
    ExpectSame(cache, bytes, edge - 100, kBlock - 1);  // two blocks for one read
  }
  ExpectSame(cache, bytes, bytes.size() - 1, 1);  // the last byte, in the short last block
  ExpectSame(cache, bytes, bytes.size() - 200, 200);
  ExpectSame(cache, bytes, 3, 3 * kBlock);  // a read of blocks goes past the cache
  // Random small reads, as the library makes them, over more blocks than the cache holds.
  std::mt19937_64 rng(1);
  for (int i = 0; i < 2000; ++i) {
    const size_t n = 1 + rng() % 4096;
    ExpectSame(cache, bytes, rng() % (bytes.size() - n + 1), n);
  }
  // Reads past the end go to the file, which says what is wrong.
  uint8_t byte;
  const Status past = cache.Read(bytes.size(), &byte, 1);
  ASSERT_FALSE(past.ok());
  EXPECT_NE(past.message().find("/mail/large.msg"), std::string::npos) << past.message();
}

TEST(ReadCache, SmallFilesAreReadOnceAndLargeOnesInBlocks) {
  const std::vector<uint8_t> small = Pattern(40000);
  auto* small_file = new FlakyFile(small, "/mail/small.msg");
  ReadCache small_cache{std::unique_ptr<File>(small_file), small.size()};
  for (uint64_t offset = 0; offset + 512 <= small.size(); offset += 512) ExpectSame(small_cache, small, offset, 512);
  EXPECT_EQ(small_file->reads, 1);
  EXPECT_EQ(small_file->bytes_read, small.size());

  const std::vector<uint8_t> large = Pattern(ReadCache::kWholeFileLimit * 4);
  auto* large_file = new FlakyFile(large, "/mail/large.msg");
  ReadCache large_cache{std::unique_ptr<File>(large_file), large.size()};
  for (uint64_t offset = 0; offset + 512 <= large.size(); offset += 512) ExpectSame(large_cache, large, offset, 512);
  EXPECT_EQ(large_file->reads, static_cast<int>(large.size() / ReadCache::kBlockSize));
  // Going back to the first block after the whole file: it was let go, so it is read again.
  ExpectSame(large_cache, large, 0, 512);
  EXPECT_EQ(large_file->reads, static_cast<int>(large.size() / ReadCache::kBlockSize) + 1);
}

// A message with an attachment in its own sectors, past the whole-file limit when `large`.
FixtureFile WithAttachment(size_t attachment_size) {
  FixtureFile f;
  f.message.Unicode(0x001A, "IPM.Note").Unicode(0x0037, "read faults");
  FixtureAttachment a;
  a.Int32(0x3705, 1).Unicode(0x3707, "data.bin").Binary(0x3701, Pattern(attachment_size));
  f.message.attachments.push_back(a);
  return f;
}

// Offset in the file of the attachment's first bytes.
uint64_t OffsetOf(const std::vector<uint8_t>& file, const std::vector<uint8_t>& data) {
  auto it = std::search(file.begin(), file.end(), data.begin(), data.begin() + 64);
  return static_cast<uint64_t>(it - file.begin());
}

TEST(ReadCache, AReadErrorInTheMiddleFailsTheValueNamingTheFileAndTheCause) {
  for (size_t size : {size_t{20000}, size_t{3} << 20}) {
    SCOPED_TRACE(size);
    auto bytes = testing::WriteMsgToMemory(WithAttachment(size));
    ASSERT_TRUE(bytes.ok()) << bytes.status().message();
    auto* file = new FlakyFile(*bytes, "/mail/faulty.msg");
    // A bad stretch in the middle of the attachment's data, which opening the file does not need.
    file->bad_begin = OffsetOf(*bytes, Pattern(size)) + size / 2;
    file->bad_end = file->bad_begin + 4096;
    auto msg = MsgFile::Open(std::unique_ptr<File>(file));
    ASSERT_TRUE(msg.ok()) << msg.status().message();
    const auto& attachment = (*msg)->message().attachments().at(0);
    const Property* data = attachment.Find(mapi::MakeTag(0x3701, mapi::PropType::kBinary));
    ASSERT_NE(data, nullptr);
    auto value = attachment.ReadValue(*data, 0, size);
    ASSERT_FALSE(value.ok());
    const std::string message = value.status().message();
    EXPECT_NE(message.find("/mail/faulty.msg:/__attach_version1.0_#00000000/__substg1.0_37010102"), std::string::npos)
        << message;
    EXPECT_NE(message.find("Input/output error"), std::string::npos) << message;
    // The other values are still there.
    const Property* name = attachment.Find(mapi::MakeTag(0x3707, mapi::PropType::kUnicode));
    ASSERT_NE(name, nullptr);
    auto text = attachment.ReadTextUtf8(*name);
    ASSERT_TRUE(text.ok()) << text.status().message();
    EXPECT_EQ(*text, "data.bin");
  }
}

TEST(ReadCache, AFileShorterThanItClaimsFailsOnlyWhereItEnds) {
  auto bytes = testing::WriteMsgToMemory(WithAttachment(20000));
  ASSERT_TRUE(bytes.ok()) << bytes.status().message();
  // Claiming more than it holds: what the reader needs is there, so it reads whole.
  auto* longer = new FlakyFile(*bytes, "/mail/claims-more.msg");
  longer->claimed_size = bytes->size() + 4096;
  auto msg = MsgFile::Open(std::unique_ptr<File>(longer));
  ASSERT_TRUE(msg.ok()) << msg.status().message();
  auto everything = testing::ReadEverything(**msg);
  ASSERT_TRUE(everything.ok()) << everything.status().message();
  EXPECT_GE(*everything, 20000u);

  // Cut inside the attachment's data, the directory still whole: only that value fails.
  const size_t cut = static_cast<size_t>(OffsetOf(*bytes, Pattern(20000)) + 10000);
  auto* cut_file = new FlakyFile(std::vector<uint8_t>(bytes->begin(), bytes->begin() + cut), "/mail/cut.msg");
  cut_file->claimed_size = bytes->size();
  auto cut_msg = MsgFile::Open(std::unique_ptr<File>(cut_file));
  if (!cut_msg.ok()) {
    // The directory or the FAT lay past the cut: the failure names the file.
    EXPECT_NE(cut_msg.status().message().find("/mail/cut.msg"), std::string::npos) << cut_msg.status().message();
    return;
  }
  auto partial = testing::ReadEverything(**cut_msg);
  ASSERT_FALSE(partial.ok());
  EXPECT_NE(partial.status().message().find("/mail/cut.msg:/__attach_version1.0_#00000000"), std::string::npos)
      << partial.status().message();
  EXPECT_NE(partial.status().message().find("the file ends before the data"), std::string::npos)
      << partial.status().message();
}

TEST(ReadCache, AnUnreadableHeaderIsReportedWithItsCause) {
  auto bytes = testing::WriteMsgToMemory(WithAttachment(20000));
  ASSERT_TRUE(bytes.ok()) << bytes.status().message();
  auto* file = new FlakyFile(*bytes, "/mail/bad-header.msg");
  file->bad_begin = 0;
  file->bad_end = 512;
  auto msg = MsgFile::Open(std::unique_ptr<File>(file));
  ASSERT_FALSE(msg.ok());
  EXPECT_NE(msg.status().message().find("reading /mail/bad-header.msg at offset 0 failed: Input/output error"),
            std::string::npos)
      << msg.status().message();
}

}  // namespace
}  // namespace baleport::msg
