// The import of the real samples in ../shared/samples/msg and of made-up files holding what
// they lack: other code pages, Unicode HTML, large values, every attachment kind, names not
// defined, values the store owns. Every store goes to the checker, the readers and
// compare_import.py (olefile against pypff).
#include "import/msg_to_item.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "mapi/tags.h"
#include "msg/testing/msg_writer.h"
#include "pst/tests/outlook_layout.h"
#include "pst/tests/store_testing.h"
#include "support/utf16_text.h"

namespace baleport::import {
namespace {

namespace fs = std::filesystem;
using msg::PropertyName;
using msg::testing::FixtureAttachment;
using msg::testing::FixtureFile;
using msg::testing::FixtureMessage;
using msg::testing::Pattern;
using msg::testing::Utf16Bytes;
using pst::testing::Must;
using pst::testing::MustOk;
using baleport::testing::Quote;
using namespace mapi::tags;

constexpr msg::Guid kPsetidCommon = {
    {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

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

  void Import(const std::string& path) {
    auto item = Must(store_->NewMessage(inbox_));
    Must(ImportMessageFile(path, *item, *store_));
    MustOk(item->Save());
    imported_ += " " + Quote(path);
  }

  void CloseAndCompare() {
    MustOk(store_->Close());
    const std::string path = dir_ + "/store.pst";
    const pst::CheckReport report = pst::CheckStore(Env::Default(), path);
    EXPECT_TRUE(report.ok()) << report.Summary();
    EXPECT_EQ(pst::testing::ReaderFailures(path), "");
    const baleport::testing::CommandResult compared = baleport::testing::Run(
        "/usr/bin/python3 " BALEPORT_IMPORT_TESTS_DIR "/compare_import.py " + Quote(path) + imported_);
    EXPECT_EQ(compared.output, "");
    EXPECT_EQ(compared.exit_code, 0);
  }

  // Read back by the engine, for what the readers cannot tell.
  std::vector<pst::Property> ItemProperties(const std::string& subject) {
    auto store = pst::testing::OpenReadOnly(dir_ + "/store.pst");
    for (const auto& item : Must(store->ListMessages(inbox_))) {
      if (item.subject == subject) return Must(store->ReadMessageProperties(item.id));
    }
    ADD_FAILURE() << "no item " << subject;
    return {};
  }

  std::string dir_;
  std::unique_ptr<pst::Store> store_;
  pst::FolderId inbox_ = 0;
  std::string imported_;
};

// Each message as its sender's Outlook showed it: 8-bit strings in the message's code page or
// its locale's, bodies in the Internet code page, HTML kept as PR_HTML bytes in that code page
// (UTF-8 when the file names none), a draft still unsent, times of 0 and of the far end kept.
TEST_F(ImportTest, EveryMessageReadsAsItsSenderSawIt) {
  const std::string ru = "\xcf\xf0\xe8\xe2\xe5\xf2";  // "Привет" in 1251
  const std::string koi = "\xf0\xd2\xc9\xd7\xc5\xd4";  // ... in KOI8-R
  FixtureFile russian;  // the reader's choice of code page (a locale's, another for the body), carried whole
  russian.message.Int32(0x3FF1, 1049).Int32(0x3FDE, 20866).String8(0x0037, ru).String8(0x0C1A, ru)
      .String8(0x1000, koi).String8(0x1013, "<p>" + koi + "</p>")
      .MultiVariable(mapi::MakeTag(0x8000, static_cast<mapi::PropType>(0x101E)), {Bytes(ru), Bytes("x" + ru)});
  russian.names.push_back({msg::kPsPublicStrings, PropertyName::Kind::kString, 0, {}, "Keywords"});
  russian.message.recipients.emplace_back().Int32(0x0C15, 1).String8(0x3001, ru).String8(0x3003, "r@example.com");
  russian.message.attachments.emplace_back().Int32(0x3705, 1).String8(0x3707, ru + ".txt").Binary(0x3701, Bytes("a"));
  FixtureAttachment& inner = russian.message.attachments.emplace_back();
  inner.Int32(0x3705, 5);
  inner.embedded = std::make_shared<FixtureMessage>();
  // No code page of its own: its message's. (pffexport drops a first character whose low byte
  // is below 0x20, as that of "П" is, taking it for a subject prefix length.)
  inner.embedded->String8(0x0037, "\xec\xe8\xf0");
  Import(Write(russian, "russian.msg"));

  FixtureFile wide;  // no Internet code page: UTF-8, named as such
  wide.message.Unicode(0x0037, "wide").Unicode(0x1013, "<p>Привет</p>");
  Import(Write(wide, "wide.msg"));
  FixtureFile streamed;  // encoded as it streams
  std::string long_html = "<p>";
  for (int i = 0; i < 40000; ++i) long_html += "я";
  streamed.message.Unicode(0x0037, "streamed").Int32(0x3FDE, 1251).Unicode(0x1013, long_html + "</p>");
  Import(Write(streamed, "streamed.msg"));
  // Of the file's flags only unsent is kept: no paper clip without attachments (0x09). Times
  // of 0 and of the far end are kept.
  FixtureFile draft;
  draft.message.Unicode(0x0037, "draft").Int32(0x0E07, 0x10 | 0x08 | 0x02).Bool(0x0E1B, true);
  draft.message.Time(0x0039, 0).Time(0x0E06, 0x7FFFFFFFFFFFFFFFull);
  Import(Write(draft, "draft.msg"));
  // A surrogate without its partner (damage, a value cut inside a character) becomes U+FFFD,
  // as readers refuse the item over one; pairs stay, wherever they fall. Read back by the
  // engine: libpff decodes pairs wrongly (U+1F600 comes out as U+1F201).
  FixtureFile cut;
  const std::u16string lead = std::u16string(31, u'x') + u"\xD83D\xDE00";  // a pair across 64-byte groups
  const std::string units = Utf16LeBytes(lead + u"abcd\xD800" u"e\xD83D\xDE00" u"fgh\xD83D\xDE00" u"ijk\xDC00");
  cut.message.Unicode(0x0037, "cut").Raw(mapi::MakeTag(0x1000, mapi::PropType::kUnicode), Bytes(units));
  Import(Write(cut, "cut.msg"));
  CloseAndCompare();
  std::string body;
  for (const pst::Property& p : ItemProperties("cut")) body = p.tag == kBody ? p.data : body;
  EXPECT_EQ(body, Utf16LeBytes(lead + u"abcd\xFFFD" u"e\xD83D\xDE00" u"fgh\xD83D\xDE00" u"ijk\xFFFD"));
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
      .Unicode(0x8003, "topic")       // PS_MAPI 0x0070: PR_CONVERSATION_TOPIC, a plain id
      .Int32(0x8005, 7)               // a local id the file does not name: left out
      .Binary(0x1013, Bytes("<html><body>outer</body></html>"))
      .Binary(0x1009, Pattern(90000, 3))  // compressed RTF: streamed, byte for byte
      .Raw(mapi::MakeTag(0x1000, mapi::PropType::kUnicode), Utf16Bytes(std::string(100000, 'w') + '\0'))
      .Time(0x0039, 0x01D6000000000000ull)
      .Int32(0x0E07, 0x08 | 0x20)  // unsent kept, from me not
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
  middle->attachments.emplace_back().Unicode(0x3707, "small.txt").Int32(0x3705, 1).Binary(0x3701, Bytes("small"));
  middle->attachments.emplace_back().Unicode(0x3001, "Innermost").Int32(0x3705, 5);
  middle->attachments.back().embedded = inner;
  FixtureAttachment embedded;
  embedded.Unicode(0x3001, "Middle").Int32(0x3705, 5);
  embedded.embedded = middle;

  f.message.attachments = {by_value, by_reference, embedded};
  Import(Write(f, "rich.msg"));
  // An OLE object's storage goes in as the attachment's data object (PtypObject): a compound
  // file of its own, with every stream of the storage and its class id in it; many children, so
  // that the copy builds its own directory tree.
  FixtureFile with_ole;
  with_ole.message.Unicode(0x0037, "with an OLE object");
  FixtureAttachment& ole = with_ole.message.attachments.emplace_back();
  ole.Unicode(0x3707, "object.bin").Int32(0x3705, 6);
  ole.embedded = std::make_shared<FixtureMessage>();
  ole.embedded->Unicode(0x0037, "inside the object").Binary(0x1013, Pattern(5000, 9));
  for (uint16_t i = 0; i < 40; ++i) ole.embedded->Binary(0x6000 + i, Pattern(i * 250, static_cast<uint8_t>(i)));
  ole.clsid = {0x06, 0x09, 0x02, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // a Word document
  Import(Write(with_ole, "ole.msg"));
  CloseAndCompare();

  // What the store owns, or the file does not name, is not copied (the comparison passes over both).
  for (const pst::Property& p : ItemProperties("Outer")) {
    EXPECT_NE(mapi::TagId(p.tag), mapi::TagId(kNormalizedSubject));
    EXPECT_FALSE(mapi::TagType(p.tag) == 0x0003 && p.data == std::string("\x07\0\0\0", 4)) << "an undefined name's value";
    EXPECT_NE(p.data, "entry id of the file's store");
  }
}

TEST_F(ImportTest, EverySampleReadsBackAsTheFileHoldsIt) {
  std::set<std::string> samples;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(BALEPORT_SAMPLES_DIR) / "msg", ec)) {
    if (entry.path().extension() == ".msg") samples.insert(entry.path().string());
  }
  if (samples.empty()) GTEST_SKIP() << "no samples in " BALEPORT_SAMPLES_DIR "/msg";
  for (const std::string& sample : samples) Import(sample);
  CloseAndCompare();
  const std::vector<std::string> outlook = pst::testing::OutlookSamples(BALEPORT_SAMPLES_DIR);
  ASSERT_FALSE(outlook.empty()) << "no Outlook-made stores beside the sample messages";
  EXPECT_EQ(pst::testing::LayoutFaults(dir_ + "/store.pst", outlook), std::vector<std::string>());
}

}  // namespace
}  // namespace baleport::import
