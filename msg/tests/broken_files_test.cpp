// Damaged and hostile files: each fails with a reason naming the file and the part at
// fault, or reads what is sound; none crashes, hangs or takes unbounded memory.
#include <gtest/gtest.h>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>

#include <cstring>

#include "msg/message.h"
#include "msg/testing/gobject_ptr.h"
#include "msg/testing/msg_writer.h"
#include "support/little_endian.h"
#include "support/testing/memory_env.h"

namespace baleport::msg {
namespace {

using mapi::MakeTag;
using testing::FixtureAttachment;
using testing::FixtureFile;
using testing::FixtureMessage;

Result<std::unique_ptr<MsgFile>> OpenBytes(std::vector<uint8_t> bytes, const ReadLimits& limits = {}) {
  return MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(std::move(bytes), "/mail/broken.msg"), limits);
}

std::vector<uint8_t> Write(const FixtureFile& f) {
  auto bytes = testing::WriteMsgToMemory(f);
  EXPECT_TRUE(bytes.ok()) << bytes.status().message();
  return bytes.ok() ? *bytes : std::vector<uint8_t>();
}

// A message with a large attachment, so that it has regular-FAT chains as well as mini ones.
FixtureFile WithAttachment() {
  FixtureFile f;
  f.message.Unicode(0x001A, "IPM.Note").Unicode(0x0037, "broken");
  FixtureAttachment a;
  a.Int32(0x3705, 1).Unicode(0x3707, "big.bin").Binary(0x3701, std::vector<uint8_t>(20000, 0xAB));
  f.message.attachments.push_back(a);
  return f;
}

// Access to the compound-file tables of a version-3 file, to damage them precisely.
class Cfb {
 public:
  explicit Cfb(std::vector<uint8_t>& bytes) : b_(bytes) {}
  uint32_t sector_size() const { return 1u << LoadLe<uint16_t>(&b_[0x1E]); }
  uint8_t* Sector(uint32_t n) { return &b_[(n + 1) * sector_size()]; }
  uint32_t FatEntry(uint32_t k) { return LoadLe<uint32_t>(FatSlot(k)); }
  void SetFat(uint32_t k, uint32_t v) { StoreLe<uint32_t>(FatSlot(k), v); }
  // Directory entry i, following the directory's chain.
  uint8_t* DirEntry(uint32_t i) {
    const uint32_t per_sector = sector_size() / 128;
    uint32_t sector = LoadLe<uint32_t>(&b_[0x30]);
    for (uint32_t k = 0; k < i / per_sector; ++k) sector = FatEntry(sector);
    return Sector(sector) + 128 * (i % per_sector);
  }
  // Index of the directory entry with this name, or -1.
  int FindEntry(const std::string& ascii) {
    for (uint32_t i = 0; i < 64; ++i) {
      const uint8_t* e = DirEntry(i);
      const size_t len = LoadLe<uint16_t>(e + 0x40);
      if (len != (ascii.size() + 1) * 2) continue;
      bool same = true;
      for (size_t c = 0; c < ascii.size() && same; ++c) same = e[2 * c] == ascii[c] && e[2 * c + 1] == 0;
      if (same) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  uint8_t* FatSlot(uint32_t k) {
    const uint32_t per_sector = sector_size() / 4;
    const uint32_t fat_sector = LoadLe<uint32_t>(&b_[0x4C + 4 * (k / per_sector)]);
    return Sector(fat_sector) + 4 * (k % per_sector);
  }
  std::vector<uint8_t>& b_;
};

void ExpectFailureNaming(const Result<std::unique_ptr<MsgFile>>& file, const std::string& part) {
  ASSERT_FALSE(file.ok());
  EXPECT_NE(file.status().message().find("/mail/broken.msg"), std::string::npos) << file.status().message();
  EXPECT_NE(file.status().message().find(part), std::string::npos) << file.status().message();
}

TEST(BrokenFiles, WhatIsNotAMessageIsRefusedAsSuch) {
  ExpectFailureNaming(OpenBytes({}), "is empty");
  const std::string text = "From: someone\r\nSubject: a mail saved as text\r\n\r\n";
  ExpectFailureNaming(OpenBytes(std::vector<uint8_t>(text.begin(), text.end())), "too short to be a message file");
  std::vector<uint8_t> long_text;
  while (long_text.size() < 4096) long_text.insert(long_text.end(), text.begin(), text.end());
  ExpectFailureNaming(OpenBytes(long_text), "not a compound file, so not a message file");
  // Only the signature: the header is cut short.
  ExpectFailureNaming(OpenBytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}), "too short to be a message file");

