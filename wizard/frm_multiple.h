// The multiple-folder page: a root folder's immediate subfolders listed with check
// boxes, the output folder, and on to the conversion page.
#pragma once

#include <QColor>

#include "app/controls.h"
#include "app/page_window.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace baleport {

class Wizard;

class frmMultiple : public app::PageWindow {
  Q_OBJECT

 public:
  explicit frmMultiple(Wizard& wizard);

  QPushButton* CmdAddFolder;
  app::LinkLabel* lblSelectRootFolder;
  QCheckBox* chkSelectAll;
  QTreeWidget* lv;
  QLineEdit* txtOutputFolder;
  QPushButton* cmdChange;
  QPushButton* cmdBack;
  QPushButton* CmdNext;

  void CmdAddFolder_Click();
  void chkSelectAll_Click();
  void cmdChange_Click();
  void CmdNext_Click();
  void cmdBack_Click();
  void lblSelectRootFolder_Click();

  // Gives `list` alternating row colours, `first` for the first row; a list without rows
  // keeps what it had.
  void AltLVBackground(QTreeWidget* list, QColor first, QColor second);
  // Row `position` (1-based) drawn green with a dimmed icon: its store was written.
  void MarkRowTaken(int position);

  // The user's desktop folder; the home folder when there is none.
  static QString SpecialFolderPath();

 protected:
  void Form_Load() override;
  // The close box goes back to the start page, since that page is hidden meanwhile.
  bool Form_Unload() override;

 private:
  Wizard& wizard_;
};

}  // namespace baleport
