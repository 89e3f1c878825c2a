// The flow between pages as the logic drives it: the start page's options, Back, the multiple
// page's close box and the help links (the start page's exit question: the Qt views test).
#include <gmock/gmock.h>

#include "support/testing/read_all.h"
#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(PagesTest, NextFollowsTheStartPagesOption) {
  EXPECT_TRUE(host_.pages.SingleMode());
  start().CmdNext_Click();
  start().OptMultiple_Click();
  start().CmdNext_Click();
  EXPECT_THAT(host_.shows, ElementsAre("modal frmSingle over frmStart", "modeless frmMultiple", "hide frmStart"));
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
  EXPECT_FALSE(host_.pages.Row(1).checked);
  EXPECT_TRUE(host_.pages.Row(2).checked);
  EXPECT_EQ(host_.pages.OutputFolder(), "/srv/out");
}

// Each link opens its section, which the help page shipped with the program holds.
TEST_F(PagesTest, HelpLinksOpenTheirSections) {
  start().CmdHelp_Click();
  start().lblSingleHelp_Click();
  start().lblMultipleHelp_Click();
  single().lblSingleMailbox_Click();
  multiple().lblSelectRootFolder_Click();
  EXPECT_THAT(host_.opened, ElementsAre("product", "help#single-folder", "help#multiple-folders",
                                        "help#select-folder", "help#select-root-folder"));
  host_.opened.push_back("help#delete-source-files");  // the conversion page's, in its views
  const std::string html = ReadAll(BALEPORT_HELP_PAGE);
  ASSERT_NE(html, "") << BALEPORT_HELP_PAGE;
  for (size_t i = 1; i < host_.opened.size(); ++i) {  // the sections, after "product"
    EXPECT_NE(html.find("id=\"" + host_.opened[i].substr(5) + "\""), std::string::npos) << host_.opened[i];
  }
}

}  // namespace
}  // namespace baleport::testing
