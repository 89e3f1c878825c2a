// The import of made-up .msg files, each holding what real files hold at their edges:
// 8-bit strings in several code pages, large values, every attachment kind, nested
// embedded messages, named properties defined and undefined, values the store owns,
// and files that are not messages at all.
#include "import/msg_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "mapi/tags.h"
#include "msg/testing/msg_writer.h"
#include "pst/tests/store_testing.h"

namespace baleport::import {
namespace {

namespace fs = std::filesystem;
using msg::PropertyName;
using msg::testing::FixtureAttachment;
using msg::testing::FixtureFile;
using msg::testing::FixtureMessage;
using msg::testing::Utf16Bytes;
using pst::testing::Must;
using pst::testing::MustOk;
using pst::testing::Quote;
using namespace mapi::tags;

constexpr msg::Guid kPsetidCommon = {
    {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return out;
}

// A long Unicode body as some writers leave it: with its terminating NUL, streamed.
std::vector<uint8_t> Body(size_t characters) {
  std::vector<uint8_t> bytes = Utf16Bytes(std::string(characters, 'w') + "ende");
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// A store with an Inbox that the test fills, closes and hands to the readers.
class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = pst::testing::TempDir("import");
    store_ = Must(pst::Store::Create(dir_ + "/store.pst", "Import"));
    MustOk(store_->EnsureStandardFolders());
    inbox_ = Must(store_->DefaultFolder(pst::StandardFolder::kInbox));
  }

  std::string Write(const FixtureFile& fixture, const std::string& name) {
    const std::string path = dir_ + "/" + name;
    MustOk(msg::testing::WriteMsgToPath(fixture, path));
    return path;
  }

  // Imports and saves; the file joins the list compare_import.py checks.
  void Import(const std::string& path) {
    auto item = Must(store_->NewMessage(inbox_));
    MustOk(ImportMessageFile(path, *item, *store_));
    MustOk(item->Save());
    imported_ += " " + Quote(path);
  }

  // Closes the store; the checker, every independent reader and the comparison must accept it.
  // Returns pypff's dump (see pst/tests/readers.h), which cannot be made of an item with
  // an attachment by reference: pypff fails to read the size of data that is not there.
  std::string CloseAndCompare(bool dump = true) {
    MustOk(store_->Close());
    const std::string path = dir_ + "/store.pst";
    const pst::CheckReport report = pst::CheckStore(Env::Default(), path);
    EXPECT_TRUE(report.ok()) << report.Summary();
    EXPECT_EQ(pst::testing::ReaderFailures(path), "");
    const pst::testing::CommandResult compared = pst::testing::Run(
        "/usr/bin/python3 " BALEPORT_IMPORT_TESTS_DIR "/compare_import.py " + Quote(path) + imported_);
    EXPECT_EQ(compared.output, "");
    EXPECT_EQ(compared.exit_code, 0);
    if (!dump) return "";
    const pst::testing::CommandResult pypff = pst::testing::PypffDump(path);
    EXPECT_EQ(pypff.exit_code, 0) << pypff.output;
    return pypff.output;
  }

  std::string dir_;
  std::unique_ptr<pst::Store> store_;
  pst::FolderId inbox_ = 0;
  std::string imported_;
};

// 8-bit strings are decoded with the message's code page and stored as Unicode: pypff
// must show the text itself, whatever the code page.
TEST_F(ImportTest, EightBitStringsReadRightInEveryCodePage) {
  struct Case {
    const char* name;
    uint16_t code_page_tag_id;
    int32_t code_page;
    std::string bytes;  // the subject in that code page
    std::string text;   // ... and as UTF-8
  };
  const Case cases[] = {
      {"japanese", 0x3FFD, 932, "\x93\xfa\x96\x7b\x8c\xea", "日本語"},
      {"cyrillic", 0x3FDE, 1251, "\xcf\xf0\xe8\xe2\xe5\xf2", "Привет"},
      {"chinese", 0x3FDE, 936, "\xd6\xd0\xce\xc4", "中文"},
      // Declared UTF-8 but written in 1252, as some mailers do: the fallback applies to the
      // streamed body as to the short values.
      {"utf8-declared", 0x3FDE, 65001, "\xe9t\xe9", "été"},
  };
  for (const Case& c : cases) {
    FixtureFile f;
    f.message.Int32(c.code_page_tag_id, c.code_page)
        .String8(0x001A, "IPM.Note")
        .String8(0x0037, c.bytes)
        .String8(0x0C1A, c.bytes)
        .String8(0x1000, c.bytes + "\r\n" + std::string(70000, 'x'));  // streamed through the decoder
    msg::testing::FixtureObject recipient;
    recipient.Int32(0x0C15, 1).String8(0x3001, c.bytes).String8(0x3003, "a@example.com").String8(0x3002, "SMTP");
    f.message.recipients.push_back(recipient);
    Import(Write(f, std::string(c.name) + ".msg"));
  }
  const std::string dump = CloseAndCompare();
  for (const Case& c : cases) {
    EXPECT_NE(dump.find("| " + c.text + " | " + c.text + " |"), std::string::npos) << c.name << "\n" << dump;
  }
}

TEST_F(ImportTest, AttachmentsOfEveryKindAndNestedMessagesAreTheItemsOwn) {
  FixtureFile f;
  f.names.push_back({kPsetidCommon, PropertyName::Kind::kNumeric, 0x8580, {}, {}});
  f.names.push_back({msg::kPsPublicStrings, PropertyName::Kind::kString, 0, {}, "Keywords ü"});
  f.names.push_back({msg::kPsMapi, PropertyName::Kind::kNumeric, 0x0E1D, {}, {}});
  f.names.push_back({msg::kPsMapi, PropertyName::Kind::kNumeric, 0x0070, {}, {}});
  f.message.Unicode(0x001A, "IPM.Note")
      .Unicode(0x0037, "Outer")
      .Int32(0x8000, 42)
      .Unicode(0x8001, "tagged")
      .Unicode(0x8002, "normalized")  // PS_MAPI 0x0E1D: PR_NORMALIZED_SUBJECT, the store's
      .Unicode(0x8003, "topic")       // PS_MAPI 0x0070: PR_CONVERSATION_TOPIC
      .Int32(0x8005, 7)               // a local id the file does not name: left out
      .Binary(0x1013, Bytes("<html><body>outer</body></html>"))
      .Binary(0x1009, Pattern(90000, 3))  // compressed RTF: streamed, byte for byte
      .Add({mapi::MakeTag(0x1000, mapi::PropType::kUnicode), Body(100000), {}})
      .Time(0x0039, 0x01D6000000000000ull)
      .Int32(0x0E07, 0x08 | 0x20)  // unsent, from me: not kept
      .Binary(0x0FFF, Bytes("entry id of the file's store"));

  FixtureAttachment by_value;
  by_value.Unicode(0x3707, "large.bin").Unicode(0x3704, "large.bin").Int32(0x3705, 1).Int32(0x0E21, 0);
  by_value.Binary(0x3701, Pattern(300000, 1));
  FixtureAttachment by_reference;
  by_reference.Unicode(0x3707, "linked.doc").Int32(0x3705, 4).Unicode(0x370D, "\\\\server\\share\\linked.doc");

  auto inner = std::make_shared<FixtureMessage>();
  inner->Unicode(0x001A, "IPM.Note").Unicode(0x0037, "Innermost").Int32(0x8000, 43);
  auto middle = std::make_shared<FixtureMessage>();
  middle->Unicode(0x001A, "IPM.Note").Unicode(0x0037, "Middle").Unicode(0x1000, "middle body");
  FixtureAttachment small;
  small.Unicode(0x3707, "small.txt").Int32(0x3705, 1).Binary(0x3701, Bytes("small"));
  middle->attachments.push_back(small);
  FixtureAttachment innermost;
  innermost.Unicode(0x3001, "Innermost").Int32(0x3705, 5);
  innermost.embedded = inner;
  middle->attachments.push_back(innermost);
  FixtureAttachment embedded;
  embedded.Unicode(0x3001, "Middle").Int32(0x3705, 5);
  embedded.embedded = middle;

  f.message.attachments = {by_value, by_reference, embedded};
  Import(Write(f, "rich.msg"));
  CloseAndCompare(/*dump=*/false);

  // Through the engine's own reading: what the store owns is not the file's.
  store_ = Must(pst::Store::Open(dir_ + "/store.pst"));
  const auto items = Must(store_->ListMessages(Must(store_->DefaultFolder(pst::StandardFolder::kInbox))));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].flags, 0x11u);
  bool has_undefined_name = false, has_normalized_subject = false, has_file_entry_id = false;
  std::string topic;
  for (const pst::Property& p : Must(store_->ReadMessageProperties(items[0].id))) {
    if (p.tag == kEntryId && p.data == "entry id of the file's store") has_file_entry_id = true;
    if (mapi::TagId(p.tag) == mapi::TagId(kNormalizedSubject)) has_normalized_subject = true;
    if (p.tag == kConversationTopic) topic = p.data;
    if (mapi::TagType(p.tag) == 0x0003 && p.data == std::string("\x07\0\0\0", 4)) has_undefined_name = true;
  }
  EXPECT_FALSE(has_file_entry_id);
  EXPECT_FALSE(has_undefined_name);
  EXPECT_FALSE(has_normalized_subject);
  EXPECT_EQ(topic, std::string("t\0o\0p\0i\0c\0", 10));  // a PS_MAPI name is its plain id
}

