// The wizard's pages, each created on first use and kept to the end of the program, and
// the selection they show, as the conversion page reads it.
#pragma once

#include <memory>
#include <string>

#include "app/desktop.h"
#include "conversion/store/message_store.h"
#include "conversion/wizard_selection.h"

namespace baleport {

class frmStart;
class frmSingle;
class frmMultiple;
class frmMigateAll;

// The application title: message-box titles, and with the version the start page's caption.
inline constexpr char16_t kAppTitle[] = u"Tamsel Baleport";

class Wizard : public WizardSelection {
 public:
  // The conversion page converts through `library`.
  Wizard(app::Desktop& desktop, StoreLibrary& library);
  ~Wizard() override;

  // Program start: the start page, shown modeless, is the main window.
  void Run();

  frmStart& Start();
  frmSingle& Single();
  frmMultiple& Multiple();
  frmMigateAll& MigateAll();
  app::Desktop& desktop() { return desktop_; }
  // A warning box over `page` with the application's title.
  void ShowWarning(QWidget* page, const QString& text);

  bool SingleMode() override;
  std::string SourceMailbox() override;
  int RowCount() override;
  FolderRow Row(int position) override;
  void MarkRowTaken(int position) override;
  std::string OutputFolder() override;
  bool SkipExisting() override;

 private:
  app::Desktop& desktop_;
  StoreLibrary& library_;
  std::unique_ptr<frmStart> start_;
  std::unique_ptr<frmSingle> single_;
  std::unique_ptr<frmMultiple> multiple_;
  std::unique_ptr<frmMigateAll> migate_all_;
};

}  // namespace baleport
