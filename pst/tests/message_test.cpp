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

std::vector<Property> Recipient(const std::string& name, const std::string& address, int type) {
  return {prop::Int32(kRecipientType, type), prop::String(kDisplayName, name), prop::String(kAddressType, "SMTP"),
          prop::String(kEmailAddress, address), prop::Int32(kObjectType, 6), prop::Int32(kDisplayType, 0)};
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

// The zlib CRC-32 of the pypff dump (the engine's CRC is zlib's without its inversions).
std::string Crc32Hex(std::string_view s) { return Hex(static_cast<uint32_t>(~disk::Crc(s.data(), s.size(), ~0u))); }

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempDir("messages") + "/m.pst";
    store_ = Must(Store::Create(path_, "Messages"));
    MustOk(store_->EnsureStandardFolders());
    inbox_ = Must(store_->DefaultFolder(StandardFolder::kInbox));
  }
  std::string path_;
  std::unique_ptr<Store> store_;
  FolderId inbox_ = 0;
};

// Recipients, attachments by value, embedded messages nested two deep, and OLE objects (their
// storage as PidTagAttachDataObject with method 6: readers find its bytes, and the checker
// does not take it for an embedded message).
TEST_F(MessageTest, MailOfEveryShapeReachesTheReaders) {
  auto m = Must(store_->NewMessage(inbox_));
  MustOk(m->Set(prop::String(kSubject, "Quarterly report")));
  MustOk(m->Set(prop::String(kBody, "Numbers attached.")));
  MustOk(m->Set(prop::Binary(kBodyHtml, "<p>Numbers attached.</p>")));
  MustOk(m->Set(prop::String(kSenderName, "Alice Example")));
  MustOk(m->Set(prop::Time(kMessageDeliveryTime, 133000000000000000ull)));
  MustOk(m->AddRecipient(Recipient("Bob", "bob@example.com", 1)));
  MustOk(m->AddRecipient(Recipient("Carol", "carol@example.com", 2)));
  const std::string data = Pattern(30000, 1);
  Attachment* a = Must(m->AddAttachment());
  MustOk(a->Set(prop::String(kAttachLongFilename, "numbers.bin")));
  MustOk(a->Set(prop::String(kAttachFilename, "numbers.bin")));
  MustOk(a->Set(prop::Binary(kAttachDataBinary, data)));
  Attachment* small = Must(m->AddAttachment());
  MustOk(small->Set(prop::String(kAttachLongFilename, "note.txt")));
  MustOk(small->Set(prop::Binary(kAttachDataBinary, "tiny")));
  MustOk(m->Save());
  EXPECT_NE(m->id(), 0u);

  auto outer = Must(store_->NewMessage(inbox_));
  MustOk(outer->Set(prop::String(kSubject, "Outer")));
  Attachment* a_inner = Must(outer->AddAttachment());
  MustOk(a_inner->Set(prop::String(kDisplayName, "Inner mail")));
  Message* inner = Must(a_inner->EmbedMessage());
  MustOk(inner->Set(prop::String(kSubject, "Inner")));
  MustOk(inner->Set(prop::String(kBody, "inner body")));
  MustOk(inner->AddRecipient(Recipient("Dan", "dan@example.com", 1)));
  Attachment* deeper = Must(inner->AddAttachment());
  MustOk(deeper->Set(prop::String(kAttachLongFilename, "deep.txt")));
  MustOk(deeper->Set(prop::Binary(kAttachDataBinary, "deep data")));
  MustOk(inner->Save());
  MustOk(outer->Save());

  auto with_objects = Must(store_->NewMessage(inbox_));
  MustOk(with_objects->Set(prop::String(kSubject, "With an object")));
  const std::string storage = Pattern(20000, 7);
  for (const std::string& bytes : {storage, std::string("small object")}) {
    Attachment* o = Must(with_objects->AddAttachment());
    MustOk(o->Set(prop::String(kAttachLongFilename, "picture" + std::to_string(bytes.size()))));
    MustOk(o->Set(prop::Int32(kAttachMethod, 6)));
    auto out = Must(o->OpenStream(kAttachDataObject));
    const size_t half = bytes.size() / 2;
    MustOk(out->Write(std::string_view(bytes).substr(0, half)));
    MustOk(out->Write(std::string_view(bytes).substr(half)));
    MustOk(out->Close());
  }
  MustOk(with_objects->Save());
  MustOk(store_->Close());

  std::string dump = VerifiedDump(path_);
  EXPECT_NE(dump.find("M /Top of Personal Folders/Inbox | Quarterly report | Alice Example | attachments=numbers.bin:30000:" +
                      Crc32Hex(data) + ",note.txt:4:" + Crc32Hex("tiny") + " | body=17"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("With an object | None | attachments=picture20000:20000:" + Crc32Hex(storage) +
                      ",picture12:12:" + Crc32Hex("small object")),
            std::string::npos)
      << dump;
  std::string out = TempDir("readpst-mail");
  CommandResult rp = ReadPst(path_, out);
  EXPECT_NE(rp.output.find("FILE Inbox.mbox"), std::string::npos) << rp.output;
  std::string mbox = ReadAll(out + "/Inbox.mbox");
  for (const char* shown : {"Subject: Quarterly report", "To: Bob", "Cc: Carol", "filename=\"numbers.bin\"",
                            "Subject: Outer", "Subject: Inner", "deep.txt"}) {
    EXPECT_NE(mbox.find(shown), std::string::npos) << shown;
  }
}

TEST_F(MessageTest, ThousandsOfRecipientsSpillIntoSubnodes) {
  auto m = Must(store_->NewMessage(inbox_));
  MustOk(m->Set(prop::String(kSubject, "Many recipients")));
  for (int i = 0; i < 3000; ++i) {
    MustOk(m->AddRecipient(Recipient("Person " + std::to_string(i), "p" + std::to_string(i) + "@example.com", i % 3 + 1)));
  }
  MustOk(m->Set(prop::String(kDisplayTo, "Everyone")));
  MustOk(m->Save());
  MustOk(store_->Close());
  VerifiedDump(path_);
  std::string out = TempDir("readpst-many");
  ReadPst(path_, out);
  std::string mbox = ReadAll(out + "/Inbox.mbox");
  EXPECT_NE(mbox.find("Person 2998"), std::string::npos);
  EXPECT_NE(mbox.find("Person 2999"), std::string::npos);
}

TEST_F(MessageTest, EveryPropertyTypeRoundTrips) {
  Guid g{};
  for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(i * 7);
  std::string int32s;
  for (uint32_t v : {1u, 2u, 0xFFFFFFFFu}) AppendLe<uint32_t>(int32s, v);
  const std::vector<Property> props = {
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
  };
  auto m = Must(store_->NewMessage(inbox_));
  for (const auto& p : props) MustOk(m->Set(p));
  // 8-bit strings are stored as Unicode.
  MustOk(m->Set(Property{MakeTag(0x660F, mapi::PropType::kString8), "plain"}));
  EXPECT_FALSE(m->Set(Property{MakeTag(0x6610, mapi::PropType::kInt32), "abc"}).ok());
  EXPECT_FALSE(m->Set(Property{MakeTag(0x6611, mapi::PropType::kUnicode), "odd"}).ok());
  EXPECT_FALSE(m->Set(Property{MakeTag(0x6612, mapi::kMultiValued | 0x0102), "\x09\0\0\0"}).ok());
  MustOk(m->Save());
  const uint32_t id = m->id();
  MustOk(store_->Close());
  VerifiedDump(path_);

  auto reopened = Must(Store::Open(path_, StoreOptions{nullptr, true}));
  auto back = Must(reopened->ReadMessageProperties(id));
  for (const auto& p : props) {
    const Property* got = Find(back, p.tag);
    ASSERT_NE(got, nullptr) << std::hex << p.tag;
    EXPECT_EQ(got->data, p.data) << std::hex << p.tag;
  }
  const Property* plain = Find(back, MakeTag(0x660F, mapi::PropType::kUnicode));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->data, std::string("p\0l\0a\0i\0n\0", 10));
  for (mapi::PropTag required : {kMessageClass, kMessageFlags, kMessageSize, kCreationTime, kSearchKey}) {
    EXPECT_NE(Find(back, required), nullptr) << std::hex << required;
  }
}

