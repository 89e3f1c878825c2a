// `baleport convert --delete-source` on input that is wrong in every way we could think of:
// each case names what failed and where, nothing is lost (every message is a source file or
// in a store every reader opens), and no file that is not ours is written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "conversion/tests/failed_in_log.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "mapi/tags.h"
#include "pst/messaging/node_io.h"
#include "pst/tests/store_testing.h"
#include "proof/mailbox.h"

namespace baleport::proof {
namespace {

namespace fs = std::filesystem;
using baleport::testing::ReadAll;
using ::testing::AllOf;
using ::testing::HasSubstr;

constexpr char kSamples[] = BALEPORT_SAMPLES_DIR;

int FilesUnder(const std::string& folder) {
  return static_cast<int>(std::ranges::count_if(fs::recursive_directory_iterator(folder), [](auto& e) { return e.is_regular_file(); }));
}

// The store, read by the checker and every reader, which must all accept it.
StoreView Accepted(const std::string& store) {
  StoreView view = ReadStore(store);
  EXPECT_EQ(view.failures, "") << store;
  return view;
}

class BadInput : public ::testing::Test {
 protected:
  testing::CommandResult Convert(const std::string& source, const std::string& store) {
    return Baleport({"convert", "--delete-source", source, "-o", store});
  }
  // A store the run must not touch: refused with `reason`, the same bytes after (none, where
  // there was no file), no source gone.
  void ExpectRefused(const std::string& store, const std::string& reason) {
    SCOPED_TRACE(store);
    const Mailbox source = WriteMailbox(tree_.Path("refused"), 3, "refused");
    const std::string before = ReadAll(store);
    const testing::CommandResult run = Convert(source.root, store);
    EXPECT_EQ(run.exit_code, 2) << run.output;
    EXPECT_THAT(run.output, AllOf(HasSubstr(store), HasSubstr(reason)));
    EXPECT_EQ(ReadAll(store), before);
    EXPECT_EQ(fs::exists(store), !before.empty());
    EXPECT_EQ(FilesUnder(source.root), 3);
  }

