// Synthetic mailboxes for benchmarks and examples: messages of a realistic mix, each fully
// determined by the seed and its number.
#pragma once

#include <cstdint>
#include <string>

#include "msg/testing/msg_writer.h"

namespace baleport::bench {

struct MailboxProfile {
  // Largest attachment; sizes are spread log-uniformly from 1 KB up to it.
  uint64_t max_attachment = 3u << 20;
  uint64_t max_body = 20000;
  // A small fixed tree (Inbox, Sent, Projects/Alpha) instead of the full one.
  bool small_tree = false;
  // Messages of about 5 KB: one recipient, no attachments or embedded messages, 512-byte
  // sectors (bodies as max_body says).
  bool small_messages = false;
};

struct GeneratedMessage {
  std::string relative_path;  // "Inbox/000042 Grüße aus Köln.msg"
  msg::testing::FixtureFile file;
};

GeneratedMessage GenerateMessage(uint64_t seed, uint32_t number, const MailboxProfile& profile);

}  // namespace baleport::bench