TEST_F(MessageTest, LargeValuesAreStreamedBlockByBlock) {
  auto m = Must(store_->NewMessage(inbox_));
  MustOk(m->Set(prop::String(kSubject, "Big")));
  const std::string body = Utf8ToUtf16Le(std::string(3 * 1024 * 1024, 'b'));
  auto s = Must(m->OpenStream(kBody));
  for (size_t off = 0; off < body.size(); off += 100000) MustOk(s->Write(std::string_view(body).substr(off, 100000)));
  MustOk(s->Close());
  Attachment* a = Must(m->AddAttachment());
  MustOk(a->Set(prop::String(kAttachLongFilename, "big.bin")));
  const std::string data = Pattern(9 * 1024 * 1024 + 17, 3);  // past one XBLOCK: an XXBLOCK tree
  auto as = Must(a->OpenStream(kAttachDataBinary));
  for (size_t off = 0; off < data.size(); off += 65536) MustOk(as->Write(std::string_view(data).substr(off, 65536)));
  MustOk(as->Close());
  EXPECT_FALSE(m->OpenStream(kMessageFlags).ok());
  MustOk(m->Save());
  // Readable before any commit, though far larger than the file was.
  auto props = Must(store_->ReadMessageProperties(m->id()));
  ASSERT_NE(Find(props, kBody), nullptr);
  EXPECT_EQ(Find(props, kBody)->data, body);
  MustOk(store_->Close());

  std::string dump = VerifiedDump(path_);
  EXPECT_NE(dump.find("| Big | None | attachments=big.bin:" + std::to_string(data.size()) + ":" + Crc32Hex(data) +
                      " | body=" + std::to_string(body.size() / 2)),
            std::string::npos)
      << dump;
  auto messages = Must(Must(Store::Open(path_, StoreOptions{nullptr, true}))->ListMessages(inbox_));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_GT(messages[0].size, data.size() + body.size());
}