  testing::TestTree tree_;
};

TEST_F(BadInput, FilesThatAreNotMessagesAreLoggedAndKept) {
  const Mailbox good = WriteMailbox(tree_.Path("mail"), 4, "good");
  const std::string broken = testing::WriteBrokenFile(tree_.Path("mail/broken.msg"));
  const std::string empty = tree_.File("mail/Inbox/empty.msg");
  fs::resize_file(empty, 0);
  // A link to nothing hides no other file of its folder.
  const std::string dangling = tree_.Path("mail/Inbox/gone.msg");
  fs::create_symlink(tree_.Path("nowhere.msg"), dangling);
  const std::string store = tree_.Path("out.pst");

  const testing::CommandResult run = Convert(good.root, store);
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("3 of 7 messages"));
  EXPECT_THAT(testing::FailedInLog(tree_.Path("out.log")), ::testing::UnorderedElementsAre(broken, empty, dangling));
  for (const std::string& kept : {broken, empty}) EXPECT_TRUE(fs::exists(kept)) << kept;
  EXPECT_EQ(LostMessages(good, Accepted(store)), 0);
}

// A file the run may not read, and sources it may not delete: run as an ordinary user,
// since root reads and deletes regardless of the permission bits.
TEST_F(BadInput, UnreadableFilesAndReadOnlySources) {
  std::string prefix;
  if (::geteuid() == 0) {
    if (testing::Run("setpriv --reuid=65534 --regid=65534 --clear-groups true").exit_code != 0) {
      GTEST_SKIP() << "root reads any file, and setpriv cannot drop to the nobody user here";
    }
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  fs::permissions(tree_.root(), fs::perms::all);
  const Mailbox mail = WriteMailbox(tree_.Path("mail"), 4, "locked");
  const std::string locked = tree_.Path("mail/m0.msg");
  const Mailbox kept = WriteMailbox(tree_.Path("readonly"), 4, "kept");
  const std::string out = tree_.Folder("out");
  for (const auto& e : fs::recursive_directory_iterator(tree_.root())) {
    fs::permissions(e.path(), e.is_directory() ? fs::perms::all : fs::perms::all & ~fs::perms::owner_exec);
  }
  fs::permissions(locked, fs::perms::none);
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec;
  for (const auto& e : fs::recursive_directory_iterator(kept.root)) {
    if (e.is_directory()) fs::permissions(e.path(), readOnly);
  }
  fs::permissions(kept.root, readOnly);
  auto convert = [&](const std::string& source, const std::string& store) {
    return testing::Run(prefix + BALEPORT_BINARY + " convert --delete-source " + testing::Quote(source) + " -o " +
                        testing::Quote(store));
  };

  const testing::CommandResult unreadable = convert(mail.root, out + "/mail.pst");
  EXPECT_EQ(unreadable.exit_code, 1) << unreadable.output;
  EXPECT_THAT(unreadable.output, AllOf(HasSubstr(locked), HasSubstr("Permission denied")));
  EXPECT_TRUE(fs::exists(locked));
  const StoreView view = Accepted(out + "/mail.pst");
  EXPECT_EQ(view.subjects.size(), 3u);
  EXPECT_EQ(LostMessages(mail, view), 0);

  const testing::CommandResult undeletable = convert(kept.root, out + "/kept.pst");
  EXPECT_EQ(undeletable.exit_code, 1) << undeletable.output;
  EXPECT_THAT(undeletable.output, HasSubstr("could not be deleted"));
  EXPECT_EQ(Accepted(out + "/kept.pst").subjects.size(), 4u);
  EXPECT_EQ(FilesUnder(kept.root), 4);
  fs::permissions(kept.root, fs::perms::all);  // so that the tree can be removed

  // A folder that cannot be listed is no empty one: the rest converts, and the folder is
  // reported and logged, its message left alone.
  fs::permissions(locked, fs::perms::all);
  const std::string hidden = mail.root + "/Inbox";
  const std::string unseen = testing::WriteMessageFile(hidden + "/unseen.msg", "behind a folder that cannot be read");
  fs::permissions(hidden, fs::perms::none);
  const testing::CommandResult unlisted = convert(mail.root, out + "/unlisted.pst");
  fs::permissions(hidden, fs::perms::all);
  EXPECT_EQ(unlisted.exit_code, 1) << unlisted.output;
  EXPECT_THAT(unlisted.output, AllOf(HasSubstr("the folder " + hidden + " cannot be read: Access is denied (system error 5)"),
                                     ::testing::Not(HasSubstr("Successfully"))));
  EXPECT_THAT(ReadAll(out + "/unlisted.log"),
              HasSubstr("\r\nBAD FOLDER : " + hidden + " : cannot be read: Access is denied (system error 5)\r\n"));
  EXPECT_TRUE(fs::exists(unseen));
  EXPECT_FALSE(fs::exists(locked));  // m0.msg, beside the folder, converted and deleted
  EXPECT_EQ(Accepted(out + "/unlisted.pst").subjects.size(), 1u);
  EXPECT_EQ(FilesUnder(mail.root), 1);
}

TEST_F(BadInput, StoresThatCannotBeWrittenAreRefusedUntouched) {
  ExpectRefused(tree_.Path("no/such/folder/out.pst"), "no such folder");
  const std::string readOnly = tree_.Folder("readonly");
  if (::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
    ExpectRefused(readOnly + "/out.pst", "Read-only file system");
    EXPECT_EQ(::umount(readOnly.c_str()), 0);
  } else {
    std::cout << "proof: bad input: no read-only mount here (" << std::strerror(errno) << "), skipped that case\n";
  }

  const std::string text = tree_.Path("text.pst");
  std::ofstream(text) << "my notes, not a store\n";
  ExpectRefused(text, "not a .pst store");
  const std::string cut = tree_.Path("cut.pst");
  ASSERT_EQ(Baleport({"convert", "--quiet", WriteMailbox(tree_.Path("mail"), 3, "cut").root, "-o", cut}).exit_code, 0);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  ExpectRefused(cut, "file size");

  const std::string ansi = std::string(kSamples) + "/pst/sample2.pst";
  if (fs::exists(ansi)) {
    fs::copy_file(ansi, tree_.Path("ansi.pst"));
    ExpectRefused(tree_.Path("ansi.pst"), "ANSI");
  } else {
    std::cout << "proof: bad input: no ANSI sample at " << ansi << ", skipped that case\n";
  }

  // PidTagPstPassword set below the public interface, as Outlook would.
  const std::string locked = tree_.Path("locked.pst");
  pst::testing::MustOk(pst::testing::Must(pst::Store::Create(locked, "Locked"))->Close());
  {
    const auto db = pst::testing::OpenNodes(locked, /*update=*/true);
    auto props = pst::testing::Must(pst::ReadPcNode(*db, pst::disk::kNidMessageStore));
    props[mapi::TagId(mapi::tags::kPstPassword)] = pst::ltp::PropertyValue{0x0003, std::string("\x12\x34\x56\x78", 4), 0};
    pst::testing::PutProperties(*db, pst::disk::kNidMessageStore, props);
    pst::testing::MustOk(db->Commit());
  }
  ExpectRefused(locked, "password");
}

// Names no store folder or Windows file name can hold as they are (bytes that are not
// UTF-8, the store's path separator, control characters), and a tree 100 folders deep.
TEST_F(BadInput, OddNamesAndDeepTreesConvertWhole) {
  const std::string source = tree_.Folder("odd");
  std::vector<std::string> subjects;
  for (const std::string name : {"bad\xff\xfe bytes", "back\\slash", "tab\there", "colon: star* what?", "trailing. "}) {
    subjects.push_back("in " + std::to_string(subjects.size()));
    testing::WriteMessageFile(tree_.Folder("odd/" + name) + "/" + name + ".msg", subjects.back());
  }
  std::string folder = source;
  for (int level = 1; level <= 100; ++level) {
    fs::create_directory(folder += "/level " + std::to_string(level));
    if (level % 10 == 0) {
      subjects.push_back("at level " + std::to_string(level));
      testing::WriteMessageFile(folder + "/m.msg", subjects.back());
    }
  }
  const testing::CommandResult run = Convert(source, tree_.Path("odd.pst"));
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const StoreView view = Accepted(tree_.Path("odd.pst"));
  for (const std::string& s : subjects) EXPECT_EQ(view.subjects.count(s), 1u) << s << "\n" << run.output;
  EXPECT_EQ(FilesUnder(source), 0);
}

}  // namespace
}  // namespace baleport::proof
