// `baleport convert --delete-source` onto a real file system that fills up during the run
// (a small tmpfs, mounted where the machine lets this process mount): the run fails with
// the system's reason, the store is valid at its last commit, nothing is lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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

}  // namespace
}  // namespace baleport::proof
