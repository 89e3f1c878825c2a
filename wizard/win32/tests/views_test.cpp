// The Win32 views under Wine: each page window is made, clicked through with SendMessage and
// its controls read back; the dialogs are scripted.
#include <windows.h>

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <random>

#include "conversion/testing/fake_store.h"
#include "wizard/win32/conversion_view.h"
#include "wizard/win32/testing/scripted_wizard.h"

namespace baleport::win32 {
namespace {

using app::win32::PageWindow;

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
    root_ = std::filesystem::temp_directory_path() / ("baleport-views-" + std::to_string(std::random_device{}()));
    for (const char* name : {"Sales", "accounts", "Beta"}) std::filesystem::create_directories(root_ / name);
    wizard_.Run();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  HWND Page(baleport::Page page) { return wizard_.Window(page).hwnd(); }
  HWND Control(baleport::Page page, int id) { return GetDlgItem(Page(page), id); }
  void Click(baleport::Page page, int id) { SendMessageW(Control(page, id), BM_CLICK, 0, 0); }
  void ClickLink(baleport::Page page, int id) {
    SendMessageW(Page(page), WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), reinterpret_cast<LPARAM>(Control(page, id)));
  }
  std::string Text(baleport::Page page, int id) { return PageWindow::Text(Control(page, id)); }
  bool Checked(baleport::Page page, int id) {
    return SendMessageW(Control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  std::string Cell(int row, int column) {
    wchar_t text[512] = {};
    ListView_GetItemText(Control(baleport::Page::kMultiple, kLv), row, column, text, 512);
    return app::win32::Narrow(text);
  }

  FakeStoreLibrary store_;
  testing::ScriptedWizard wizard_{
      [this](Win32Wizard& owner) { return std::make_unique<ConversionView>(owner, store_); }};
  std::filesystem::path root_;
};

TEST_F(Win32ViewsTest, TheStartPageHandsClicksAndItsCloseBoxToTheLogic) {
  HWND start = Page(baleport::Page::kStart);
  EXPECT_TRUE(IsWindowVisible(start));
  EXPECT_TRUE(Checked(baleport::Page::kStart, kOptSingle));
  Click(baleport::Page::kStart, kOptMultiple);
  EXPECT_FALSE(wizard_.pages().SingleMode());
  EXPECT_TRUE(Checked(baleport::Page::kStart, kOptMultiple));

  ClickLink(baleport::Page::kStart, kLblMultipleHelp);
  ASSERT_EQ(wizard_.opened.size(), 1u);
  EXPECT_THAT(wizard_.opened[0], ::testing::EndsWith("#multiple-folders"));

  wizard_.answers = {MessageAnswer::kNo};
  SendMessageW(start, WM_CLOSE, 0, 0);
  EXPECT_EQ(wizard_.messages.size(), 1u);
  EXPECT_TRUE(IsWindowVisible(start));
  EXPECT_FALSE(wizard_.ended);
}

TEST_F(Win32ViewsTest, TheSinglePageOpensModalAndItsBoxFollowsThePick) {
  const std::string sales = (root_ / "Sales").string();
  wizard_.folder_picks = {sales};
  bool start_disabled = false;
  std::string shown;
  bool next_enabled = false;
  InsideNextModal([&] {
    start_disabled = !IsWindowEnabled(Page(baleport::Page::kStart));
    Click(baleport::Page::kSingle, kCmdAddFolder);
    shown = Text(baleport::Page::kSingle, kTxtSourceMailbox);
    next_enabled = IsWindowEnabled(Control(baleport::Page::kSingle, kCmdNext));
    SetWindowTextW(Control(baleport::Page::kSingle, kTxtSourceMailbox), L"  ");
    EXPECT_FALSE(IsWindowEnabled(Control(baleport::Page::kSingle, kCmdNext)));
    SendMessageW(Page(baleport::Page::kSingle), WM_CLOSE, 0, 0);
  });
  Click(baleport::Page::kStart, kCmdNext);  // returns once the page has closed
  EXPECT_TRUE(start_disabled);
  EXPECT_EQ(shown, sales);
  EXPECT_TRUE(next_enabled);
  EXPECT_FALSE(IsWindowVisible(Page(baleport::Page::kSingle)));
  EXPECT_TRUE(IsWindowEnabled(Page(baleport::Page::kStart)));
}

TEST_F(Win32ViewsTest, TheMultiplePageListsTheSubfoldersWithCheckBoxesAndMovesOn) {
  Click(baleport::Page::kStart, kOptMultiple);
  Click(baleport::Page::kStart, kCmdNext);
  EXPECT_TRUE(IsWindowVisible(Page(baleport::Page::kMultiple)));
  EXPECT_FALSE(IsWindowVisible(Page(baleport::Page::kStart)));
  EXPECT_FALSE(IsWindowEnabled(Control(baleport::Page::kMultiple, kChkSelectAll)));
  EXPECT_EQ(Text(baleport::Page::kMultiple, kTxtOutputFolder), wizard_.DesktopFolder());

  HWND list = Control(baleport::Page::kMultiple, kLv);
  wizard_.folder_picks = {root_.string()};
  Click(baleport::Page::kMultiple, kCmdAddFolder);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  EXPECT_EQ(Cell(0, 0), "accounts");
  EXPECT_EQ(Cell(2, 1), (root_ / "Sales").string());

  Click(baleport::Page::kMultiple, kChkSelectAll);
  EXPECT_TRUE(ListView_GetCheckState(list, 1));
  EXPECT_EQ(Text(baleport::Page::kMultiple, kChkSelectAll), "Uncheck All");
  ListView_SetCheckState(list, 1, FALSE);
  EXPECT_FALSE(wizard_.pages().Row(2).checked);
  EXPECT_TRUE(wizard_.pages().Row(3).checked);
  const std::string out = (root_ / "Beta").string();
  SetWindowTextW(Control(baleport::Page::kMultiple, kTxtOutputFolder), app::win32::Wide(out).c_str());
  EXPECT_EQ(wizard_.pages().OutputFolder(), out);

  bool conversion_shown = false;
  InsideNextModal([&] {
    conversion_shown = IsWindowVisible(Page(baleport::Page::kMigateAll));
    SendMessageW(Page(baleport::Page::kMigateAll), WM_CLOSE, 0, 0);
  });
  Click(baleport::Page::kMultiple, kCmdNext);
  EXPECT_TRUE(conversion_shown);

  Click(baleport::Page::kMultiple, kCmdBack);
  EXPECT_TRUE(IsWindowVisible(Page(baleport::Page::kStart)));
  EXPECT_FALSE(IsWindowVisible(Page(baleport::Page::kMultiple)));
}

}  // namespace
}  // namespace baleport::win32
