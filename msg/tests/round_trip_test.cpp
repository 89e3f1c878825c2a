// Files made by the fixture writer read back whole, through the reader and through olefile.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include "files/tests/test_tree.h"
#include "msg/message.h"
#include "msg/testing/msg_writer.h"
#include "msg/tests/summary.h"
#include "support/hex.h"
#include "support/testing/memory_env.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

using mapi::MakeTag;
using mapi::PropType;
using testing::FixtureAttachment;
using testing::FixtureFile;
using testing::FixtureMessage;
using testing::FixtureObject;
using testing::Pattern;

constexpr Guid kPsetidCommon = {{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x46}};
constexpr Guid kPsInternetHeaders = {{0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x46}};

template <typename T>
std::vector<uint8_t> Packed(std::initializer_list<T> values) {
  std::vector<uint8_t> out(values.size() * sizeof(T));
  std::memcpy(out.data(), std::data(values), out.size());
  return out;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::shared_ptr<FixtureMessage> Nested(int depth) {
  auto m = std::make_shared<FixtureMessage>();
  m->Unicode(0x001A, "IPM.Note").Unicode(0x0037, "level " + std::to_string(depth));
  if (depth < 3) {
    FixtureAttachment a;
    a.Int32(0x3705, 5).Unicode(0x3001, "level " + std::to_string(depth + 1));
    a.embedded = Nested(depth + 1);
    m->attachments.push_back(std::move(a));
  }
  return m;
}

// One of everything: every property type, MV forms, two recipients, a file attachment that
// needs big sectors, an embedded message three levels deep, numeric and string names.
FixtureFile Rich(uint32_t sector_size) {
  FixtureFile f;
  f.sector_size = sector_size;
  f.names.push_back({kPsetidCommon, PropertyName::Kind::kNumeric, 0x8580, {}, {}});
  f.names.push_back({kPsInternetHeaders, PropertyName::Kind::kString, 0, {}, "x-mailer"});
  f.names.push_back({kPsPublicStrings, PropertyName::Kind::kString, 0, {}, "Keywords ü"});
  FixtureMessage& m = f.message;
  m.Unicode(0x001A, "IPM.Note")
      .Unicode(0x0037, "Grüße — 日本 📧")
      .Int16(0x0017, -2)
      .Int32(0x0E07, 0x11)
      .Int64(0x0E08, -1234567890123LL)
      .Float32(0x6601, 1.5f)
      .Float64(0x6602, -2.25)
      .Currency(0x6603, 123456789)
      .AppTime(0x6604, 45000.5)
      .Bool(0x0E1F, true)
      .Time(0x0E06, 0x01D9E2A1B2C3D4E5ULL)
      .Binary(0x1009, Pattern(5000, 7))
      .GuidValue(0x6605, kPsetidCommon)
      .MultiFixed(MakeTag(0x6606, 0x1003), Packed<int32_t>({1, -2, 3}))
      .MultiFixed(MakeTag(0x6607, 0x1014), Packed<int64_t>({1LL << 40, -5}))
      .MultiVariable(MakeTag(0x6608, 0x101F), {testing::Utf16Bytes("alpha"), testing::Utf16Bytes("βeta"), {}})
      .MultiVariable(MakeTag(0x6609, 0x1102), {Pattern(3, 1), Pattern(4100, 2)})
      .Int32(0x8000, 42)
      .Unicode(0x8001, "baleport fixtures")
      .MultiVariable(MakeTag(0x8002, 0x101F), {testing::Utf16Bytes("red"), testing::Utf16Bytes("grün")});
  for (const char* name : {"Ann Ó Súilleabháin", "李小龍"}) {
    FixtureObject r;
    r.Int32(0x0C15, 1).Unicode(0x3001, name).Unicode(0x3003, "someone@example.org").Unicode(0x3002, "SMTP");
    m.recipients.push_back(std::move(r));
  }
  FixtureAttachment file;
  file.Int32(0x3705, 1).Unicode(0x3707, "résumé.pdf").Binary(0x3701, Pattern(100000, 3));
  m.attachments.push_back(std::move(file));
  FixtureAttachment embedded;
  embedded.Int32(0x3705, 5).Unicode(0x3001, "level 1");
  embedded.embedded = Nested(1);
  m.attachments.push_back(std::move(embedded));
  return f;
}

std::unique_ptr<MsgFile> OpenFixture(const FixtureFile& fixture, const std::string& name = "fixture.msg") {
  auto bytes = testing::WriteMsgToMemory(fixture);
  EXPECT_TRUE(bytes.ok()) << bytes.status().message();
  auto file = MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(std::move(bytes).value(), name));
  EXPECT_TRUE(file.ok()) << file.status().message();
  return file.ok() ? std::move(file).value() : nullptr;
}