  // A compound file of another kind (a document with one stream).
  GPtr<GsfOutput> sink(gsf_output_memory_new());
  {
    GPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
    GPtr<GsfOutput> stream(gsf_outfile_new_child(root.get(), "WordDocument", FALSE));
    gsf_output_write(stream.get(), 5, reinterpret_cast<const guint8*>("hello"));
    gsf_output_close(stream.get());
    gsf_output_close(GSF_OUTPUT(root.get()));
  }
  const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
  ExpectFailureNaming(OpenBytes(std::vector<uint8_t>(data, data + gsf_output_size(sink.get()))),
                      "has no __properties_version1.0 stream; not a message");
}

TEST(BrokenFiles, SectorChainsThatLoopOrLeaveTheFileFail) {
  const std::vector<uint8_t> good = Write(WithAttachment());
  std::vector<uint8_t> probe = good;
  const uint32_t sectors = static_cast<uint32_t>(good.size() / Cfb(probe).sector_size() - 1);
  int failures = 0;
  for (uint32_t k = 0; k < sectors; ++k) {
    for (uint32_t target : {k, uint32_t{0}, sectors + 5, uint32_t{0x7FFFFFF0}}) {
      std::vector<uint8_t> bytes = good;
      Cfb cfb(bytes);
      const uint32_t next = cfb.FatEntry(k);
      if (next >= 0xFFFFFFFA) continue;  // free or special: not part of a chain
      cfb.SetFat(k, target);
      auto file = OpenBytes(bytes);
      if (file.ok()) continue;  // the damaged sector held nothing the reader needed
      ++failures;
      EXPECT_NE(file.status().message().find("/mail/broken.msg"), std::string::npos) << file.status().message();
    }
  }
  EXPECT_GT(failures, 0);

  std::vector<uint8_t> bytes = good;
  Cfb cfb(bytes);
  const uint32_t first = LoadLe<uint32_t>(&bytes[0x30]);
  cfb.SetFat(first, first);
  ExpectFailureNaming(OpenBytes(bytes), "the directory loops");

  // A chain through the file's last sector, cut short: reading there fails, naming the stream.
  bytes = good;
  const uint32_t cut = static_cast<uint32_t>(bytes.size() / 512 - 1);
  bytes.resize(bytes.size() + 256, 0xCD);
  Cfb grown(bytes);
  const uint32_t start = LoadLe<uint32_t>(grown.DirEntry(grown.FindEntry("__substg1.0_37010102")) + 0x74);
  const uint32_t second = grown.FatEntry(start);
  grown.SetFat(start, cut);
  grown.SetFat(cut, grown.FatEntry(second));
  grown.SetFat(second, 0xFFFFFFFF);
  auto file = OpenBytes(bytes);
  ASSERT_TRUE(file.ok()) << file.status().message();
  const Attachment& a = (*file)->message().attachments().at(0);
  auto stream = a.OpenValue(*a.Find(MakeTag(0x3701, 0x0102)));
  ASSERT_TRUE(stream.ok());
  std::vector<uint8_t> scratch;
  ASSERT_TRUE(stream->Next(512, &scratch).ok());
  auto value = stream->Next(512, &scratch);  // the cut sector, which a view would overrun
  ASSERT_FALSE(value.ok());
  EXPECT_NE(value.status().message().find("/mail/broken.msg:/__attach_version1.0_#00000000/__substg1.0_37010102"),
            std::string::npos) << value.status().message();
}

TEST(BrokenFiles, StreamSizesBeyondTheFileFail) {
  for (uint32_t claimed : {0x7FFFFFF0u, 30000u}) {
    std::vector<uint8_t> bytes = Write(WithAttachment());
    Cfb cfb(bytes);
    const int entry = cfb.FindEntry("__substg1.0_37010102");
    ASSERT_GE(entry, 0);
    StoreLe<uint32_t>(cfb.DirEntry(entry) + 0x78, claimed);
    ExpectFailureNaming(OpenBytes(bytes), "__substg1.0_37010102: its s");
  }
}

TEST(BrokenFiles, EmbeddingIsCappedInDepth) {
  FixtureFile f;
  FixtureMessage* level = &f.message;
  for (int depth = 0; depth < 40; ++depth) {
    level->Unicode(0x0037, "level " + std::to_string(depth));
    FixtureAttachment a;
    a.Int32(0x3705, 5);
    a.embedded = std::make_shared<FixtureMessage>();
    level->attachments.push_back(a);
    level = level->attachments.back().embedded.get();
  }
  const std::vector<uint8_t> bytes = Write(f);
  ExpectFailureNaming(OpenBytes(bytes), "nested deeper than 32 levels");
  ReadLimits deeper;
  deeper.max_embedding_depth = 64;
  auto file = OpenBytes(bytes, deeper);
  ASSERT_TRUE(file.ok()) << file.status().message();
}

TEST(BrokenFiles, AbsurdCountsAreBounded) {
  FixtureFile f;
  for (int i = 0; i < 20; ++i) f.message.recipients.emplace_back().Unicode(0x3001, "r" + std::to_string(i));
  // Header counts claim four billion recipients; only the storages present count.
  std::vector<uint8_t> header(32, 0);
  StoreLe<uint32_t>(header.data() + 16, 0xFFFFFFFF);
  f.message.property_stream = header;
  auto file = OpenBytes(Write(f));
  ASSERT_TRUE(file.ok()) << file.status().message();
  EXPECT_EQ((*file)->message().recipients().size(), 20u);

  // A property stream of 100000 entries.
  FixtureFile big;
  std::vector<uint8_t> stream(32 + 16 * 100000, 0);
  for (size_t i = 0; i < 100000; ++i) StoreLe<uint32_t>(&stream[32 + 16 * i], MakeTag(static_cast<uint16_t>(i), 0x0003));
  big.message.property_stream = stream;
  ExpectFailureNaming(OpenBytes(Write(big)), "__properties_version1.0: stream of 1600032 bytes is larger");
}

TEST(BrokenFiles, SoundPartsOfOddFilesStillRead) {
  FixtureFile f;
  f.message.Unicode(0x0037, "kept").Unicode(0x1000, "lost body");
  f.message.properties.back().omit_stream = true;
  FixtureAttachment a;
  a.Int32(0x3705, 5);
  a.embedded = std::make_shared<FixtureMessage>();
  // An embedded message written with the top-level header size.
  std::vector<uint8_t> stream(32, 0);
  uint8_t entry[16] = {};
  StoreLe<uint32_t>(entry, MakeTag(0x0E07, 0x0003));
  StoreLe<uint32_t>(entry + 8, 3);
  stream.insert(stream.end(), entry, entry + 16);
  a.embedded->property_stream = stream;
  f.message.attachments.push_back(a);
  // A recipient whose property stream ends in a torn entry.
  std::vector<uint8_t> torn(8, 0);
  StoreLe<uint32_t>(entry, MakeTag(0x0C15, 0x0003));
  StoreLe<uint32_t>(entry + 8, 1);
  torn.insert(torn.end(), entry, entry + 16);
  torn.push_back(0xEE);
  f.message.recipients.emplace_back().property_stream = torn;

  auto file = OpenBytes(Write(f));
  ASSERT_TRUE(file.ok()) << file.status().message();
  const Message& m = (*file)->message();
  EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x0037, 0x001F))), "kept");
  EXPECT_EQ(m.Find(MakeTag(0x1000, 0x001F)), nullptr);
  const Message* inner = m.attachments().at(0).embedded_message();
  ASSERT_NE(inner, nullptr);
  ASSERT_NE(inner->Find(MakeTag(0x0E07, 0x0003)), nullptr);
  EXPECT_EQ(inner->Find(MakeTag(0x0E07, 0x0003))->AsInt32(), 3);
  ASSERT_EQ(m.recipients().size(), 1u);
  EXPECT_EQ(m.recipients()[0].Find(MakeTag(0x0C15, 0x0003))->AsInt32(), 1);
  const auto& notes = (*file)->notes();
  auto noted = [&](const std::string& what) {
    return std::any_of(notes.begin(), notes.end(), [&](const std::string& n) { return n.find(what) != n.npos; });
  };
  EXPECT_TRUE(noted("property 1000001F skipped: its value stream is missing"));
  EXPECT_TRUE(noted("trailing partial entry ignored"));
}

