// The generated mailboxes are reproducible, hold every kind of message the benchmarks mean to
// measure, and read back (that the reader reads what the fixture writer makes as olefile does
// is msg/tests' round trip).
#include <gtest/gtest.h>

#include "bench/mailbox_generator.h"
#include "msg/message.h"
#include "msg/testing/msg_writer.h"
#include "support/testing/memory_env.h"

namespace baleport::bench {
namespace {

MailboxProfile Profile(bool small) {
  MailboxProfile p;
  p.max_attachment = 20000;
  p.max_body = small ? 1000 : 2000;
  p.small_messages = small;
  return p;
}

TEST(MailboxGenerator, SameSeedSameBytesOtherSeedOtherMail) {
  for (uint32_t n : {0u, 5u, 17u}) {
    const auto bytes = [n](uint32_t seed) { return *msg::testing::WriteMsgToMemory(GenerateMessage(seed, n, Profile(false)).file); };
    EXPECT_EQ(bytes(3), bytes(3)) << n;
    EXPECT_NE(bytes(3), bytes(4)) << n;
    EXPECT_EQ(GenerateMessage(3, n, Profile(false)).relative_path, GenerateMessage(3, n, Profile(false)).relative_path);
  }
}

// The benchmarks' small messages: one recipient, no attachment, within two pages.
TEST(MailboxGenerator, TheMixHoldsEveryKindAndSmallMessagesStaySmall) {
  bool saw_embedded = false, saw_ansi = false, saw_attachment = false;
  for (uint32_t n = 0; n < 40; ++n) {
    for (const bool small : {false, true}) {
      const GeneratedMessage m = GenerateMessage(11, n, Profile(small));
      const std::vector<uint8_t> bytes = *msg::testing::WriteMsgToMemory(m.file);
      auto file = msg::MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(bytes, m.relative_path));
      ASSERT_TRUE(file.ok()) << file.status().message();
      const msg::Message& message = (*file)->message();
      if (small) {
        EXPECT_LE(bytes.size(), 8192u) << m.relative_path;
        EXPECT_EQ(message.recipients().size(), 1u);
        EXPECT_TRUE(message.attachments().empty());
        continue;
      }
      saw_ansi |= message.Find(mapi::MakeTag(0x0037, mapi::PropType::kString8)) != nullptr;
      for (const msg::Attachment& a : message.attachments()) {
        saw_embedded |= a.embedded_message() != nullptr;
        saw_attachment |= a.method() == 1;
      }
    }
  }
  EXPECT_TRUE(saw_embedded && saw_ansi && saw_attachment) << "the mix lacks a kind of message";
}

}  // namespace
}  // namespace baleport::bench