std::vector<uint8_t> ReadInChunks(const PropertyObject& object, const Property& p, uint32_t index, size_t chunk) {
  auto value = object.OpenValue(p, index);
  EXPECT_TRUE(value.ok()) << value.status().message();
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(chunk);
  for (;;) {
    auto n = value->Read(buffer.data(), buffer.size());
    EXPECT_TRUE(n.ok()) << n.status().message();
    if (!n.ok() || *n == 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + *n);
  }
  return out;
}

const baleport::testing::TestTree kFiles;

class RoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RoundTrip, EveryTypeReadsBack) {
  auto file = OpenFixture(Rich(GetParam()));
  ASSERT_NE(file, nullptr);
  const Message& m = file->message();
  auto find = [&](uint16_t id, uint16_t type) {
    const Property* p = m.Find(MakeTag(id, type));
    EXPECT_NE(p, nullptr) << std::hex << id << " " << type;
    return p;
  };
  EXPECT_EQ(*m.ReadTextUtf8(*find(0x0037, 0x001F)), "Grüße — 日本 📧");
  EXPECT_EQ(find(0x0017, 0x0002)->AsInt16(), -2);
  EXPECT_EQ(find(0x0E07, 0x0003)->AsInt32(), 0x11);
  EXPECT_EQ(find(0x0E08, 0x0014)->AsInt64(), -1234567890123LL);
  EXPECT_EQ(std::bit_cast<float>(static_cast<int32_t>(find(0x6601, 0x0004)->AsInt32())), 1.5f);
  EXPECT_EQ(std::bit_cast<double>(find(0x6602, 0x0005)->AsInt64()), -2.25);
  EXPECT_EQ(find(0x6603, 0x0006)->AsInt64(), 123456789);
  EXPECT_EQ(std::bit_cast<double>(find(0x6604, 0x0007)->AsInt64()), 45000.5);
  EXPECT_TRUE(find(0x0E1F, 0x000B)->AsBool());
  EXPECT_EQ(static_cast<uint64_t>(find(0x0E06, 0x0040)->AsInt64()), 0x01D9E2A1B2C3D4E5ULL);
  EXPECT_EQ(ReadInChunks(m, *find(0x1009, 0x0102), 0, 333), Pattern(5000, 7));
  const Property* guid = find(0x6605, 0x0048);
  EXPECT_FALSE(guid->is_inline());
  EXPECT_EQ(*m.ReadValue(*guid), std::string(kPsetidCommon.bytes.begin(), kPsetidCommon.bytes.end()));

  const Property* ints = find(0x6606, 0x1003);
  ASSERT_EQ(ints->count, 3u);
  EXPECT_EQ(*m.ReadValue(*ints, 1), Bytes(Packed<int32_t>({-2})));
  const Property* longs = find(0x6607, 0x1014);
  ASSERT_EQ(longs->count, 2u);
  EXPECT_EQ(*m.ReadValue(*longs, 0), Bytes(Packed<int64_t>({1LL << 40})));
  const Property* strings = find(0x6608, 0x101F);
  ASSERT_EQ(strings->count, 3u);
  EXPECT_EQ(*m.ReadTextUtf8(*strings, 1), "βeta");
  EXPECT_EQ(*m.ReadTextUtf8(*strings, 2), "");
  const Property* blobs = find(0x6609, 0x1102);
  ASSERT_EQ(blobs->count, 2u);
  EXPECT_EQ(ReadInChunks(m, *blobs, 1, 4096), Pattern(4100, 2));
  EXPECT_FALSE(m.OpenValue(*blobs, 2).ok());

