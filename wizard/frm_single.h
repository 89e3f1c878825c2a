// The single-folder page: one source folder, picked with the folder chooser or typed, then on to
// the conversion page.
#pragma once

#include "app/controls.h"
#include "app/page_window.h"

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

  void CmdAddFolder_Click();
  void CmdNext_Click();
  void lblSingleMailbox_Click();

 protected:
  void Form_Load() override;

 private:
  Wizard& wizard_;
};

}  // namespace baleport
