// The multiple-folder page's logic: filling the list from a real folder tree, Check All, the
// output folder and what Next turns down.
#include <gmock/gmock.h>

#include <algorithm>

#include "support/path_separator.h"
#include "wizard/pages/tests/scripted_host.h"

namespace baleport::testing {
namespace {

using ::testing::ElementsAre;

class MultiplePageTest : public PagesTest {
 protected:
  void PickRoot(const std::string& root) {
    host_.folder_picks.push_back(root);
    multiple().CmdAddFolder_Click();
  }
  // A root with three subfolders, one of them hidden on Linux, a deeper folder and a file.
  std::string MakeTree() {
    tree_.Folder("root/beta");
    tree_.Folder("root/Alpha/Inner");
    tree_.Folder("root/.gamma");
    tree_.File("root/note.msg");
    return tree_.Folder("root");
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const ListRow& row : multiple().rows()) names.push_back(row.user);
    return names;
  }
  long CheckedRows() {
    return std::count_if(multiple().rows().begin(), multiple().rows().end(), [](const ListRow& row) { return row.checked; });
  }
};

// Listed by name regardless of case; a root ending in a separator gets no second one; a
// cancelled pick or a root that cannot be listed keeps the list and its ticks.
TEST_F(MultiplePageTest, ListsTheImmediateSubfoldersOfTheRoot) {
  const std::string root = MakeTree(), r = root + kPathSeparator;
  PickRoot(root + kPathSeparator);
  EXPECT_THAT(Names(), ElementsAre(".gamma", "Alpha", "beta"));
  multiple().lv_ItemCheck(1, true);
  EXPECT_EQ(host_.pages.Row(2).path, r + "Alpha");
  EXPECT_TRUE(host_.pages.Row(2).checked);
  host_.pages.MarkRowTaken(2);
  EXPECT_TRUE(multiple().rows()[1].taken);

  PickRoot("");
  const std::string missing = tree_.Path("gone");
  PickRoot(missing);
  EXPECT_EQ(Names().size(), 3u);
  EXPECT_EQ(CheckedRows(), 1);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "listing the subfolders of " + missing + kPathSeparator + ": no such folder");
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::kWarning);
}

TEST_F(MultiplePageTest, CheckAllTicksEveryRowAndANewRootClearsThem) {
  const std::string tree = MakeTree();
  PickRoot(tree);
  multiple().chkSelectAll_Click(true);
  EXPECT_EQ(CheckedRows(), 3);
  EXPECT_EQ(multiple().checkAllCaption(), "Uncheck All");
  PickRoot(tree);
  EXPECT_EQ(CheckedRows(), 0);
  EXPECT_FALSE(multiple().checkAll());
  EXPECT_EQ(multiple().checkAllCaption(), "Check All");
}

TEST_F(MultiplePageTest, NextNeedsATickedRowAndAnOutputFolderThatCanBeListed) {
  PickRoot(tree_.Folder("empty"));
  multiple().CmdNext_Click();
  PickRoot(MakeTree());
  multiple().CmdNext_Click();
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].text, host_.messages[1].text);

  multiple().lv_ItemCheck(0, true);
  const std::string missing = tree_.Path("gone");
  multiple().txtOutputFolder_Change(missing);
  multiple().CmdNext_Click();
  ASSERT_EQ(host_.messages.size(), 3u);
  EXPECT_EQ(host_.messages[2].text.rfind("The folder " + missing + " cannot be used: ", 0), 0u);
  EXPECT_TRUE(host_.shows.empty());

  host_.folder_picks = {"", " " + tree_.Folder("out") + " "};
  multiple().cmdChange_Click();
  EXPECT_EQ(multiple().outputFolder(), missing);
  multiple().cmdChange_Click();
  multiple().CmdNext_Click();
  EXPECT_THAT(host_.shows, ElementsAre("modal frmMigateAll over frmMultiple"));
}

}  // namespace
}  // namespace baleport::testing
