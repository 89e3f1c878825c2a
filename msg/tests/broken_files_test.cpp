// Damaged and hostile files: each fails with a reason naming the file and the part at
// fault, or reads what is sound; none crashes, hangs or takes unbounded memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "msg/message.h"
#include "msg/testing/msg_writer.h"
#include "msg/testing/read_everything.h"
#include "support/little_endian.h"
#include "support/testing/memory_env.h"
#include "support/testing/read_all.h"

namespace baleport::msg {
namespace {

using mapi::MakeTag;
using ::testing::Contains;
using ::testing::HasSubstr;
using testing::FixtureAttachment;
using testing::FixtureFile;
using testing::FixtureMessage;

Result<std::unique_ptr<MsgFile>> OpenBytes(std::vector<uint8_t> bytes) {
  return MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(std::move(bytes), "/mail/broken.msg"));
}

std::vector<uint8_t> Write(const FixtureFile& f) {
  auto bytes = testing::WriteMsgToMemory(f);
  EXPECT_TRUE(bytes.ok()) << bytes.status().message();
  return bytes.ok() ? *bytes : std::vector<uint8_t>();
}

// A sound message, with an attachment large enough for regular-FAT chains beside the mini ones.
FixtureFile Sound() {
  FixtureFile f;
  f.message.Unicode(0x0037, "subject").Unicode(0x1000, "body");
  f.message.recipients.emplace_back().Unicode(0x3001, "someone");
  f.message.attachments.emplace_back().Int32(0x3705, 1).Binary(0x3701, std::vector<uint8_t>(20000, 0xAB));
  return f;
}

// A property stream written by hand: `header` zero bytes, then a 16-byte entry per fixed-size value.
std::vector<uint8_t> PropertyStream(size_t header, const std::vector<std::pair<mapi::PropTag, uint32_t>>& values) {
  std::vector<uint8_t> stream(header + 16 * values.size(), 0);
  for (size_t i = 0; i < values.size(); ++i) {
    StoreLe<uint32_t>(&stream[header + 16 * i], values[i].first);
    StoreLe<uint32_t>(&stream[header + 16 * i + 8], values[i].second);
  }
  return stream;
}

// Access to the compound-file tables of a version-3 file, to damage them precisely.
class Cfb {
 public:
  explicit Cfb(std::vector<uint8_t>& bytes) : b_(bytes) {}
  uint8_t* Sector(uint32_t n) { return &b_[(n + 1) * 512]; }
  uint32_t DirectoryStart() { return LoadLe<uint32_t>(&b_[0x30]); }
  uint32_t FatEntry(uint32_t k) { return LoadLe<uint32_t>(FatSlot(k)); }
  void SetFat(uint32_t k, uint32_t v) { StoreLe<uint32_t>(FatSlot(k), v); }
  // Directory entry i, following the directory's chain.
  uint8_t* DirEntry(uint32_t i) {
    uint32_t sector = DirectoryStart();
    for (uint32_t k = 0; k < i / 4; ++k) sector = FatEntry(sector);
    return Sector(sector) + 128 * (i % 4);
  }
  // Index of the directory entry with this name, or -1.
  int Find(const std::string& ascii) {
    const std::vector<uint8_t> name = testing::Utf16Bytes(ascii);
    for (uint32_t i = 0; i < 64; ++i) {
      const uint8_t* e = DirEntry(i);
      if (LoadLe<uint16_t>(e + 0x40) == name.size() + 2 && std::equal(name.begin(), name.end(), e)) return static_cast<int>(i);
    }
    return -1;
  }
  uint8_t* Named(const std::string& ascii) {
    const int i = Find(ascii);
    EXPECT_GE(i, 0) << ascii;
    return DirEntry(static_cast<uint32_t>(std::max(i, 0)));
  }

 private:
  uint8_t* FatSlot(uint32_t k) { return Sector(LoadLe<uint32_t>(&b_[0x4C + 4 * (k / 128)])) + 4 * (k % 128); }
  std::vector<uint8_t>& b_;
};

void ExpectFailureNaming(const Result<std::unique_ptr<MsgFile>>& file, const std::string& part) {
  ASSERT_FALSE(file.ok());
  EXPECT_THAT(file.status().message(), ::testing::AllOf(HasSubstr("/mail/broken.msg"), HasSubstr(part)));
}

TEST(BrokenFiles, WhatIsNotAMessageIsRefusedAsSuch) {
  const std::string text = "From: someone\r\nSubject: a mail saved as text\r\n\r\n";
  // A compound file of another kind: no property stream at its root.
  FixtureFile plain;
  plain.message.Unicode(0x0037, "plain");
  std::vector<uint8_t> other = Write(plain);
  Cfb(other).Named("__properties_version1.0")[0] = 'X';
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {{}, "is empty"},
      {std::vector<uint8_t>(text.begin(), text.end()), "too short to be a message file"},
      {std::vector<uint8_t>(4096, 'F'), "not a compound file, so not a message file"},
      {other, "has no __properties_version1.0 stream; not a message"},
  };
  for (const auto& [bytes, reason] : cases) ExpectFailureNaming(OpenBytes(bytes), reason);
}