  const Attachment& a = m.attachments().at(0);
  EXPECT_EQ(ReadInChunks(a, *a.Find(MakeTag(0x3701, 0x0102)), 0, 65536), Pattern(100000, 3));
  const Message* level = &m;
  for (int depth = 1; depth <= 3 && level != nullptr; ++depth) {
    level = level->attachments().back().embedded_message();
    ASSERT_NE(level, nullptr) << depth;
    EXPECT_EQ(level->depth(), static_cast<uint32_t>(depth));
  }
}

// Outlook finds names through the lookup streams; the record of "content-type" carries the
// CRC seen in the samples' streams (0x0450B859).
TEST(RoundTripNames, LookupStreamsHoldEachName) {
  FixtureFile f;
  f.names.push_back({kPsInternetHeaders, PropertyName::Kind::kString, 0, {}, "content-type"});
  f.names.push_back({kPsetidCommon, PropertyName::Kind::kNumeric, 0x8580, {}, {}});
  auto file = OpenFixture(f);
  ASSERT_NE(file, nullptr);
  const Storage& root = file->message().storage();
  auto nameid = root.OpenStorage(root.Find("__nameid_version1.0"));
  ASSERT_TRUE(nameid.ok()) << nameid.status().message();
  struct Expected {
    uint32_t key;
    uint16_t kind_and_guid;  // GUID index 3 (first in the GUID stream) or 4, and the kind bit
    uint16_t index;
  };
  for (const Expected& e : {Expected{0x0450B859, (3 << 1) | 1, 0}, Expected{0x8580, 4 << 1, 1}}) {
    const std::string name = "__substg1.0_" + Hex(0x1000 + (e.key ^ e.kind_and_guid) % 0x1F, 4) + "0102";
    const int stream = nameid->Find(name);
    ASSERT_GE(stream, 0) << name;
    std::vector<uint8_t> scratch;
    auto records = nameid->ViewStream(stream, 4096, &scratch);
    ASSERT_TRUE(records.ok());
    std::vector<uint8_t> record(8);
    std::memcpy(record.data(), &e.key, 4);
    std::memcpy(record.data() + 4, &e.kind_and_guid, 2);
    std::memcpy(record.data() + 6, &e.index, 2);
    EXPECT_NE(std::search(records->begin(), records->end(), record.begin(), record.end()), records->end()) << name;
  }
}

// Names, recipients, attachment bytes and embedded messages as olefile sees them.
TEST_P(RoundTrip, OlefileReadsWhatTheWriterWrote) {
  const std::string path = kFiles.Path("rich-" + std::to_string(GetParam()) + ".msg");
  ASSERT_TRUE(testing::WriteMsgToPath(Rich(GetParam()), path).ok());
  auto file = MsgFile::Open(*Env::Default(), path);
  ASSERT_TRUE(file.ok()) << file.status().message();
  auto expected = testing::OlefileSummary(path);
  ASSERT_TRUE(expected.ok()) << expected.status().message();
  EXPECT_EQ(testing::Summarise(**file), *expected);
  EXPECT_NE(expected->find("attachment 0: résumé.pdf | 100000 "), std::string::npos) << *expected;
  EXPECT_NE(expected->find("named 8001: {00020386-0000-0000-C000-000000000046} name \"x-mailer\""), std::string::npos);
}

