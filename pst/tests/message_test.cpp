// Items of every shape in one store, judged by the checker and every reader, then read back.
#include <gtest/gtest.h>

#include <zlib.h>

#include <map>

#include "mapi/tags.h"
#include "msg/testing/msg_writer.h"
#include "pst/messaging/text.h"
#include "pst/tests/store_testing.h"
#include "support/hex.h"

namespace baleport::pst::testing {
namespace {

using namespace mapi::tags;
using mapi::MakeTag;

std::map<mapi::PropTag, std::string> Values(const std::vector<Property>& props) {
  std::map<mapi::PropTag, std::string> out;
  for (const auto& p : props) out[p.tag] = p.data;
  return out;
}

std::string Pattern(size_t n, uint8_t seed) {
  const std::vector<uint8_t> bytes = msg::testing::Pattern(n, seed);
  return {bytes.begin(), bytes.end()};
}

// "name:size:CRC" as the pypff dump lists an attachment (zlib's CRC-32).
std::string Listed(const std::string& name, std::string_view s) {
  return name + ":" + std::to_string(s.size()) + ":" +
         Hex(static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(s.data()), s.size())));
}

// Writes `data` through a stream in pieces of `piece` bytes.
void Stream(Result<std::unique_ptr<ValueStream>> stream, std::string_view data, size_t piece) {
  auto s = Must(std::move(stream));
  for (size_t at = 0; at < data.size(); at += piece) MustOk(s->Write(data.substr(at, piece)));
  MustOk(s->Close());
}

// Recipients past a subnode's worth, attachments by value, values streamed past one XBLOCK (an
// XXBLOCK tree), malformed values refused, and items dropped unsaved. Embedded messages and
// OLE objects go in through the import: import/tests.
TEST(Messages, EveryShapeReachesTheReadersAndReadsBack) {
  const std::string path = TempDir("messages") + "/m.pst";
  auto store = Must(Store::Create(path, "Messages"));
  MustOk(store->EnsureStandardFolders());
  const FolderId inbox = Must(store->DefaultFolder(StandardFolder::kInbox));

  // Every fixed type, strings and binaries reach the readers from the sample messages
  // (import/tests compares each property); these are the edges those lack.
  const std::vector<Property> typed = {
      prop::Multi(MakeTag(0x660B, mapi::kMultiValued | 0x001F), {"one", "", "three"}),
      prop::Multi(MakeTag(0x660C, mapi::kMultiValued | 0x0102), {"\1\2", Pattern(5000, 2)}),
      prop::Binary(MakeTag(0x660D, mapi::PropType::kBinary), ""),
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
  for (int i = 0; i < 3002; ++i) {
    const std::string name = i == 0 ? "Bob" : i == 1 ? "Carol" : "Person " + std::to_string(i - 2);
    MustOk(report->AddRecipient({prop::Int32(kRecipientType, i % 3 + 1), prop::String(kDisplayName, name),
                                 prop::String(kAddressType, "SMTP"), prop::String(kEmailAddress, name + "@example.com"),
                                 prop::Int32(kObjectType, 6), prop::Int32(kDisplayType, 0)}));
  }
  const std::string numbers = Pattern(30000, 1);
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"numbers.bin", numbers}, {"note.txt", "tiny"}}) {
    Attachment* a = Must(report->AddAttachment());
    MustOk(a->Set(prop::String(kAttachLongFilename, name)));
    MustOk(a->Set(prop::Binary(kAttachDataBinary, bytes)));
  }
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
  EXPECT_EQ(Values(Must(store->ReadMessageProperties(big->id()))).at(kBody), body) << "read before any commit";

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
  const uint32_t report_id = report->id();
  MustOk(store->Close());

  const CheckReport checked = CheckStore(Env::Default(), path);
  EXPECT_TRUE(checked.warnings.empty()) << checked.Summary();
  const std::string dump = VerifiedDump(path);
  EXPECT_THAT(dump, HasSubstr("F /Top of Personal Folders/Inbox items=2"));
  EXPECT_THAT(dump, HasSubstr("| Quarterly report | Alice Example | attachments=" + Listed("numbers.bin", numbers) + "," +
                              Listed("note.txt", "tiny") + " | body=17"));
  EXPECT_THAT(dump, HasSubstr("| Big | None | attachments=" + Listed("big.bin", data) +
                              " | body=" + std::to_string(body.size() / 2)));
  const std::string out = TempDir("readpst");
  ReadPst(path, out);
  const std::string mbox = ReadAll(out + "/Inbox.mbox");
  for (const char* shown : {"To: Bob", "Cc: Carol", "Person 2999"}) EXPECT_THAT(mbox, HasSubstr(shown));

  auto reread = OpenReadOnly(path);
  const auto back = Values(Must(reread->ReadMessageProperties(report_id)));
  for (const auto& p : typed) EXPECT_EQ(back.contains(p.tag) ? back.at(p.tag) : "(missing)", p.data) << std::hex << p.tag;
  EXPECT_EQ(back.at(MakeTag(0x660F, mapi::PropType::kUnicode)), std::string("p\0l\0a\0i\0n\0", 10));
  EXPECT_GT(Must(reread->ListMessages(inbox)).at(1).size, data.size() + body.size());
}

}  // namespace
}  // namespace baleport::pst::testing
