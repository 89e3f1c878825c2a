// baleport-mailbox DIR --messages N --seed S: writes a synthetic mailbox of .msg files.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "bench/mailbox_generator.h"

int main(int argc, char** argv) {
  CLI::App app("Writes a folder tree of synthetic .msg files, the same for the same seed.");
  std::string dir;
  uint32_t messages = 100;
  uint64_t seed = 1;
  baleport::bench::MailboxProfile profile;
  app.add_option("dir", dir, "Folder to write into (created)")->required();
  app.add_option("--messages", messages, "Number of messages");
  app.add_option("--seed", seed, "Seed");
  app.add_option("--max-attachment", profile.max_attachment, "Largest attachment in bytes");
  app.add_option("--max-body", profile.max_body, "Largest plain-text body in bytes");
  app.add_flag("--small-tree", profile.small_tree, "Only Inbox, Sent and Projects/Alpha");
  app.add_flag("--small-messages", profile.small_messages,
               "Small messages (about 12 KB as files): one recipient, no attachments, 512-byte sectors");
  CLI11_PARSE(app, argc, argv);

  uint64_t bytes = 0;
  for (uint32_t i = 0; i < messages; ++i) {
    const baleport::bench::GeneratedMessage m = baleport::bench::GenerateMessage(seed, i, profile);
    const std::filesystem::path path = std::filesystem::path(dir) / std::filesystem::u8path(m.relative_path);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
      std::fprintf(stderr, "baleport-mailbox: creating %s failed: %s\n", path.parent_path().c_str(), ec.message().c_str());
      return 1;
    }
    const baleport::Status status = baleport::msg::testing::WriteMsgToPath(m.file, path.string());
    if (!status.ok()) {
      std::fprintf(stderr, "baleport-mailbox: %s\n", status.message().c_str());
      return 1;
    }
    bytes += std::filesystem::file_size(path, ec);
  }
  std::printf("%u messages, %llu bytes in %s\n", messages, static_cast<unsigned long long>(bytes), dir.c_str());
  return 0;
}