// Large enough for a second FAT sector in either version; olefile checks the tables.
// Above the size read whole: values come from the file a run of sectors at a time.
TEST_P(RoundTrip, LargeFilesKeepTheirTables) {
  FixtureFile f;
  f.sector_size = GetParam();
  f.message.Unicode(0x001A, "IPM.Note").Unicode(0x0037, "large");
  for (uint8_t i = 0; i < 2; ++i) {
    FixtureAttachment a;
    a.Int32(0x3705, 1).Unicode(0x3707, "part" + std::to_string(i)).Binary(0x3701, Pattern(4500000, i));
    f.message.attachments.push_back(std::move(a));
  }
  const std::string path = kFiles.Path("large-" + std::to_string(GetParam()) + ".msg");
  ASSERT_TRUE(testing::WriteMsgToPath(f, path).ok());
  auto file = MsgFile::Open(*Env::Default(), path);
  ASSERT_TRUE(file.ok()) << file.status().message();
  const Attachment& a = (*file)->message().attachments().at(1);
  EXPECT_EQ(ReadInChunks(a, *a.Find(MakeTag(0x3701, 0x0102)), 0, 1 << 16), Pattern(4500000, 1));
  auto expected = testing::OlefileSummary(path);
  ASSERT_TRUE(expected.ok()) << expected.status().message();
  EXPECT_EQ(testing::Summarise(**file), *expected);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, RoundTrip, ::testing::Values(512u, 4096u));

// A mailing list's worth of recipients, past the 8,192 entries a storage once could hold:
// what the file holds bounds the reader, not a count. (The fixture writer, libgsf, takes
// time quadratic in a storage's children, so the test stays near that old bound.)
TEST(RoundTripScale, RecipientsBeyondAnyFixedCountRead) {
  FixtureFile f;
  f.message.Unicode(0x0037, "to everyone");
  for (int i = 0; i < 9000; ++i) f.message.recipients.emplace_back().Unicode(0x3001, "r" + std::to_string(i)).Int32(0x0C15, 1);
  auto file = OpenFixture(f);
  ASSERT_NE(file, nullptr);
  const auto& recipients = file->message().recipients();
  ASSERT_EQ(recipients.size(), 9000u);
  EXPECT_EQ(*recipients.back().ReadTextUtf8(*recipients.back().Find(MakeTag(0x3001, 0x001F))), "r8999");
}

// A long 8-bit body decodes piecewise to the same text, whatever the pieces cut through.
TEST(RoundTripText, LongStringsStreamAsTheyDecode) {
  std::string sjis, expected;
  for (int i = 0; i < 5000; ++i) {
    sjis += "\x93\xfa\x96\x7b\x8c\xea abc ";  // 日本語 abc
    expected += "日本語 abc ";
  }
  FixtureFile f;
  f.message.Int32(0x3FFD, 932).String8(0x1000, sjis + std::string(3, '\0'));
  auto file = OpenFixture(f);
  ASSERT_NE(file, nullptr);
  const Message& m = file->message();
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
    auto text = m.OpenText(*m.Find(MakeTag(0x1000, 0x001E)));
    ASSERT_TRUE(text.ok()) << text.status().message();
    std::u16string out;
    for (;;) {
      auto more = text->Read(&out, chunk);
      ASSERT_TRUE(more.ok()) << more.status().message();
      if (!*more) break;
    }
    EXPECT_EQ(Utf16ToUtf8(out, BadText::kReplace), expected) << "chunks of " << chunk;
    EXPECT_FALSE(text->had_errors());
  }
  EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x1000, 0x001E))), expected);
  EXPECT_FALSE(m.OpenText(*m.Find(MakeTag(0x3FFD, 0x0003))).ok());

  // UTF-8 declared only as the Internet code page, over 1252 bytes: the stream falls back
  // for the whole value, not from the first bad byte on.
  FixtureFile latin;
  std::string bytes = "plain ascii first ";
  std::string utf8 = bytes;
  for (int i = 0; i < 20000; ++i) {
    bytes += "\xf6\xe4\xfc ";
    utf8 += "öäü ";
  }
  latin.message.Int32(0x3FDE, 65001).String8(0x1000, bytes);
  auto latin_file = OpenFixture(latin);
  ASSERT_NE(latin_file, nullptr);
  const Message& lm = latin_file->message();
  auto text = lm.OpenText(*lm.Find(MakeTag(0x1000, 0x001E)));
  ASSERT_TRUE(text.ok()) << text.status().message();
  std::u16string out;
  for (;;) {
    auto more = text->Read(&out, 1000);
    ASSERT_TRUE(more.ok()) << more.status().message();
    if (!*more) break;
  }
  EXPECT_EQ(Utf16ToUtf8(out, BadText::kReplace), utf8);
  EXPECT_FALSE(text->had_errors());
}