// An OLE object's storage goes in as the attachment's data object (PtypObject): a compound
// file of its own, with every stream of the storage in it (read by pypff, opened by olefile).
TEST_F(ImportTest, AnOleAttachmentKeepsItsStorageAsACompoundFile) {
  auto object = std::make_shared<FixtureMessage>();
  object->Unicode(0x0037, "inside the object").Binary(0x1013, Pattern(5000, 9));
  FixtureAttachment ole;
  ole.Unicode(0x3707, "object.bin").Int32(0x3705, 6);
  ole.embedded = object;
  FixtureFile f;
  f.message.Unicode(0x0037, "with an OLE object");
  f.message.attachments.push_back(ole);
  Import(Write(f, "ole.msg"));
  CloseAndCompare();
  const pst::testing::CommandResult read = pst::testing::Run(
      "/usr/bin/python3 -c '"
      "import io, sys, olefile, pypff\n"
      "f = pypff.file(); f.open(sys.argv[1])\n"
      "top = [f.root_folder.get_sub_folder(i) for i in range(f.root_folder.number_of_sub_folders)]\n"
      "inbox = [s for t in top for s in t.sub_folders if s.name == \"Inbox\"][0]\n"
      "a = inbox.get_sub_message(0).get_attachment(0)\n"
      "ole = olefile.OleFileIO(io.BytesIO(a.read_buffer(a.size)))\n"
      "print(sorted(\"/\".join(e) for e in ole.listdir()))\n"
      "print(len(ole.openstream(\"__substg1.0_10130102\").read()))\n"
      "print([hex(e.value_type) for e in a.record_sets[0].entries if e.entry_type == 0x3701])' " +
      Quote(dir_ + "/store.pst"));
  EXPECT_EQ(read.exit_code, 0) << read.output;
  EXPECT_EQ(read.output, "['__properties_version1.0', '__substg1.0_0037001F', '__substg1.0_10130102']\n5000\n['0xd']\n");
}

