// The single-folder page's logic: what a pick, a cancel, typing, Next and a close do.
#include <gmock/gmock.h>

#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

// A cancelled pick keeps the box; closing the page discards it.
TEST_F(PagesTest, ACancelledPickKeepsTheBoxAndClosingThePageDiscardsIt) {
  host_.folder_picks = {"/data/mail", ""};
  for (int i = 0; i < 2; ++i) single().CmdAddFolder_Click();
  EXPECT_EQ(host_.pages.SourceMailbox(), "/data/mail");
  EXPECT_TRUE(host_.Close(Page::kSingle));
  EXPECT_EQ(single().sourceMailbox(), "");
  EXPECT_FALSE(single().nextEnabled());
}

// Next is enabled by more than blanks, picked or typed, and turns down what is no folder.
TEST_F(PagesTest, NextFollowsTheBoxAndTurnsDownWhatIsNoFolderInTheSystemsWords) {
  single().txtSourceMailbox_Change("  ");
  EXPECT_FALSE(single().nextEnabled());
  single().CmdNext_Click();
  for (const std::string& typed : {tree_.Path("gone"), tree_.File("mail.msg")}) {
    single().txtSourceMailbox_Change(typed);
    EXPECT_TRUE(single().nextEnabled());
    single().CmdNext_Click();
    ASSERT_FALSE(host_.messages.empty());
    EXPECT_THAT(host_.messages.back().text, StartsWith("The folder " + typed + " cannot be used: "));
  }
  EXPECT_EQ(host_.messages.size(), 2u);
  EXPECT_TRUE(host_.shows.empty());

  single().txtSourceMailbox_Change(tree_.Folder("mail"));
  single().CmdNext_Click();
  EXPECT_THAT(host_.shows, ElementsAre("modal frmMigateAll"));  // over no page: centred
}

}  // namespace
}  // namespace baleport::testing
