// `baleport convert --delete-source` onto a real file system that fills up during the run
// (a small tmpfs, mounted where the machine lets this process mount): the run fails with
// the system's reason, the store is valid at its last commit, nothing is lost.
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
using ::testing::HasSubstr;

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = tree_.Folder("disk");
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=384k") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs at " << disk_ << " (" << std::strerror(errno)
                   << "; needs root or CAP_SYS_ADMIN), so no real disk is filled";
    }
    mounted_ = true;
    // A new store takes about 270 KB; these messages need about twice the room left.
    mailbox_ = WriteMailbox(tree_.Path("mail"), 600, "full");
  }
  void TearDown() override {
    if (mounted_) {
      EXPECT_EQ(::umount(disk_.c_str()), 0) << std::strerror(errno);
    }
  }

  void ExpectNothingLost(const std::string& store, const Outcome& run, const std::vector<std::string>& old) {
    EXPECT_NE(run.exit_code, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("No space left on device")) << "the run does not say what failed";
    StoreView view;
    if (fs::exists(store)) {
      view = ReadStore(store);
      EXPECT_TRUE(view.readable) << view.failures;
    }
    for (const std::string& s : old) EXPECT_EQ(view.subjects.count(s), 1u) << s;
    EXPECT_EQ(LostMessages(mailbox_, view), 0) << run.output;
  }

  testing::TestTree tree_;
  std::string disk_;
  bool mounted_ = false;
  Mailbox mailbox_;
};

TEST_F(FullDisk, ANewStoreOnAFullDiskLosesNothing) {
  const std::string store = disk_ + "/out.pst";
  ExpectNothingLost(store, Baleport({"convert", "--delete-source", mailbox_.root, "-o", store}), {});
}

TEST_F(FullDisk, AnExistingStoreOnAFullDiskKeepsWhatItHeld) {
  const Mailbox old = WriteMailbox(tree_.Path("old"), 8, "old");
  const std::string store = disk_ + "/out.pst";
  const Outcome made = Baleport({"convert", "--quiet", old.root, "-o", store});
  ASSERT_EQ(made.exit_code, 0) << made.output;
  ExpectNothingLost(store, Baleport({"convert", "--delete-source", mailbox_.root, "-o", store}), old.subjects);
}

// Sources and store on one disk with room for the store only once the sources are gone:
// what does not fit is dropped from the store and the messages go in one by one, each
// source deleted before the next, so the run converts everything instead of failing at its
// first commit run after run.
TEST(FullDiskWithSources, ARunMakesRoomByDeletingTheSourcesItHasConverted) {
  testing::TestTree tree;
  const Mailbox written = WriteMailbox(tree.Path("mail"), 300, "room", 12000);
  uintmax_t footprint = 0;  // tmpfs gives each file whole pages
  for (const std::string& file : written.files) {
    footprint += (fs::file_size(written.root + "/" + file) + 4095) / 4096 * 4096;
  }
  const std::string disk = tree.Folder("disk");
  // Room for the store once the sources are gone (it takes a little more than they did),
  // but not for the first batch while they are all there.
  const std::string size = "size=" + std::to_string(footprint / 1024 * 115 / 100 + 300) + "k";
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs at " << disk << " (" << std::strerror(errno) << ")";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { EXPECT_EQ(::umount(at.c_str()), 0) << std::strerror(errno); }
  } unmount{disk};
  Mailbox mailbox = written;
  mailbox.root = disk + "/mail";
  fs::copy(written.root, mailbox.root, fs::copy_options::recursive);
  const std::string store = disk + "/out.pst";

  int runs = 0;
  for (size_t left = mailbox.files.size(); left > 0 && runs < 2; ++runs) {
    const Outcome run = Baleport({"convert", "--quiet", "--delete-source", mailbox.root, "-o", store});
    StoreView view = ReadStore(store, false);
    ASSERT_TRUE(view.readable) << view.failures;
    ASSERT_EQ(LostMessages(mailbox, view), 0) << run.output;
    size_t sources = 0;
    for (const std::string& file : mailbox.files) sources += fs::exists(mailbox.root + "/" + file) ? 1 : 0;
    ASSERT_LT(sources, left) << "run " << runs << " converted nothing: " << run.output;
    left = sources;
  }
  const StoreView view = ReadStore(store);
  EXPECT_TRUE(view.readable) << view.failures;
  for (const std::string& subject : mailbox.subjects) EXPECT_EQ(view.subjects.count(subject), 1u) << subject;
  for (const std::string& file : mailbox.files) EXPECT_FALSE(fs::exists(mailbox.root + "/" + file)) << file;
  std::cout << "proof: full disk with its sources: " << mailbox.files.size() << " messages in " << runs << " run(s)\n";
}

}  // namespace
}  // namespace baleport::proof
