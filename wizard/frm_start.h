// The start page: the choice between the two modes, the help links, and the one orderly
// end of the program (the exit question).
#pragma once

#include "app/controls.h"
#include "app/page_window.h"

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

  void OptSingle_Click();
  void OptMultiple_Click();
  void CmdNext_Click();
  void CmdHelp_Click();
  void lblSingleHelp_Click();
  void lblMultipleHelp_Click();

 protected:
  void Form_Load() override;
  bool Form_Unload() override;

 private:
  Wizard& wizard_;
};

}  // namespace baleport
