// Items of every shape in one store, judged by the checker and every reader, then read back.
#include <gtest/gtest.h>

#include <bit>

#include "mapi/tags.h"
#include "pst/disk/crc.h"
#include "pst/messaging/name_map.h"
#include "pst/messaging/text.h"
#include "pst/tests/store_testing.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using mapi::MakeTag;

std::vector<Property> Recipient(const std::string& name, int type) {
  return {prop::Int32(kRecipientType, type), prop::String(kDisplayName, name), prop::String(kAddressType, "SMTP"),
          prop::String(kEmailAddress, name + "@example.com"), prop::Int32(kObjectType, 6), prop::Int32(kDisplayType, 0)};
}

const Property* Find(const std::vector<Property>& props, mapi::PropTag tag) {
  for (const auto& p : props) {
    if (p.tag == tag) return &p;
  }
  return nullptr;
}

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  uint32_t x = 2463534242u + seed;
  for (auto& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// "name:size:CRC" as the pypff dump lists an attachment (zlib's CRC-32: the engine's with its inversions).
std::string Listed(const std::string& name, std::string_view s) {
  return name + ":" + std::to_string(s.size()) + ":" + Hex(static_cast<uint32_t>(~disk::Crc(s.data(), s.size(), ~0u)));
}

void Attach(Message& m, const std::string& name, const std::string& data) {
  Attachment* a = Must(m.AddAttachment());
  MustOk(a->Set(prop::String(kAttachLongFilename, name)));
  MustOk(a->Set(prop::Binary(kAttachDataBinary, data)));
}

// Writes `data` through a stream in pieces of `piece` bytes.
void Stream(Result<std::unique_ptr<ValueStream>> stream, std::string_view data, size_t piece) {
  auto s = Must(std::move(stream));
  for (size_t at = 0; at < data.size(); at += piece) MustOk(s->Write(data.substr(at, piece)));
  MustOk(s->Close());
}

// Recipients past a subnode's worth, attachments by value, every property type, values streamed
// past one XBLOCK (an XXBLOCK tree), named properties, read and unread counts, and items dropped
// unsaved. Embedded messages and OLE objects go in through the import: import/tests.
TEST(Messages, EveryShapeReachesTheReadersAndReadsBack) {
  const std::string path = TempDir("messages") + "/m.pst";
  auto store = Must(Store::Create(path, "Messages"));
  MustOk(store->EnsureStandardFolders());
  const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));
  const NamedProperty by_number{kPsetidCommon, 0x8501, ""}, by_name{kPsPublicStrings, std::nullopt, "X-Custom"};
  const uint16_t named_a = Must(store->MapNamedProperty(by_number)), named_b = Must(store->MapNamedProperty(by_name));
  EXPECT_GE(named_a, 0x8000);
  EXPECT_NE(named_a, named_b);
  EXPECT_EQ(Must(store->MapNamedProperty(by_number)), named_a);
  EXPECT_FALSE(store->MapNamedProperty(NamedProperty{}).ok());

  Guid g{};
  for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(i * 7);
  std::string int32s;
  for (uint32_t v : {1u, 2u, 0xFFFFFFFFu}) AppendLe<uint32_t>(int32s, v);
  const std::vector<Property> typed = {
      prop::Int16(MakeTag(0x6601, mapi::PropType::kInt16), -5),
      prop::Int32(MakeTag(0x6602, mapi::PropType::kInt32), 123456),
      prop::Int64(MakeTag(0x6603, mapi::PropType::kFloat64), std::bit_cast<int64_t>(2.5)),
      prop::Bool(MakeTag(0x6604, mapi::PropType::kBoolean), true),
      prop::Int64(MakeTag(0x6605, mapi::PropType::kInt64), -1234567890123LL),
      prop::Time(MakeTag(0x6606, mapi::PropType::kSysTime), 0x01D9000000000000ull),
      prop::Guid(MakeTag(0x6607, mapi::PropType::kGuid), g),
      prop::String(MakeTag(0x6608, mapi::PropType::kUnicode), "Grüße 测试 \xF0\x9F\x93\xA7"),
      prop::Binary(MakeTag(0x6609, mapi::PropType::kBinary), std::string("\0\1\2", 3)),
      Property{MakeTag(0x660A, mapi::kMultiValued | 0x0003), int32s},
      prop::Multi(MakeTag(0x660B, mapi::kMultiValued | 0x001F), {"one", "", "three"}),
      prop::Multi(MakeTag(0x660C, mapi::kMultiValued | 0x0102), {"\1\2", Pattern(5000, 2)}),
      prop::Binary(MakeTag(0x660D, mapi::PropType::kBinary), ""),
      Property{MakeTag(0x660E, mapi::PropType::kCurrency), std::string("\x10\x27\0\0\0\0\0\0", 8)},
      prop::Int32(MakeTag(named_a, mapi::PropType::kInt32), 15),
      prop::String(MakeTag(named_b, mapi::PropType::kUnicode), "custom value"),
  };

  auto report = Must(store->NewMessage(inbox));
  MustOk(report->Set(prop::String(kSubject, "Quarterly report")));
  MustOk(report->Set(prop::String(kBody, "Numbers attached.")));
  MustOk(report->Set(prop::Binary(kBodyHtml, "<p>Numbers attached.</p>")));
  MustOk(report->Set(prop::String(kSenderName, "Alice Example")));
  MustOk(report->Set(prop::Int32(kMessageFlags, 1)));
  for (const auto& p : typed) MustOk(report->Set(p));
  MustOk(report->Set(Property{MakeTag(0x660F, mapi::PropType::kString8), "plain"}));  // kept as Unicode
  EXPECT_FALSE(report->Set(Property{MakeTag(0x6610, mapi::PropType::kInt32), "abc"}).ok());
  EXPECT_FALSE(report->Set(Property{MakeTag(0x6611, mapi::PropType::kUnicode), "odd"}).ok());
  EXPECT_FALSE(report->Set(Property{MakeTag(0x6612, mapi::kMultiValued | 0x0102), "\x09\0\0\0"}).ok());
  MustOk(report->AddRecipient(Recipient("Bob", 1)));
  MustOk(report->AddRecipient(Recipient("Carol", 2)));
  for (int i = 0; i < 3000; ++i) MustOk(report->AddRecipient(Recipient("Person " + std::to_string(i), i % 3 + 1)));
  const std::string numbers = Pattern(30000, 1);
  Attach(*report, "numbers.bin", numbers);
  Attach(*report, "note.txt", "tiny");
  MustOk(report->Save());

  auto big = Must(store->NewMessage(inbox));
  MustOk(big->Set(prop::String(kSubject, "Big")));
  const std::string body = Utf8ToUtf16Le(std::string(3 * 1024 * 1024, 'b'));
  Stream(big->OpenStream(kBody), body, 100000);
  const std::string data = Pattern(9 * 1024 * 1024 + 17, 3);
  Attachment* a = Must(big->AddAttachment());
  MustOk(a->Set(prop::String(kAttachLongFilename, "big.bin")));
  Stream(a->OpenStream(kAttachDataBinary), data, 65536);
  EXPECT_FALSE(big->OpenStream(kMessageFlags).ok());
  MustOk(big->Save());
  EXPECT_EQ(Find(Must(store->ReadMessageProperties(big->id())), kBody)->data, body) << "read before any commit";

  {  // Dropped unsaved: with a stream written, with one still open, with an unsaved embedded message.
    auto m = Must(store->NewMessage(inbox));
    Stream(Must(m->AddAttachment())->OpenStream(kAttachDataBinary), Pattern(200000, 4), 200000);
    auto open = Must(store->NewMessage(inbox));
    MustOk(Must(open->OpenStream(kBody))->Write(std::string(50000, 'x')));
    auto embedding = Must(store->NewMessage(inbox));
    Must(Must(embedding->AddAttachment())->EmbedMessage());
    EXPECT_FALSE(embedding->Save().ok());
    EXPECT_FALSE(embedding->Save().ok());
  }
  const FolderInfo counted = Must(store->GetFolder(inbox));
  EXPECT_EQ(counted.content_count, 2u);
  EXPECT_EQ(counted.unread_count, 1u);
  const uint32_t report_id = report->id();
  MustOk(store->Close());

  const CheckReport checked = CheckStore(Env::Default(), path);
  EXPECT_TRUE(checked.warnings.empty()) << checked.Summary();
  EXPECT_EQ(checked.messages, 2u);
  const std::string dump = VerifiedDump(path);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Inbox items=2"));
  EXPECT_THAT(dump, HasSubstr("| Quarterly report | Alice Example | attachments=" + Listed("numbers.bin", numbers) + "," +
                              Listed("note.txt", "tiny") + " | body=17"));
  EXPECT_THAT(dump, HasSubstr("| Big | None | attachments=" + Listed("big.bin", data) +
                              " | body=" + std::to_string(body.size() / 2)));
  const std::string out = TempDir("readpst");
  ReadPst(path, out);
  const std::string mbox = ReadAll(out + "/Inbox.mbox");
  for (const char* shown : {"Subject: Quarterly report", "To: Bob", "Cc: Carol", "Person 2999", "filename=\"numbers.bin\""}) {
    EXPECT_THAT(mbox, HasSubstr(shown));
  }

  {
    auto reread = OpenReadOnly(path);
    const auto back = Must(reread->ReadMessageProperties(report_id));
    for (const auto& p : typed) {
      const Property* got = Find(back, p.tag);
      ASSERT_NE(got, nullptr) << std::hex << p.tag;
      EXPECT_EQ(got->data, p.data) << std::hex << p.tag;
    }
    ASSERT_NE(Find(back, MakeTag(0x660F, mapi::PropType::kUnicode)), nullptr);
    EXPECT_EQ(Find(back, MakeTag(0x660F, mapi::PropType::kUnicode))->data, std::string("p\0l\0a\0i\0n\0", 10));
    for (mapi::PropTag required : {kMessageClass, kMessageFlags, kMessageSize, kCreationTime, kSearchKey}) {
      EXPECT_NE(Find(back, required), nullptr) << std::hex << required;
    }
    const auto listed = Must(reread->ListMessages(inbox));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].subject, "Big");
    EXPECT_GT(listed[1].size, data.size() + body.size());
  }
  auto reopened = Must(Store::Open(path));
  EXPECT_EQ(Must(reopened->MapNamedProperty(by_name)), named_b);
  EXPECT_EQ(Must(reopened->MapNamedProperty(by_number)), named_a);
  EXPECT_GT(Must(reopened->MapNamedProperty(NamedProperty{kPsetidCommon, std::nullopt, "Another"})), std::max(named_a, named_b));
  MustOk(reopened->Close());
}

}  // namespace
}  // namespace baleport::pst::testing
