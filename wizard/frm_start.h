// The start page's window on Qt, a view over its logic (wizard/pages/start_page.h).
#pragma once

#include "app/controls.h"
#include "app/page_window.h"
#include "wizard/pages/start_page.h"

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace baleport {

class Wizard;

class frmStart : public app::PageWindow {
  Q_OBJECT

 public:
  explicit frmStart(Wizard& wizard);

  QRadioButton* OptSingle;
  QRadioButton* OptMultiple;
  app::LinkLabel* lblSingleHelp;
  app::LinkLabel* lblMultipleHelp;
  QPushButton* CmdHelp;
  QPushButton* CmdNext;

  // Shows the logic's state: the selected option, in bold.
  void Refresh();

 protected:
  void Form_Load() override;
  bool Form_Unload() override;

 private:
  StartPage& logic_;
};

}  // namespace baleport
