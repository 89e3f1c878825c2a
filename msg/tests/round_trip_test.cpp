// Files made by the fixture writer (libgsf) read back whole: every type, values streamed in
// pieces, both sector sizes, large files, many children, 8-bit text in its code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "msg/message.h"
#include "msg/testing/msg_writer.h"
#include "support/testing/memory_env.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

using mapi::MakeTag;
using mapi::PropType;
using testing::FixtureAttachment;
using testing::FixtureFile;
using testing::FixtureMessage;
using testing::Pattern;
using testing::Utf16Bytes;

template <typename T>
std::vector<uint8_t> Packed(std::initializer_list<T> values) {
  std::vector<uint8_t> out(values.size() * sizeof(T));
  std::memcpy(out.data(), std::data(values), out.size());
  return out;
}

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Fixed-size values of every type, as the 8-byte slot of their property-stream entry holds them.
const std::pair<mapi::PropTag, std::vector<uint8_t>> kFixed[] = {
    {MakeTag(0x0017, PropType::kInt16), Packed<int16_t>({-2})},
    {MakeTag(0x0E07, PropType::kInt32), Packed<int32_t>({0x11})},
    {MakeTag(0x0E08, PropType::kInt64), Packed<int64_t>({-1234567890123LL})},
    {MakeTag(0x6601, PropType::kFloat32), Packed<float>({1.5f})},
    {MakeTag(0x6602, PropType::kFloat64), Packed<double>({-2.25})},
    {MakeTag(0x6603, PropType::kCurrency), Packed<int64_t>({123456789})},
    {MakeTag(0x6604, PropType::kAppTime), Packed<double>({45000.5})},
    {MakeTag(0x0E06, PropType::kSysTime), Packed<uint64_t>({0x01D9E2A1B2C3D4E5ULL})},
};

// Every property type, multi-valued forms, and an OLE object: a storage of many children with
// streams on both sides of the mini-stream cutoff. (Its copy as a compound file of its own is
// judged by olefile in import/tests.)
FixtureFile Rich(uint32_t sector_size) {
  FixtureFile f;
  f.sector_size = sector_size;
  FixtureMessage& m = f.message;
  for (const auto& [tag, bytes] : kFixed) m.Raw(tag, bytes);
  m.Unicode(0x0037, "Grüße — 日本 📧")
      .Bool(0x0E1F, true)
      .Binary(0x1009, Pattern(5000, 7))
      .Raw(MakeTag(0x6605, PropType::kGuid), Pattern(16, 9))
      .Raw(MakeTag(0x6606, 0x1003), Packed<int32_t>({1, -2, 3}))
      .Raw(MakeTag(0x6607, 0x1014), Packed<int64_t>({1LL << 40, -5}))
      .MultiVariable(MakeTag(0x6608, 0x101F), {Utf16Bytes("alpha"), Utf16Bytes("βeta"), {}})
      .MultiVariable(MakeTag(0x6609, 0x1102), {Pattern(3, 1), Pattern(4100, 2)});
  FixtureAttachment& ole = m.attachments.emplace_back();
  ole.Int32(0x3705, 6);
  ole.clsid = {0x0C, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  ole.embedded = std::make_shared<FixtureMessage>();
  for (uint16_t i = 0; i < 40; ++i) ole.embedded->Binary(0x6000 + i, std::vector<uint8_t>(i * 250, static_cast<uint8_t>(i)));
  for (int i = 0; i < 3; ++i) ole.embedded->recipients.emplace_back().Unicode(0x3001, "r" + std::to_string(i));
  return f;
}

std::unique_ptr<MsgFile> OpenFixture(const FixtureFile& fixture) {
  auto bytes = testing::WriteMsgToMemory(fixture);
  EXPECT_TRUE(bytes.ok()) << bytes.status().message();
  auto file = MsgFile::Open(std::make_unique<baleport::testing::MemoryFile>(std::move(bytes).value(), "fixture.msg"));
  EXPECT_TRUE(file.ok()) << file.status().message();
  return file.ok() ? std::move(file).value() : nullptr;
}

std::vector<uint8_t> ReadInChunks(const PropertyObject& object, const Property& p, uint32_t index, size_t chunk) {
  auto value = object.OpenValue(p, index);
  EXPECT_TRUE(value.ok()) << value.status().message();
  std::vector<uint8_t> out, buffer(chunk);
  for (Result<size_t> n = 1; value.ok() && n.ok() && *n > 0; out.insert(out.end(), buffer.begin(), buffer.begin() + *n)) {
    n = value->Read(buffer.data(), chunk);
    EXPECT_TRUE(n.ok()) << n.status().message();
    if (!n.ok()) break;
  }
  return out;
}

// A text value decoded as it streams, `chunk` characters at a time.
std::string StreamText(const PropertyObject& object, const Property& p, size_t chunk) {
  auto text = object.OpenText(p);
  EXPECT_TRUE(text.ok()) << text.status().message();
  std::u16string out;
  for (Result<bool> more = true; text.ok() && more.ok() && *more;) {
    more = text->Read(&out, chunk);
    EXPECT_TRUE(more.ok()) << more.status().message();
  }
  EXPECT_FALSE(text.ok() && text->had_errors());
  return Utf16ToUtf8(out, BadText::kReplace);
}

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
  for (const auto& [tag, bytes] : kFixed) {
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), find(mapi::TagId(tag), mapi::TagType(tag))->inline_value.begin()))
        << std::hex << tag;
  }
  EXPECT_TRUE(find(0x0E1F, 0x000B)->AsBool());
  EXPECT_EQ(ReadInChunks(m, *find(0x1009, 0x0102), 0, 333), Pattern(5000, 7));
  EXPECT_EQ(*m.ReadValue(*find(0x6605, 0x0048)), Text(Pattern(16, 9)));
  ASSERT_EQ(find(0x6606, 0x1003)->count, 3u);
  EXPECT_EQ(*m.ReadValue(*find(0x6606, 0x1003), 1), Text(Packed<int32_t>({-2})));
  EXPECT_EQ(*m.ReadValue(*find(0x6607, 0x1014), 0), Text(Packed<int64_t>({1LL << 40})));
  const Property* strings = find(0x6608, 0x101F);
  ASSERT_EQ(strings->count, 3u);
  EXPECT_EQ(*m.ReadTextUtf8(*strings, 1), "βeta");
  EXPECT_EQ(*m.ReadTextUtf8(*strings, 2), "");
  const Property* blobs = find(0x6609, 0x1102);
  EXPECT_EQ(ReadInChunks(m, *blobs, 1, 4096), Pattern(4100, 2));
  EXPECT_FALSE(m.OpenValue(*blobs, 2).ok());
  ASSERT_NE(m.attachments().at(0).custom_storage(), nullptr);
}

