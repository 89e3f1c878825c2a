// The single-folder page's window on Qt, a view over its logic (wizard/pages/single_page.h).
#pragma once

#include "app/controls.h"
#include "app/page_window.h"
#include "wizard/pages/single_page.h"

class QLineEdit;
class QPushButton;

namespace baleport {

class Wizard;

class frmSingle : public app::PageWindow {
  Q_OBJECT

 public:
  explicit frmSingle(Wizard& wizard);

  app::LinkLabel* lblSingleMailbox;
  QLineEdit* txtSourceMailbox;
  QPushButton* CmdAddFolder;
  QPushButton* CmdNext;

  // Shows the logic's state: the box's text and whether Next can be clicked.
  void Refresh();

 protected:
  void Form_Load() override;

 private:
  SinglePage& logic_;
};

}  // namespace baleport
