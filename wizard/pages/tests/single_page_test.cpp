// The single-folder page's logic: its two states and what a pick, a cancel, typing, Next and
// a close do.
#include <gmock/gmock.h>

#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

TEST_F(PagesTest, APickFillsTheBoxAndACancelledPickKeepsWhatIsThere) {
  EXPECT_EQ(single().sourceMailbox(), "");
  EXPECT_FALSE(single().nextEnabled());
  host_.folder_picks = {"", "/data/mail", ""};
  single().CmdAddFolder_Click();
  EXPECT_FALSE(single().nextEnabled());
  single().CmdAddFolder_Click();
  single().CmdAddFolder_Click();
  EXPECT_EQ(host_.pages.SourceMailbox(), "/data/mail");
  EXPECT_TRUE(single().nextEnabled());
}

TEST_F(PagesTest, NextFollowsTheBoxAndTurnsDownWhatIsNoFolderInTheSystemsWords) {
  single().txtSourceMailbox_Change("  ");
  EXPECT_FALSE(single().nextEnabled());
  single().CmdNext_Click();
  EXPECT_TRUE(host_.messages.empty());

  const std::string missing = tree_.Path("gone");
  const std::string file = tree_.File("mail.msg");
  for (const std::string& typed : {missing, file}) {
    single().txtSourceMailbox_Change(typed);
    EXPECT_TRUE(single().nextEnabled());
    single().CmdNext_Click();
  }
  EXPECT_TRUE(host_.shows.empty());
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_THAT(host_.messages[0].text, StartsWith("The folder " + missing + " cannot be used: "));
  EXPECT_THAT(host_.messages[1].text, StartsWith("The folder " + file + " cannot be used: "));
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::kWarning);

  single().txtSourceMailbox_Change(tree_.Folder("mail"));
  single().CmdNext_Click();
  EXPECT_THAT(host_.shows, ElementsAre("modal frmMigateAll"));  // over no page: centred
}

TEST_F(PagesTest, ClosingTheSinglePageDiscardsThePick) {
  host_.folder_picks = {"/data/mail"};
  host_.inside_modal = {[&] { single().CmdAddFolder_Click(); },
                        [&] { EXPECT_EQ(single().sourceMailbox(), ""); }};
  start().CmdNext_Click();
  start().CmdNext_Click();
  EXPECT_TRUE(host_.inside_modal.empty());
  EXPECT_FALSE(single().nextEnabled());
}

}  // namespace
}  // namespace baleport::testing
