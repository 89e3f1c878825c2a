#include "wizard/win32/selection_views.h"

#include <commctrl.h>

namespace baleport::win32 {

using app::win32::Box;
using app::win32::kDarkGrey;
using app::win32::kLightYellow;
using app::win32::kWhite;
using app::win32::Look;
using app::win32::PageWindow;

StartView::StartView(StartPage& logic)
    : PageWindow(std::string(kAppTitle) + " v" BALEPORT_VERSION, 618, 472, TitleButtons::kCloseOnly, kEnvelopeIcon),
      logic_(logic) {
  AddHeader(kAppTitle, RGB(192, 0, 0));
  AddLabel("Baleport supports conversion of .msg email messages to Outlook supported .pst files. Supports "
           "Outlook Version 2016 (32 Bit), 2013 (32 Bit), 2010 (32 Bit), 2007, 2003 for conversion.",
           {16, 64, 585, 40}, {8.25, false, L"Verdana"});
  AddControl(L"BUTTON", " I want to convert ", BS_GROUPBOX, {16, 112, 585, 265}, 0, {9, true});
  // The frame's controls, placed as the frame's children would be.
  single_ = AddControl(L"BUTTON", "Single MSG Folder", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP,
                       {32, 152, 137, 33}, kOptSingle);
  AddLink({168, 160, 25, 16}, kLblSingleHelp, 8.25);
  AddLabel("This option allows you to select a single folder having .msg messages and convert it to "
           "respective .pst file. To convert multiple folders, you need to select individual folders one "
           "after another.",
           {48, 184, 537, 40}, {9, false, L"Tahoma", kDarkGrey});
  multiple_ = AddControl(L"BUTTON", "Multiple Folders", BS_AUTORADIOBUTTON | WS_TABSTOP, {32, 232, 137, 33},
                         kOptMultiple);
  AddLink({168, 240, 25, 16}, kLblMultipleHelp, 8.25);
  AddLabel("This option allows you to select multiple folders and then convert them to respective Outlook "
           ".pst files. To convert multiple mailbox folders, you just need to to select top folder having "
           "all mailbox folders inside it.",
           {48, 288, 529, 55}, {9, false, L"Tahoma", kDarkGrey});
  AddBand({-16, 432, 713, 57});
  AddButton("&Next >", {488, 440, 113, 26}, kCmdNext);
  AddButton("&Help Manual", {16, 440, 113, 26}, kCmdHelp);
}

void StartView::Form_Load() {
  logic_.Form_Load();
  SetFocus(single_);
}

void StartView::Refresh() {
  const bool single = logic_.singleMode();
  SendMessageW(single_, BM_SETCHECK, single ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(multiple_, BM_SETCHECK, single ? BST_UNCHECKED : BST_CHECKED, 0);
  SetLook(single_, {9, single});
  SetLook(multiple_, {9, !single});
}

void StartView::Command(int id, int code) {
  if (code != BN_CLICKED && code != STN_CLICKED) return;
  switch (id) {
    case kOptSingle: logic_.OptSingle_Click(); break;
    case kOptMultiple: logic_.OptMultiple_Click(); break;
    case kCmdNext: logic_.CmdNext_Click(); break;
    case kCmdHelp: logic_.CmdHelp_Click(); break;
    case kLblSingleHelp: logic_.lblSingleHelp_Click(); break;
    case kLblMultipleHelp: logic_.lblMultipleHelp_Click(); break;
  }
}

SingleView::SingleView(SinglePage& logic)
    : PageWindow("Single Folder Conversion Mode", 579, 250, TitleButtons::kCloseOnly, kDriveArrowIcon),
      logic_(logic) {
  AddHeader("Single Folder Conversion", RGB(128, 128, 128),
            "Convert single folder of .msg messages to respective Outlook .pst file");
  AddBand({16, 64, 545, 33}, kLightYellow);
  HWND information = AddControl(L"STATIC", "", SS_ICON | SS_REALSIZEIMAGE, {24, 72, 16, 16});
  SendMessageW(information, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadImageW(nullptr, MAKEINTRESOURCEW(32516),  // IDI_INFORMATION
                                                   IMAGE_ICON, Scale(16), Scale(16), LR_SHARED)),
               0);
  AddLabel("Make sure, folder you are trying to select is not hidden", {48, 72, 473, 17},
           {8.25, false, L"Tahoma", RGB(0, 0, 0), kLightYellow});
  AddLabel("Select folder having all .msg message files", {40, 117, 361, 24});
  AddLink({408, 119, 33, 16}, kLblSingleMailbox, 9);
  AddButton("Select...", {464, 144, 97, 26}, kCmdAddFolder);
  next_ = AddButton("&Next >", {448, 216, 113, 26}, kCmdNext, 8.25);
  box_ = AddControl(L"EDIT", "", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, {16, 144, 441, 27}, kTxtSourceMailbox);
  AddBand({-8, 208, 713, 57});
}

void SingleView::Form_Load() {
  logic_.Form_Load();
  SetFocus(GetDlgItem(hwnd(), kCmdAddFolder));
}

void SingleView::Refresh() {
  SetText(box_, logic_.sourceMailbox());
  EnableWindow(next_, logic_.nextEnabled());
}

void SingleView::Command(int id, int code) {
  if (id == kTxtSourceMailbox && code == EN_CHANGE) {
    // Typing a path is as good as picking one.
    logic_.txtSourceMailbox_Change(Text(box_));
    EnableWindow(next_, logic_.nextEnabled());
  } else if (code == BN_CLICKED || code == STN_CLICKED) {
    if (id == kCmdAddFolder) logic_.CmdAddFolder_Click();
    if (id == kCmdNext) logic_.CmdNext_Click();
    if (id == kLblSingleMailbox) logic_.lblSingleMailbox_Click();
  }
}

MultipleView::MultipleView(MultiplePage& logic)
    : PageWindow("Multiple Folder Conversion Mode", 706, 472, TitleButtons::kMinimizeAndClose, kDriveArrowIcon),
      logic_(logic) {
  AddHeader("Multiple Folder Conversion", RGB(128, 128, 128),
            "Convert one by one all folders to respective Outlook .pst files");
  AddLabel("Select top folder having all sub-folders inside it containing .msg files", {40, 72, 385, 24});
  AddControl(L"BUTTON", " Select Folders", BS_GROUPBOX, {16, 104, 673, 273}, 0, {9, true});
  // The tab order: Next, the list, Select..., Check All, Change..., the output folder, Back.
  AddButton("&Next >", {576, 440, 113, 26}, kCmdNext, 8.25);
  list_ = AddControl(WC_LISTVIEWW, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP,
                     {32, 152, 641, 209}, kLv);
  AddButton("Select...", {448, 67, 97, 26}, kCmdAddFolder);
  AddLink({552, 72, 33, 16}, kLblSelectRootFolder, 8.25);
  check_all_ = AddControl(L"BUTTON", "Check All", BS_AUTOCHECKBOX | WS_TABSTOP, {39, 128, 201, 17}, kChkSelectAll);
  AddButton("Change...", {600, 384, 89, 26}, kCmdChange);
  AddLabel("Output Folder:", {16, 392, 105, 23});
  output_ = AddControl(L"EDIT", "", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, {112, 384, 481, 27}, kTxtOutputFolder);
  AddButton("< Bac&k", {472, 440, 89, 26}, kCmdBack, 8.25);
  AddBand({0, 432, 713, 57});

  ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES |
                                               LVS_EX_INFOTIP);
  HIMAGELIST images = ImageList_Create(Scale(16), Scale(16), ILC_COLOR32 | ILC_MASK, 2, 0);
  for (int icon : {kPersonIcon, kFolderIcon}) {
    ImageList_AddIcon(images, static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon),
                                                            IMAGE_ICON, Scale(16), Scale(16), 0)));
  }
  ListView_SetImageList(list_, images, LVSIL_SMALL);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  std::wstring user = L"User", folder = L"Mailbox Folder";
  column.pszText = user.data();
  column.cx = Scale(200);
  ListView_InsertColumn(list_, 0, &column);
  column.pszText = folder.data();
  column.cx = Scale(440);
  ListView_InsertColumn(list_, 1, &column);
}