// Names compare without case in a compound file; the eleventh attachment is #0000000A and
// keeps its place.
TEST(BrokenFiles, NamesAndNumberingOfOtherWriters) {
  FixtureFile f;
  f.message.Unicode(0x0037, "").properties.back().omit_stream = true;
  f.message.extra_streams.emplace_back("__substg1.0_0037001f", testing::Utf16Bytes("lower-case name"));
  for (int i = 0; i < 12; ++i) f.message.attachments.emplace_back().Int32(0x0E21, i);
  auto file = OpenBytes(Write(f));
  ASSERT_TRUE(file.ok()) << file.status().message();
  const Message& m = (*file)->message();
  EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x0037, 0x001F))), "lower-case name");
  ASSERT_EQ(m.attachments().size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(m.attachments()[i].Find(MakeTag(0x0E21, 0x0003))->AsInt32(), i);
  EXPECT_NE(m.attachments()[10].where().find("__attach_version1.0_#0000000A"), std::string::npos);
}

// Data the file holds but the reader cannot place fails the file, naming where it is, rather
// than leaving it behind unseen: the source of a message that fails is kept.
TEST(BrokenFiles, DataTheReaderCannotPlaceFailsTheFile) {
  FixtureFile f;
  f.message.Unicode(0x0037, "subject").Unicode(0x1000, "body");
  f.message.recipients.emplace_back().Unicode(0x3001, "someone");
  const std::vector<uint8_t> good = Write(f);
  auto entry_of = [&](std::vector<uint8_t>& bytes, const std::string& name) {
    Cfb cfb(bytes);
    const int i = cfb.FindEntry(name);
    EXPECT_GE(i, 0) << name;
    return cfb.DirEntry(i);
  };
  {  // a stream's entry type 2 -> 3
    std::vector<uint8_t> bytes = good;
    entry_of(bytes, "__substg1.0_0037001F")[0x42] = 3;
    ExpectFailureNaming(OpenBytes(bytes), "__substg1.0_0037001F: directory entry of unknown type 3");
  }
  {  // an entry cut out of the tree: the storage's child link skips it
    std::vector<uint8_t> bytes = good;
    Cfb cfb(bytes);
    for (uint32_t i = 0; i < 64 && cfb.DirEntry(i)[0x42] != 0; ++i) {
      uint8_t* e = cfb.DirEntry(i);
      for (uint32_t field : {0x44u, 0x48u, 0x4Cu}) {
        if (LoadLe<uint32_t>(e + field) == static_cast<uint32_t>(cfb.FindEntry("__substg1.0_1000001F"))) StoreLe<uint32_t>(e + field, 0xFFFFFFFF);
      }
    }
    auto file = OpenBytes(bytes);
    ASSERT_FALSE(file.ok());
    EXPECT_NE(file.status().message().find("outside the directory tree"), std::string::npos) << file.status().message();
  }
  {  // two streams on one chain
    std::vector<uint8_t> bytes = good;
    const uint32_t start = LoadLe<uint32_t>(entry_of(bytes, "__substg1.0_0037001F") + 0x74);
    StoreLe<uint32_t>(entry_of(bytes, "__substg1.0_1000001F") + 0x74, start);
    ExpectFailureNaming(OpenBytes(bytes), "shares mini sector");
  }
  {  // a stream no property names
    FixtureFile orphan = f;
    orphan.message.extra_streams.emplace_back("__substg1.0_1035001F", testing::Utf16Bytes("orphan"));
    ExpectFailureNaming(OpenBytes(Write(orphan)), "__substg1.0_1035001F: holds data that belongs to no property");
  }
  {  // fixed-size values that do not fill their stream
    FixtureFile torn = f;
    torn.message.properties.push_back({MakeTag(0x6701, 0x1003), {1, 0, 0, 0, 2, 0, 0}, {}});
    ExpectFailureNaming(OpenBytes(Write(torn)), "__substg1.0_67011003: 7 bytes is not a whole number of 4-byte values");
  }
}

