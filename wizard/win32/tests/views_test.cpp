// The Win32 views under Wine: each page window is made, clicked through with SendMessage and
// its controls read back; the dialogs are scripted.
#include <windows.h>

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "conversion/testing/fake_store.h"
#include "files/tests/test_tree.h"
#include "wizard/win32/conversion_view.h"
#include "wizard/win32/testing/scripted_wizard.h"

namespace baleport::win32 {
namespace {

using app::win32::PageWindow;
using P = baleport::Page;

// Runs `step` inside the next modal loop (on a thread timer), once.
std::function<void()> pending_step;
void InsideNextModal(std::function<void()> step) {
  pending_step = std::move(step);
  SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    std::function<void()> step = std::move(pending_step);
    pending_step = nullptr;
    if (step) step();
  });
}

class Win32ViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    for (const char* name : {"Sales", "accounts", "Beta"}) tree_.Folder(name);
    wizard_.Run();
  }

  HWND Page(P page) { return wizard_.Window(page).hwnd(); }
  HWND Control(P page, int id) { return GetDlgItem(Page(page), id); }
  void Click(P page, int id) { SendMessageW(Control(page, id), BM_CLICK, 0, 0); }
  void ClickLink(P page, int id) {
    SendMessageW(Page(page), WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), reinterpret_cast<LPARAM>(Control(page, id)));
  }
  std::string Text(P page, int id) { return PageWindow::Text(Control(page, id)); }
  bool Checked(P page, int id) { return SendMessageW(Control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::string Cell(int row, int column) {
    wchar_t text[512] = {};
    ListView_GetItemText(Control(P::kMultiple, kLv), row, column, text, 512);
    return app::win32::Narrow(text);
  }

  FakeStoreLibrary store_;
  testing::ScriptedWizard wizard_{
      [this](Win32Wizard& owner) { return std::make_unique<ConversionView>(owner, store_); }};
  baleport::testing::TestTree tree_;
};

TEST_F(Win32ViewsTest, TheStartPageHandsClicksAndItsCloseBoxToTheLogic) {
  HWND start = Page(P::kStart);
  EXPECT_TRUE(IsWindowVisible(start));
  EXPECT_TRUE(Checked(P::kStart, kOptSingle));
  Click(P::kStart, kOptMultiple);
  EXPECT_FALSE(wizard_.pages().SingleMode());
  EXPECT_TRUE(Checked(P::kStart, kOptMultiple));

  ClickLink(P::kStart, kLblMultipleHelp);
  ASSERT_EQ(wizard_.opened.size(), 1u);
  EXPECT_THAT(wizard_.opened[0], ::testing::EndsWith("#multiple-folders"));

  wizard_.answers = {MessageAnswer::kNo};
  SendMessageW(start, WM_CLOSE, 0, 0);
  EXPECT_EQ(wizard_.messages.size(), 1u);
  EXPECT_TRUE(IsWindowVisible(start));
  EXPECT_FALSE(wizard_.ended);
}

TEST_F(Win32ViewsTest, TheSinglePageOpensModalAndItsBoxFollowsThePick) {
  const std::string sales = tree_.Path("Sales");
  wizard_.folder_picks = {sales};
  bool ran = false;
  InsideNextModal([&] {
    ran = true;
    EXPECT_FALSE(IsWindowEnabled(Page(P::kStart)));
    Click(P::kSingle, kCmdAddFolder);
    EXPECT_EQ(Text(P::kSingle, kTxtSourceMailbox), sales);
    EXPECT_TRUE(IsWindowEnabled(Control(P::kSingle, kCmdNext)));
    SetWindowTextW(Control(P::kSingle, kTxtSourceMailbox), L"  ");
    EXPECT_FALSE(IsWindowEnabled(Control(P::kSingle, kCmdNext)));
    SendMessageW(Page(P::kSingle), WM_CLOSE, 0, 0);
  });
  Click(P::kStart, kCmdNext);  // returns once the page has closed
  EXPECT_TRUE(ran);
  EXPECT_FALSE(IsWindowVisible(Page(P::kSingle)));
  EXPECT_TRUE(IsWindowEnabled(Page(P::kStart)));
}

TEST_F(Win32ViewsTest, TheMultiplePageListsTheSubfoldersWithCheckBoxesAndMovesOn) {
  Click(P::kStart, kOptMultiple);
  Click(P::kStart, kCmdNext);
  EXPECT_TRUE(IsWindowVisible(Page(P::kMultiple)));
  EXPECT_FALSE(IsWindowVisible(Page(P::kStart)));
  EXPECT_FALSE(IsWindowEnabled(Control(P::kMultiple, kChkSelectAll)));
  EXPECT_EQ(Text(P::kMultiple, kTxtOutputFolder), wizard_.DesktopFolder());

  HWND list = Control(P::kMultiple, kLv);
  wizard_.folder_picks = {tree_.root()};
  Click(P::kMultiple, kCmdAddFolder);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  EXPECT_EQ(Cell(0, 0), "accounts");
  EXPECT_EQ(Cell(2, 1), tree_.Path("Sales"));

  Click(P::kMultiple, kChkSelectAll);
  EXPECT_TRUE(ListView_GetCheckState(list, 1));
  EXPECT_EQ(Text(P::kMultiple, kChkSelectAll), "Uncheck All");
  ListView_SetCheckState(list, 1, FALSE);
  EXPECT_FALSE(wizard_.pages().Row(2).checked);
  EXPECT_TRUE(wizard_.pages().Row(3).checked);
  const std::string out = tree_.Path("Beta");
  SetWindowTextW(Control(P::kMultiple, kTxtOutputFolder), app::win32::Wide(out).c_str());
  EXPECT_EQ(wizard_.pages().OutputFolder(), out);

  bool conversion_shown = false;
  InsideNextModal([&] {
    conversion_shown = IsWindowVisible(Page(P::kMigateAll));
    SendMessageW(Page(P::kMigateAll), WM_CLOSE, 0, 0);
  });
  Click(P::kMultiple, kCmdNext);
  EXPECT_TRUE(conversion_shown);

  Click(P::kMultiple, kCmdBack);
  EXPECT_TRUE(IsWindowVisible(Page(P::kStart)));
  EXPECT_FALSE(IsWindowVisible(Page(P::kMultiple)));
}

}  // namespace
}  // namespace baleport::win32