// A chain through the file's last sector, cut short: the file opens, and reading there fails
// naming the stream rather than running past the file's bytes.
TEST(BrokenFiles, AChainIntoACutSectorFailsWhenRead) {
  std::vector<uint8_t> bytes = Write(Sound());
  const uint32_t cut = static_cast<uint32_t>(bytes.size() / 512 - 1);
  bytes.resize(bytes.size() + 256, 0xCD);
  Cfb grown(bytes);
  const uint32_t start = LoadLe<uint32_t>(grown.Named("__substg1.0_37010102") + 0x74);
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
  EXPECT_THAT(value.status().message(), HasSubstr("/mail/broken.msg:/__attach_version1.0_#00000000/__substg1.0_37010102"));
}

TEST(BrokenFiles, ClaimsBeyondTheLimitsAreBounded) {
  FixtureFile deep;
  FixtureMessage* level = &deep.message;
  for (int depth = 0; depth < 40; ++depth) {
    FixtureAttachment& a = level->attachments.emplace_back();
    a.Int32(0x3705, 5);
    a.embedded = std::make_shared<FixtureMessage>();
    level = a.embedded.get();
  }
  ExpectFailureNaming(OpenBytes(Write(deep)), "nested deeper than 32 levels");

  // The header claims four billion recipients; only the storages present count, and they may be
  // more than the 8,192 entries a storage once could hold. (libgsf takes time quadratic in a
  // storage's children, so the count stays near that old bound.)
  FixtureFile many;
  for (int i = 0; i < 9000; ++i) many.message.recipients.emplace_back().Unicode(0x3001, "r" + std::to_string(i));
  many.message.property_stream = PropertyStream(32, {});
  StoreLe<uint32_t>(many.message.property_stream->data() + 16, 0xFFFFFFFF);
  auto file = OpenBytes(Write(many));
  ASSERT_TRUE(file.ok()) << file.status().message();
  const auto& recipients = (*file)->message().recipients();
  ASSERT_EQ(recipients.size(), 9000u);
  EXPECT_EQ(*recipients.back().ReadTextUtf8(*recipients.back().Find(MakeTag(0x3001, 0x001F))), "r8999");

  FixtureFile big;
  std::vector<std::pair<mapi::PropTag, uint32_t>> entries(100000);
  for (uint32_t i = 0; i < entries.size(); ++i) entries[i] = {MakeTag(static_cast<uint16_t>(i), 0x0003), 0};
  big.message.property_stream = PropertyStream(32, entries);
  ExpectFailureNaming(OpenBytes(Write(big)), "__properties_version1.0: stream of 1600032 bytes is larger");
}