// The mended fault: the file's has-attachments bit (or a blanket 17) must not put a
// paper clip on an item without attachments.
TEST_F(ImportTest, HasAttachmentsFollowsTheAttachmentsNotTheFile) {
  FixtureFile plain;
  plain.message.Unicode(0x0037, "no attachments").Int32(0x0E07, 0x10 | 0x08).Bool(0x0E1B, true);
  Import(Write(plain, "plain.msg"));
  FixtureFile with;
  with.message.Unicode(0x0037, "one attachment").Int32(0x0E07, 0x00);
  FixtureAttachment a;
  a.Unicode(0x3707, "a.txt").Int32(0x3705, 1).Binary(0x3701, Bytes("a"));
  with.message.attachments.push_back(a);
  Import(Write(with, "with.msg"));
  CloseAndCompare();  // checks flags: 0x01 and 0x11
}

TEST_F(ImportTest, BrokenFilesFailNamingTheFileAndLeaveNoItem) {
  FixtureFile good;
  good.message.Unicode(0x0037, "good").Unicode(0x1000, std::string(5000, 'b'));
  const std::vector<uint8_t> bytes = Must(msg::testing::WriteMsgToMemory(good));
  const std::pair<std::string, std::string> files[] = {
      {"empty.msg", ""},
      {"truncated.msg", std::string(bytes.begin(), bytes.begin() + bytes.size() / 2)},
      {"text.msg", "Subject: not a compound file\r\n\r\nhello\r\n"},
  };
  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    auto item = Must(store_->NewMessage(inbox_));
    const Status imported = ImportMessageFile(path, *item, *store_);
    ASSERT_FALSE(imported.ok());
    EXPECT_NE(imported.message().find(path), std::string::npos) << imported.message();
    // dropped unsaved, as the conversion does with a failed item
  }
  EXPECT_FALSE(ImportMessageFile(dir_ + "/missing.msg", *Must(store_->NewMessage(inbox_)), *store_).ok());
  CloseAndCompare();
  store_ = Must(pst::Store::Open(dir_ + "/store.pst"));
  EXPECT_TRUE(Must(store_->ListMessages(Must(store_->DefaultFolder(pst::StandardFolder::kInbox)))).empty());
}

}  // namespace
}  // namespace baleport::import
