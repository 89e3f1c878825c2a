// The flow between pages as the logic drives it: the start page's options, the modes, Back,
// the close boxes, the exit question and the help links.
#include <gmock/gmock.h>

#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(PagesTest, TheStartPageSelectsSingleFolderAndNextFollowsTheOption) {
  EXPECT_TRUE(host_.pages.SingleMode());
  start().OptMultiple_Click();
  EXPECT_FALSE(host_.pages.SingleMode());
  start().OptSingle_Click();
  EXPECT_TRUE(host_.pages.SingleMode());

  start().CmdNext_Click();
  start().OptMultiple_Click();
  start().CmdNext_Click();
  EXPECT_THAT(host_.shows, ElementsAre("modal frmSingle over frmStart", "modeless frmMultiple",
                                       "hide frmStart"));
  EXPECT_TRUE(host_.Visible(Page::kMultiple));
}

TEST_F(PagesTest, BackAndTheMultiplePageCloseBoxKeepBothPagesAsTheyWere) {
  tree_.Folder("root/Alpha");
  tree_.Folder("root/Beta");
  start().OptMultiple_Click();
  start().CmdNext_Click();
  host_.folder_picks = {tree_.Folder("root")};
  multiple().CmdAddFolder_Click();
  multiple().lv_ItemCheck(1, true);
  multiple().txtOutputFolder_Change("/srv/out");

  multiple().cmdBack_Click();
  EXPECT_TRUE(host_.Visible(Page::kStart));
  EXPECT_FALSE(host_.Visible(Page::kMultiple));
  EXPECT_FALSE(host_.pages.SingleMode());

  start().CmdNext_Click();
  EXPECT_FALSE(host_.Close(Page::kMultiple));  // the close box is Back
  EXPECT_TRUE(host_.Visible(Page::kStart));
  ASSERT_EQ(host_.pages.RowCount(), 2);
  EXPECT_FALSE(host_.pages.Row(1).checked);
  EXPECT_TRUE(host_.pages.Row(2).checked);
  EXPECT_EQ(host_.pages.OutputFolder(), "/srv/out");
}

TEST_F(PagesTest, TheExitQuestionEndsTheProgramOnlyOnYes) {
  start().OptMultiple_Click();
  host_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  EXPECT_FALSE(host_.Close(Page::kStart));
  EXPECT_FALSE(host_.ended);
  EXPECT_FALSE(host_.pages.SingleMode());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].buttons, MessageButtons::kYesNo);

  EXPECT_TRUE(host_.Close(Page::kStart));
  EXPECT_TRUE(host_.ended);
}

TEST_F(PagesTest, HelpLinksOpenTheirSections) {
  start().CmdHelp_Click();
  start().lblSingleHelp_Click();
  start().lblMultipleHelp_Click();
  single().lblSingleMailbox_Click();
  multiple().lblSelectRootFolder_Click();
  EXPECT_THAT(host_.opened, ElementsAre("product", "help#single-folder", "help#multiple-folders",
                                        "help#select-folder", "help#select-root-folder"));
}

}  // namespace
}  // namespace baleport::testing