// Large enough for a second FAT sector in either version, and above the size read whole.
TEST_P(RoundTrip, LargeFilesKeepTheirTables) {
  FixtureFile f;
  f.sector_size = GetParam();
  for (uint8_t i = 0; i < 2; ++i) {
    f.message.attachments.emplace_back().Int32(0x3705, 1).Binary(0x3701, Pattern(4500000, i));
  }
  auto file = OpenFixture(f);
  ASSERT_NE(file, nullptr);
  const Attachment& a = file->message().attachments().at(1);
  EXPECT_EQ(ReadInChunks(a, *a.Find(MakeTag(0x3701, 0x0102)), 0, 1 << 16), Pattern(4500000, 1));
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, RoundTrip, ::testing::Values(512u, 4096u));

// A long body declared UTF-8 decodes piecewise to the same text, whatever the pieces cut
// through (its NULs at the end dropped); one that is not UTF-8 falls back for the whole value,
// not from the first bad byte. (The decoders' own chunking is text_decoder_test's.)
TEST(RoundTripText, LongStringsStreamAsTheyDecode) {
  std::string latin = "plain ascii first ", utf8 = latin;
  for (int i = 0; i < 5000; ++i) {
    latin += "\xf6\xe4\xfc ";
    utf8 += "öäü ";
  }
  for (const std::string& bytes : {utf8 + std::string(3, '\0'), latin}) {
    FixtureFile f;
    f.message.Int32(0x3FDE, 65001).String8(0x1000, bytes);
    auto file = OpenFixture(f);
    ASSERT_NE(file, nullptr);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
      EXPECT_EQ(StreamText(file->message(), *file->message().Find(MakeTag(0x1000, 0x001E)), chunk), utf8) << "chunks of " << chunk;
    }
  }
}

// 8-bit strings decode with PR_MESSAGE_CODEPAGE, then the locale's code page; bodies with
// PR_INTERNET_CPID first. Recipients and embedded messages, with theirs, follow their message.
// (A locale's code page with another for the body is import/tests' Russian message; no choice at
// all, a German locale and UTF-8 declared over 1252 bodies are among the samples it judges.)
TEST(RoundTripCodePages, EightBitStringsFollowTheMessageCodePage) {
  struct Case {
    std::vector<std::pair<uint16_t, int32_t>> declared;
    std::string bytes, utf8, body, body_utf8;  // the subject, then the body
  };
  const Case cases[] = {
      {{{0x3FFD, 932}, {0x3FDE, 65001}}, "\x93\xfa\x96\x7b\x8c\xea", "日本語", "日本語", "日本語"},
      {{{0x3FFD, 936}}, "\xd6\xd0\xce\xc4", "中文", "\xd6\xd0\xce\xc4", "中文"},
  };
  const auto text = [](const PropertyObject& o, uint16_t id) { return *o.ReadTextUtf8(*o.Find(MakeTag(id, 0x001E))); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8 + " / " + c.body_utf8);
    FixtureFile f;
    for (const auto& [id, value] : c.declared) f.message.Int32(id, value);
    f.message.String8(0x0037, c.bytes).String8(0x1000, c.body);
    f.message.recipients.emplace_back().String8(0x3001, c.bytes);
    FixtureAttachment& a = f.message.attachments.emplace_back();
    a.Int32(0x3705, 5);
    a.embedded = std::make_shared<FixtureMessage>();
    a.embedded->String8(0x0037, c.bytes);
    a.embedded->recipients.emplace_back().String8(0x3001, c.bytes);
    auto file = OpenFixture(f);
    ASSERT_NE(file, nullptr);
    const Message& m = file->message();
    const Message* e = m.attachments()[0].embedded_message();
    ASSERT_TRUE(e != nullptr && e->recipients().size() == 1);
    EXPECT_EQ((std::vector{text(m, 0x0037), text(m, 0x1000), text(m.recipients()[0], 0x3001), text(*e, 0x0037),
                           text(e->recipients()[0], 0x3001)}),
              (std::vector{c.utf8, c.body_utf8, c.utf8, c.utf8, c.utf8}));
  }
}

}  // namespace
}  // namespace baleport::msg
