// The generated mailboxes are reproducible and read back, by the reader and by olefile.
#include <gtest/gtest.h>

#include "bench/mailbox_generator.h"
#include "files/tests/test_tree.h"
#include "msg/message.h"
#include "msg/tests/summary.h"
#include "support/testing/memory_env.h"

namespace baleport::bench {
namespace {

MailboxProfile Small() {
  MailboxProfile p;
  p.max_attachment = 20000;
  p.max_body = 2000;
  return p;
}

TEST(MailboxGenerator, SameSeedSameBytesOtherSeedOtherMail) {
  for (uint32_t n : {0u, 5u, 17u}) {
    const auto bytes = [n](uint32_t seed) { return *msg::testing::WriteMsgToMemory(GenerateMessage(seed, n, Small()).file); };
    EXPECT_EQ(bytes(3), bytes(3)) << n;
    EXPECT_NE(bytes(3), bytes(4)) << n;
    EXPECT_EQ(GenerateMessage(3, n, Small()).relative_path, GenerateMessage(3, n, Small()).relative_path);
  }
}

TEST(MailboxGenerator, MessagesReadBackAsOlefileSeesThem) {
  const baleport::testing::TestTree tree;
  const std::string dir = tree.root();
  bool saw_embedded = false, saw_ansi = false, saw_attachment = false;
  for (uint32_t n = 0; n < 40; ++n) {
    const GeneratedMessage m = GenerateMessage(11, n, Small());
    const std::string path = dir + "/" + std::to_string(n) + ".msg";
    ASSERT_TRUE(msg::testing::WriteMsgToPath(m.file, path).ok());
    auto file = msg::MsgFile::Open(*Env::Default(), path);
    ASSERT_TRUE(file.ok()) << file.status().message();
    auto expected = msg::testing::OlefileSummary(path);
    ASSERT_TRUE(expected.ok()) << expected.status().message();
    EXPECT_EQ(msg::testing::Summarise(**file), *expected) << m.relative_path;
    const msg::Message& message = (*file)->message();
    saw_ansi |= message.Find(mapi::MakeTag(0x0037, mapi::PropType::kString8)) != nullptr;
    for (const msg::Attachment& a : message.attachments()) {
      saw_embedded |= a.embedded_message() != nullptr;
      saw_attachment |= a.method() == 1;
    }
  }
  EXPECT_TRUE(saw_embedded && saw_ansi && saw_attachment) << "the mix lacks a kind of message";
}

// The benchmarks' small messages: one recipient, no attachment, within two pages.
TEST(MailboxGenerator, SmallMessagesStayNearFiveKilobytes) {
  MailboxProfile p;
  p.max_body = 1000;
  p.small_messages = true;
  for (uint32_t n = 0; n < 30; ++n) {
    const GeneratedMessage m = GenerateMessage(2, n, p);
    auto bytes = *msg::testing::WriteMsgToMemory(m.file);
    EXPECT_LE(bytes.size(), 8192u) << m.relative_path;
    auto file = msg::MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(bytes, m.relative_path));
    ASSERT_TRUE(file.ok()) << file.status().message();
    EXPECT_EQ((*file)->message().recipients().size(), 1u);
    EXPECT_TRUE((*file)->message().attachments().empty());
  }
}

}  // namespace
}  // namespace baleport::bench