TEST(BrokenFiles, NameMapEntriesOutOfRangeAreDroppedAlone) {
  FixtureFile f;
  f.names.push_back({kPsMapi, PropertyName::Kind::kNumeric, 0x1234, {}, {}});
  f.names.push_back({kPsPublicStrings, PropertyName::Kind::kString, 0, {}, "ok"});
  std::vector<uint8_t> bytes = Write(f);
  // Point the string entry's offset past the string stream, in place.
  Cfb cfb(bytes);
  const int entries = cfb.FindEntry("__substg1.0_00030102");
  ASSERT_GE(entries, 0);
  const uint32_t mini_start = LoadLe<uint32_t>(cfb.DirEntry(entries) + 0x74);
  const uint32_t mini_stream_sector = LoadLe<uint32_t>(cfb.DirEntry(0) + 0x74);
  // The mini stream of this small file is one contiguous run of sectors.
  uint8_t* record = cfb.Sector(mini_stream_sector) + 64 * mini_start + 8;
  StoreLe<uint32_t>(record, 0x1000);
  auto file = OpenBytes(bytes);
  ASSERT_TRUE(file.ok()) << file.status().message();
  ASSERT_NE((*file)->names().Find(0x8000), nullptr);
  EXPECT_EQ((*file)->names().Find(0x8000)->lid, 0x1234u);
  EXPECT_EQ((*file)->names().Find(0x8001), nullptr);
}

// Every byte of the header and of the directory's first eight entries replaced in turn (links
// between entries made to point back at the root among them): the reader returns.
TEST(BrokenFiles, DamageAnywhereInTheTablesReturns) {
  const std::vector<uint8_t> good = Write(WithAttachment());
  std::vector<uint8_t> probe = good;
  Cfb cfb(probe);
  std::vector<size_t> offsets;
  for (size_t i = 0; i < 512; ++i) offsets.push_back(i);
  for (uint32_t entry = 0; entry < 8; ++entry) {
    const size_t at = cfb.DirEntry(entry) - probe.data();
    for (size_t i = at; i < at + 128; ++i) offsets.push_back(i);
  }
  for (size_t at : offsets) {
    for (uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
      std::vector<uint8_t> bytes = good;
      bytes[at] = v;
      auto file = OpenBytes(bytes);
      if (!file.ok()) {
        EXPECT_NE(file.status().message().find("/mail/broken.msg"), std::string::npos);
      }
    }
  }
}

}  // namespace
}  // namespace baleport::msg