void MultipleView::Form_Load() {
  logic_.Form_Load();
  SetFocus(GetDlgItem(hwnd(), kCmdNext));
}

void MultipleView::Refresh() {
  refreshing_ = true;
  const std::vector<ListRow>& rows = logic_.rows();
  if (ListView_GetItemCount(list_) != static_cast<int>(rows.size())) {
    ListView_DeleteAllItems(list_);
    for (size_t i = 0; i < rows.size(); ++i) {
      std::wstring user = app::win32::Wide(rows[i].user), folder = app::win32::Wide(rows[i].folder);
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_IMAGE;
      item.iItem = static_cast<int>(i);
      item.pszText = user.data();
      item.iImage = 0;
      ListView_InsertItem(list_, &item);
      item.iSubItem = 1;
      item.pszText = folder.data();
      item.iImage = 1;
      ListView_SetItem(list_, &item);
    }
  } else {
    for (size_t i = 0; i < rows.size(); ++i) {
      std::wstring folder = app::win32::Wide(rows[i].folder);
      ListView_SetItemText(list_, static_cast<int>(i), 1, folder.data());
    }
  }
  for (size_t i = 0; i < rows.size(); ++i) ListView_SetCheckState(list_, static_cast<int>(i), rows[i].checked);
  InvalidateRect(list_, nullptr, TRUE);
  SendMessageW(check_all_, BM_SETCHECK, logic_.checkAll() ? BST_CHECKED : BST_UNCHECKED, 0);
  EnableWindow(check_all_, logic_.checkAllEnabled());
  SetText(check_all_, logic_.checkAllCaption());
  SetText(output_, logic_.outputFolder());
  refreshing_ = false;
}

