// `baleport convert --delete-source` onto a real small tmpfs that fills up during the run (where
// this process may mount): the run says why, the store is valid at its last commit, nothing is lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "files/tests/test_tree.h"
#include "proof/mailbox.h"

namespace baleport::proof {
namespace {

namespace fs = std::filesystem;

class FullDisk : public ::testing::Test {
 protected:
  // A tmpfs of `size` KB at `disk_`, or false (the test then skips) where this process may not mount.
  bool Mount(uintmax_t size) {
    mounted_ = ::mount("tmpfs", disk_.c_str(), "tmpfs", 0, ("size=" + std::to_string(size) + "k").c_str()) == 0;
    if (!mounted_) std::cout << "cannot mount a small tmpfs at " << disk_ << " (" << std::strerror(errno) << ")\n";
    return mounted_;
  }
  void TearDown() override { EXPECT_TRUE(!mounted_ || ::umount(disk_.c_str()) == 0) << std::strerror(errno); }

  testing::TestTree tree_;
  const std::string disk_ = tree_.Folder("disk");
  bool mounted_ = false;
};

// A new store fills the disk; a second run into the store the first left finds it full.
TEST_F(FullDisk, NewAndExistingStoresOnAFullDiskLoseNothing) {
  if (!Mount(384)) GTEST_SKIP() << "needs root or CAP_SYS_ADMIN, so no real disk is filled";
  // A new store takes about 270 KB; these messages need about twice the room left.
  const Mailbox mailbox = WriteMailbox(tree_.Path("mail"), 600, "full");
  const std::string store = disk_ + "/out.pst";
  std::multiset<std::string> held;
  for (const char* which : {"a new store", "the store the first run left"}) {
    SCOPED_TRACE(which);
    const testing::CommandResult run = Baleport({"convert", "--delete-source", mailbox.root, "-o", store});
    EXPECT_NE(run.exit_code, 0) << run.output;
    EXPECT_THAT(run.output, ::testing::HasSubstr("No space left on device")) << "the run does not say what failed";
    const StoreView view = fs::exists(store) ? ReadStore(store) : StoreView{};
    EXPECT_EQ(view.failures, "");
    for (const std::string& s : held) EXPECT_EQ(view.subjects.count(s), 1u) << s;
    EXPECT_EQ(LostMessages(mailbox, view), 0) << run.output;
    held = view.subjects;
  }
}

// Sources and store on one disk with room for the store only once the sources are gone: what
// does not fit is dropped and the messages go in one by one, each source deleted before the next.
TEST_F(FullDisk, ARunMakesRoomByDeletingTheSourcesItHasConverted) {
  const Mailbox written = WriteMailbox(tree_.Path("mail"), 300, "room", 12000);
  uintmax_t footprint = 0;  // tmpfs gives each file whole pages
  for (const std::string& file : written.files) footprint += (fs::file_size(written.root + "/" + file) + 4095) / 4096 * 4096;
  // Room for the store once the sources are gone (it takes a little more than they did),
  // but not for the first batch while they are all there.
  if (!Mount(footprint / 1024 * 115 / 100 + 300)) GTEST_SKIP() << "needs root or CAP_SYS_ADMIN";
  Mailbox mailbox = written;
  mailbox.root = disk_ + "/mail";
  fs::copy(written.root, mailbox.root, fs::copy_options::recursive);
  const std::string store = disk_ + "/out.pst";

  int runs = 0;
  for (size_t left = mailbox.files.size(); left > 0 && runs < 2; ++runs) {
    const testing::CommandResult run = Baleport({"convert", "--quiet", "--delete-source", mailbox.root, "-o", store});
    const StoreView view = ReadStore(store, false);
    ASSERT_EQ(view.failures, "");
    ASSERT_EQ(LostMessages(mailbox, view), 0) << run.output;
    size_t sources = 0;
    for (const std::string& file : mailbox.files) sources += fs::exists(mailbox.root + "/" + file) ? 1 : 0;
    ASSERT_LT(sources, left) << "run " << runs << " converted nothing: " << run.output;
    left = sources;
  }
  const StoreView view = ReadStore(store);
  EXPECT_EQ(view.failures, "");
  for (const std::string& subject : mailbox.subjects) EXPECT_EQ(view.subjects.count(subject), 1u) << subject;
  for (const std::string& file : mailbox.files) EXPECT_FALSE(fs::exists(mailbox.root + "/" + file)) << file;
  std::cout << "proof: full disk with its sources: " << mailbox.files.size() << " messages in " << runs << " run(s)\n";
}

}  // namespace
}  // namespace baleport::proof