TEST_F(MessageTest, CountsFollowSavedItems) {
  for (int i = 0; i < 5; ++i) {
    auto m = Must(store_->NewMessage(inbox_));
    MustOk(m->Set(prop::String(kSubject, "Item " + std::to_string(i))));
    if (i < 2) MustOk(m->Set(prop::Int32(kMessageFlags, 1)));
    MustOk(m->Save());
  }
  FolderInfo f = Must(store_->GetFolder(inbox_));
  EXPECT_EQ(f.content_count, 5u);
  EXPECT_EQ(f.unread_count, 3u);
  MustOk(store_->Close());
  std::string dump = VerifiedDump(path_);
  EXPECT_NE(dump.find("F /Top of Personal Folders/Inbox items=5"), std::string::npos) << dump;
  auto listed = Must(Must(Store::Open(path_, StoreOptions{nullptr, true}))->ListMessages(inbox_));
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[4].subject, "Item 4");
  EXPECT_EQ(listed[0].message_class, "IPM.Note");
}

TEST_F(MessageTest, DiscardedItemsLeaveNoTrace) {
  MustOk(store_->Commit());
  const std::string before = ReadAll(path_);
  {
    auto m = Must(store_->NewMessage(inbox_));
    MustOk(m->Set(prop::String(kSubject, "Never saved")));
    Attachment* a = Must(m->AddAttachment());
    auto s = Must(a->OpenStream(kAttachDataBinary));
    MustOk(s->Write(Pattern(200000, 4)));
    MustOk(s->Close());
  }
  {
    auto m = Must(store_->NewMessage(inbox_));
    auto s = Must(m->OpenStream(kBody));
    MustOk(s->Write(std::string(50000, 'x')));
    // Dropped with the stream still open.
  }
  {
    auto m = Must(store_->NewMessage(inbox_));
    Must(Must(m->AddAttachment())->EmbedMessage());
    EXPECT_FALSE(m->Save().ok()) << "an unsaved embedded message fails the save";
    EXPECT_FALSE(m->Save().ok());
  }
  EXPECT_EQ(Must(store_->GetFolder(inbox_)).content_count, 0u);
  MustOk(store_->Close());
  CheckReport report = CheckStore(Env::Default(), path_);
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_TRUE(report.warnings.empty()) << report.Summary();
  EXPECT_EQ(report.messages, 0u);
  VerifiedDump(path_);
}

TEST_F(MessageTest, NamedPropertiesAreMappedOnceAndKept) {
  NamedProperty by_number{kPsetidCommon, 0x8501, ""};
  NamedProperty by_name{kPsPublicStrings, std::nullopt, "X-Custom-Header"};
  const uint16_t a = Must(store_->MapNamedProperty(by_number));
  const uint16_t b = Must(store_->MapNamedProperty(by_name));
  EXPECT_GE(a, 0x8000);
  EXPECT_NE(a, b);
  EXPECT_EQ(Must(store_->MapNamedProperty(by_number)), a);
  EXPECT_FALSE(store_->MapNamedProperty(NamedProperty{}).ok());
  auto m = Must(store_->NewMessage(inbox_));
  MustOk(m->Set(prop::Int32(MakeTag(a, mapi::PropType::kInt32), 15)));
  MustOk(m->Set(prop::String(MakeTag(b, mapi::PropType::kUnicode), "custom value")));
  MustOk(m->Save());
  MustOk(store_->Close());
  VerifiedDump(path_);
  auto reopened = Must(Store::Open(path_));
  EXPECT_EQ(Must(reopened->MapNamedProperty(by_name)), b);
  EXPECT_EQ(Must(reopened->MapNamedProperty(by_number)), a);
  const uint16_t c = Must(reopened->MapNamedProperty(NamedProperty{kPsetidCommon, std::nullopt, "Another"}));
  EXPECT_GT(c, std::max(a, b));
  MustOk(reopened->Close());
}

}  // namespace
}  // namespace baleport::pst::testing