void MultipleView::Command(int id, int code) {
  if (id == kTxtOutputFolder && code == EN_CHANGE) {
    if (!refreshing_) logic_.txtOutputFolder_Change(Text(output_));
    return;
  }
  if (code != BN_CLICKED && code != STN_CLICKED) return;
  switch (id) {
    case kCmdAddFolder: logic_.CmdAddFolder_Click(); break;
    case kChkSelectAll:
      logic_.chkSelectAll_Click(SendMessageW(check_all_, BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    case kCmdChange: logic_.cmdChange_Click(); break;
    case kCmdNext: logic_.CmdNext_Click(); break;
    case kCmdBack: logic_.cmdBack_Click(); break;
    case kLblSelectRootFolder: logic_.lblSelectRootFolder_Click(); break;
  }
}

LRESULT MultipleView::Notify(NMHDR* header) {
  if (header->idFrom != kLv) return 0;
  if (header->code == LVN_ITEMCHANGED) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    if (!refreshing_ && (change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_STATEIMAGEMASK) &&
        (change->uNewState & LVIS_STATEIMAGEMASK) != (change->uOldState & LVIS_STATEIMAGEMASK)) {
      logic_.lv_ItemCheck(change->iItem, ListView_GetCheckState(list_, change->iItem) != 0);
    }
    return 0;
  }
  if (header->code == NM_CUSTOMDRAW) {
    // Rows alternate white and light yellow once filled; a row whose store was written is green.
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
      const size_t row = draw->nmcd.dwItemSpec;
      if (logic_.alternateColours()) draw->clrTextBk = row % 2 ? kLightYellow : kWhite;
      if (row < logic_.rows().size() && logic_.rows()[row].taken) draw->clrText = RGB(0, 128, 0);
      return CDRF_DODEFAULT;
    }
  }
  return 0;
}

}  // namespace baleport::win32
