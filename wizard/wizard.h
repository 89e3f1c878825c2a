// The wizard on Qt: the pages' windows, each created on first use and kept to the end of the
// program, over the toolkit-free page logic of wizard/pages/, for which it is the PageHost.
#pragma once

#include <QString>
#include <memory>

#include "app/desktop.h"
#include "app/page_window.h"
#include "conversion/store/store_interface.h"
#include "wizard/pages/wizard_pages.h"


namespace baleport {

class frmStart;
class frmSingle;
class frmMultiple;
class frmMigateAll;

class Wizard : public PageHost {
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
  WizardPages& pages() { return pages_; }
  bool SingleMode() { return pages_.SingleMode(); }

  void ShowModal(Page page, std::optional<Page> owner) override;
  void ShowModeless(Page page) override;
  void Hide(Page page) override;
  void Refresh(Page page) override;
  MessageAnswer ShowMessage(Page owner, const MessageBoxRequest& request) override;
  std::string BrowseForFolder(Page owner, const std::string& title) override;
  void OpenHelp(const std::string& anchor) override;
  void OpenProductPage() override;
  std::string DesktopFolder() override;
  void EndProgram() override;

 private:
  app::PageWindow& Window(Page page);

  app::Desktop& desktop_;
  StoreLibrary& library_;
  WizardPages pages_{*this};
  std::unique_ptr<frmStart> start_;
  std::unique_ptr<frmSingle> single_;
  std::unique_ptr<frmMultiple> multiple_;
  std::unique_ptr<frmMigateAll> migate_all_;
};

// The toolkit-free box as the Qt desktop shows it; a box raised with no page shown sits over
// the active window.
app::MessageRequest ToQtMessage(const MessageBoxRequest& request);
MessageAnswer FromQtAnswer(app::MessageAnswer answer);

}  // namespace baleport
