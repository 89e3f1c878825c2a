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

// The same seed gives the same bytes and another seed other mail; small messages have one
// recipient, no attachment, and fit two pages.
TEST(MailboxGenerator, ReproducibleWithEveryKindAndSmallMessagesStaySmall) {
  bool saw_embedded = false, saw_ansi = false, saw_attachment = false;
  for (uint32_t n = 0; n < 40; ++n) {
    for (const bool small : {false, true}) {
      MailboxProfile profile;
      profile.max_attachment = 20000;
      profile.max_body = small ? 1000 : 2000;
      profile.small_messages = small;
      const GeneratedMessage m = GenerateMessage(11, n, profile);
      const std::vector<uint8_t> bytes = *msg::testing::WriteMsgToMemory(m.file);
      EXPECT_EQ(bytes, *msg::testing::WriteMsgToMemory(GenerateMessage(11, n, profile).file)) << n;
      EXPECT_NE(bytes, *msg::testing::WriteMsgToMemory(GenerateMessage(12, n, profile).file)) << n;
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
