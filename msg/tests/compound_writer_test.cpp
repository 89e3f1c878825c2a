// A storage copied out as a compound file of its own reads back the same, through the reader
// and through olefile: every entry, byte and class id, with storages of many children (whose
// red-black trees the writer builds) and streams on both sides of the mini-stream cutoff.
#include <gtest/gtest.h>

#include <fstream>

#include "files/tests/test_tree.h"
#include "msg/compound_writer.h"
#include "msg/message.h"
#include "msg/testing/msg_writer.h"
#include "support/testing/command.h"
#include "support/testing/memory_env.h"

namespace baleport::msg {
namespace {

// "path size" of every entry below `id`, sorted as olefile lists them; streams hash their bytes.
void Describe(const CompoundFile& file, uint32_t id, const std::string& prefix, std::vector<std::string>* out) {
  for (uint32_t child : file.children(id)) {
    const std::string path = prefix + file.name_utf8(child);
    if (file.kind(child) == CompoundFile::Kind::kStorage) {
      Describe(file, child, path + "/", out);
      continue;
    }
    std::vector<uint8_t> bytes(file.size(child));
    EXPECT_TRUE(file.Read(child, 0, bytes.data(), bytes.size()).ok());
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum = sum * 31 + b;
    out->push_back(path + " " + std::to_string(bytes.size()) + " " + std::to_string(sum));
  }
  std::sort(out->begin(), out->end());
}

TEST(CompoundWriter, ACopiedStorageReadsBackWhole) {
  testing::FixtureFile f;
  testing::FixtureAttachment ole;
  ole.Int32(0x3705, 6);
  ole.clsid = {0x0C, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  ole.embedded = std::make_shared<testing::FixtureMessage>();
  for (uint16_t i = 0; i < 40; ++i) ole.embedded->Binary(0x6000 + i, std::vector<uint8_t>(i * 250, static_cast<uint8_t>(i)));
  for (int i = 0; i < 3; ++i) ole.embedded->recipients.emplace_back().Unicode(0x3001, "r" + std::to_string(i));
  f.message.attachments.push_back(ole);
  auto bytes = testing::WriteMsgToMemory(f);
  ASSERT_TRUE(bytes.ok());
  auto msg = MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(*bytes, "ole.msg"));
  ASSERT_TRUE(msg.ok()) << msg.status().message();
  const Storage* storage = (*msg)->message().attachments().at(0).custom_storage();
  ASSERT_NE(storage, nullptr);

  std::vector<uint8_t> copy;
  ASSERT_TRUE(WriteStorageAsCompoundFile(*storage, [&](std::span<const uint8_t> b) {
                copy.insert(copy.end(), b.begin(), b.end());
                return Status::Ok();
              }).ok());
  auto reread = CompoundFile::Open(std::make_unique<baleport::testing::MemoryFile>(copy, "copy.ole"));
  ASSERT_TRUE(reread.ok()) << reread.status().message();
  std::vector<std::string> original, copied;
  Describe(storage->file(), storage->id(), "", &original);
  Describe(**reread, CompoundFile::kRoot, "", &copied);
  EXPECT_EQ(copied, original);
  EXPECT_EQ((*reread)->clsid(CompoundFile::kRoot), ole.clsid);

  baleport::testing::TestTree tree;
  const std::string path = tree.Path("copy.ole");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(copy.data()), copy.size());
  const baleport::testing::CommandResult olefile = baleport::testing::Run(
      "/usr/bin/python3 -c 'import sys, olefile\n"
      "o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
      "print(o.root.clsid, len(o.listdir()))' " + baleport::testing::Quote(path));
  EXPECT_EQ(olefile.exit_code, 0) << olefile.output;
  EXPECT_EQ(olefile.output, "0003000C-0000-0000-C000-000000000046 " + std::to_string(original.size()) + "\n");
}

}  // namespace
}  // namespace baleport::msg
