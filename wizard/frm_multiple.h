// The multiple-folder page's window on Qt, a view over its logic
// (wizard/pages/multiple_page.h).
#pragma once

#include "app/controls.h"
#include "app/page_window.h"
#include "wizard/pages/multiple_page.h"

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

  // Shows the logic's state: the rows, their checks and colours, Check All, the output folder.
  void Refresh();

 protected:
  void Form_Load() override;
  bool Form_Unload() override;

 private:
  MultiplePage& logic_;
};

}  // namespace baleport