// 8-bit strings decode with PR_MESSAGE_CODEPAGE, then the locale's code page; bodies with
// PR_INTERNET_CPID first. Recipients and embedded messages follow their message.
TEST(RoundTripCodePages, EightBitStringsFollowTheMessageCodePage) {
  struct Case {
    const char* what;
    std::function<void(FixtureObject&)> declare;
    std::string bytes, utf8;       // the subject
    std::string body, body_utf8;
  };
  const std::string ru = "\xcf\xf0\xe8\xe2\xe5\xf2", koi = "\xf0\xd2\xc9\xd7\xc5\xd4";
  const Case cases[] = {
      {"Japanese by PR_MESSAGE_CODEPAGE", [](FixtureObject& m) { m.Int32(0x3FFD, 932).Int32(0x3FDE, 65001); },
       "\x93\xfa\x96\x7b\x8c\xea", "日本語", "日本語", "日本語"},
      {"Chinese by PR_MESSAGE_CODEPAGE (GB2312 declared as 936)", [](FixtureObject& m) { m.Int32(0x3FFD, 936); },
       "\xd6\xd0\xce\xc4", "中文", "\xd6\xd0\xce\xc4", "中文"},
      {"German locale, Cyrillic body", [](FixtureObject& m) { m.Int32(0x3FF1, 1031).Int32(0x3FDE, 1251); },
       "\xf6\xe4\xfc", "öäü", ru, "Привет"},
      {"Russian locale, KOI8-R body", [](FixtureObject& m) { m.Int32(0x3FF1, 0x0419).Int32(0x3FDE, 20866); }, ru,
       "Привет", koi, "Привет"},
      {"Western by default", [](FixtureObject&) {}, "caf\xe9", "café", "caf\xe9", "café"},
      {"UTF-8 Internet code page over a 1252 body", [](FixtureObject& m) { m.Int32(0x3FDE, 65001); }, "\xf6\xe4\xfc",
       "öäü", "\xf6\xe4\xfc", "öäü"},
  };
  for (const Case& c : cases) {
    FixtureFile f;
    c.declare(f.message);
    f.message.String8(0x0037, c.bytes).String8(0x1000, c.body);
    FixtureObject r;
    r.String8(0x3001, c.bytes);
    f.message.recipients.push_back(r);
    FixtureAttachment a;
    a.Int32(0x3705, 5);
    a.embedded = std::make_shared<FixtureMessage>();
    a.embedded->String8(0x0037, c.bytes);
    f.message.attachments.push_back(a);
    auto file = OpenFixture(f);
    ASSERT_NE(file, nullptr) << c.what;
    const Message& m = file->message();
    EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x0037, 0x001E))), c.utf8) << c.what;
    EXPECT_EQ(*m.ReadTextUtf8(*m.Find(MakeTag(0x1000, 0x001E))), c.body_utf8) << c.what;
    const Recipient& rr = m.recipients()[0];
    EXPECT_EQ(*rr.ReadTextUtf8(*rr.Find(MakeTag(0x3001, 0x001E))), c.utf8) << c.what;
    const Message* e = m.attachments()[0].embedded_message();
    ASSERT_NE(e, nullptr) << c.what;
    EXPECT_EQ(*e->ReadTextUtf8(*e->Find(MakeTag(0x0037, 0x001E))), c.utf8) << c.what;
  }
}

}  // namespace
}  // namespace baleport::msg