// A missing value stream, an embedded message with the top-level header size, a torn last
// entry, names in lower case, the eleventh attachment as #0000000A and a name-map entry pointing
// past its string stream: what is sound reads.
TEST(BrokenFiles, SoundPartsOfOddFilesStillRead) {
  FixtureFile f;
  f.message.Unicode(0x0037, "").properties.back().omit_stream = true;
  f.message.extra_streams.emplace_back("__substg1.0_0037001f", testing::Utf16Bytes("lower-case name"));
  f.message.Unicode(0x1000, "lost body").properties.back().omit_stream = true;
  FixtureAttachment& a = f.message.attachments.emplace_back();
  a.Int32(0x3705, 5);
  a.embedded = std::make_shared<FixtureMessage>();
  a.embedded->property_stream = PropertyStream(32, {{MakeTag(0x0E07, 0x0003), 3}});
  f.message.recipients.emplace_back().property_stream = PropertyStream(8, {{MakeTag(0x0C15, 0x0003), 1}});
  f.message.recipients.back().property_stream->push_back(0xEE);
  for (int i = 1; i < 12; ++i) f.message.attachments.emplace_back().Int32(0x0E21, i);
  f.names.push_back({kPsMapi, PropertyName::Kind::kNumeric, 0x1234, {}, {}});
  f.names.push_back({kPsPublicStrings, PropertyName::Kind::kString, 0, {}, "ok"});
  std::vector<uint8_t> bytes = Write(f);
  Cfb cfb(bytes);
  const uint32_t entry = 64 * LoadLe<uint32_t>(cfb.Named("__substg1.0_00030102") + 0x74) + 8;  // in the mini stream
  uint32_t sector = LoadLe<uint32_t>(cfb.DirEntry(0) + 0x74);
  for (uint32_t k = 0; k < entry / 512; ++k) sector = cfb.FatEntry(sector);
  StoreLe<uint32_t>(cfb.Sector(sector) + entry % 512, 0x1000);

  auto file = OpenBytes(bytes);
  ASSERT_TRUE(file.ok()) << file.status().message();
  const Message& m = (*file)->message();
  EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x0037, 0x001F))), "lower-case name");
  EXPECT_EQ(m.Find(MakeTag(0x1000, 0x001F)), nullptr);
  ASSERT_EQ(m.attachments().size(), 12u);
  ASSERT_NE(m.attachments()[0].embedded_message(), nullptr);
  const auto int32 = [](const PropertyObject& o, uint16_t id) {
    const Property* p = o.Find(MakeTag(id, 0x0003));
    return p != nullptr ? p->AsInt32() : -1;
  };
  std::vector<int32_t> found = {int32(*m.attachments()[0].embedded_message(), 0x0E07), int32(m.recipients().at(0), 0x0C15)};
  for (int i = 1; i < 12; ++i) found.push_back(int32(m.attachments()[i], 0x0E21));
  EXPECT_EQ(found, (std::vector<int32_t>{3, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_THAT(m.attachments()[10].where(), HasSubstr("__attach_version1.0_#0000000A"));
  ASSERT_NE((*file)->names().Find(0x8000), nullptr);
  EXPECT_EQ((*file)->names().Find(0x8000)->lid, 0x1234u);
  EXPECT_EQ((*file)->names().Find(0x8001), nullptr);
  EXPECT_THAT((*file)->notes(), ::testing::AllOf(Contains(HasSubstr("property 1000001F skipped: its value stream is missing")),
                                                 Contains(HasSubstr("trailing partial entry ignored"))));
}

// Data the file holds but the reader cannot place fails the file, naming where it is, rather
// than leaving it behind unseen (the source of a message that fails is kept); so do tables that
// loop, overlap or claim more than the file holds. (Damage at random is the mutation proof's and
// the fuzz target's.)
TEST(BrokenFiles, DamageFailsTheFileNamingThePart) {
  FixtureFile orphan = Sound(), torn = Sound();
  orphan.message.extra_streams.emplace_back("__substg1.0_1035001F", testing::Utf16Bytes("orphan"));
  torn.message.properties.push_back({MakeTag(0x6701, 0x1003), {1, 0, 0, 0, 2, 0, 0}, {}});
  ExpectFailureNaming(OpenBytes(Write(orphan)), "__substg1.0_1035001F: holds data that belongs to no property");
  ExpectFailureNaming(OpenBytes(Write(torn)), "__substg1.0_67011003: 7 bytes is not a whole number of 4-byte values");

  const std::vector<uint8_t> good = Write(Sound());
  const std::pair<std::function<void(Cfb&)>, const char*> damages[] = {
      {[](Cfb& c) { c.SetFat(c.DirectoryStart(), c.DirectoryStart()); }, "the directory loops"},
      {[](Cfb& c) { StoreLe<uint32_t>(c.Named("__substg1.0_37010102") + 0x78, 0x7FFFFFF0); }, "__substg1.0_37010102: its s"},
      {[](Cfb& c) { StoreLe<uint32_t>(c.Named("__substg1.0_37010102") + 0x78, 30000); }, "__substg1.0_37010102: its s"},
      {[](Cfb& c) { c.Named("__substg1.0_0037001F")[0x42] = 3; }, "__substg1.0_0037001F: directory entry of unknown type 3"},
      {[](Cfb& c) {  // an entry cut out of the tree: the link to it skips it
         const uint32_t body = static_cast<uint32_t>(c.Find("__substg1.0_1000001F"));
         for (uint32_t i = 0; i < 64 && c.DirEntry(i)[0x42] != 0; ++i) {
           for (uint32_t field : {0x44u, 0x48u, 0x4Cu}) {
             if (LoadLe<uint32_t>(c.DirEntry(i) + field) == body) StoreLe<uint32_t>(c.DirEntry(i) + field, 0xFFFFFFFF);
           }
         }
       }, "outside the directory tree"},
      {[](Cfb& c) {  // two streams on one chain
         StoreLe<uint32_t>(c.Named("__substg1.0_1000001F") + 0x74, LoadLe<uint32_t>(c.Named("__substg1.0_0037001F") + 0x74));
       }, "shares mini sector"},
  };
  for (const auto& [damage, reason] : damages) {
    std::vector<uint8_t> bytes = good;
    Cfb cfb(bytes);
    damage(cfb);
    ExpectFailureNaming(OpenBytes(bytes), reason);
  }
}

TEST(BrokenFiles, EveryInputTheFuzzerKeptReturns) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BALEPORT_MSG_TESTS_DIR "/regressions")) {
    if (entry.path().filename() == "README") continue;
    const std::string bytes = baleport::testing::ReadAll(entry.path().string());
    SCOPED_TRACE(entry.path().string());
    (void)testing::ReadEverything(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0u) << "no kept inputs in " BALEPORT_MSG_TESTS_DIR "/regressions";
}

}  // namespace
}  // namespace baleport::msg
