#include "wizard/wizard.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/addresses.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_multiple.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"

namespace baleport {
namespace {

// A page is created the first time it is referred to, and loaded again after the user
// closed it.
template <typename Page, typename... Arguments>
Page& Use(std::unique_ptr<Page>& page, Arguments&... arguments) {
  if (!page) page = std::make_unique<Page>(arguments...);
  page->EnsureLoaded();
  return *page;
}

}  // namespace

Wizard::Wizard(app::Desktop& desktop, StoreLibrary& library)
    : desktop_(desktop), library_(library) {}

Wizard::~Wizard() = default;

void Wizard::Run() { Start().ShowModeless(); }

frmStart& Wizard::Start() { return Use(start_, *this); }
frmSingle& Wizard::Single() { return Use(single_, *this); }
frmMultiple& Wizard::Multiple() { return Use(multiple_, *this); }
frmMigateAll& Wizard::MigateAll() { return Use(migate_all_, *this, library_); }

app::PageWindow& Wizard::Window(Page page) {
  switch (page) {
    case Page::kStart: return Start();
    case Page::kSingle: return Single();
    case Page::kMultiple: return Multiple();
    case Page::kMigateAll: break;
  }
  return MigateAll();
}

void Wizard::ShowModal(Page page, std::optional<Page> owner) {
  app::PageWindow& window = Window(page);
  window.ShowModal(owner ? &Window(*owner) : nullptr);
}

void Wizard::ShowModeless(Page page) { Window(page).ShowModeless(); }
void Wizard::Hide(Page page) { Window(page).hide(); }

void Wizard::Refresh(Page page) {
  // Only a page that exists has anything to show again.
  switch (page) {
    case Page::kStart: if (start_) start_->Refresh(); break;
    case Page::kSingle: if (single_) single_->Refresh(); break;
    case Page::kMultiple: if (multiple_) multiple_->Refresh(); break;
    case Page::kMigateAll: break;
  }
}

app::MessageRequest ToQtMessage(const MessageBoxRequest& request) {
  app::MessageRequest shown;
  shown.text = QString::fromStdString(request.text);
  shown.title = QString::fromStdString(request.title);
  switch (request.icon) {
    case MessageIcon::kNone: shown.icon = app::MessageIcon::kNone; break;
    case MessageIcon::kInformation: shown.icon = app::MessageIcon::kInformation; break;
    case MessageIcon::kQuestion: shown.icon = app::MessageIcon::kQuestion; break;
    case MessageIcon::kWarning: shown.icon = app::MessageIcon::kWarning; break;
  }
  const bool yes_no = request.buttons == MessageButtons::kYesNo;
  shown.buttons = yes_no ? app::MessageButtons::kYesNo : app::MessageButtons::kOk;
  shown.default_answer = yes_no ? app::MessageAnswer::kYes : app::MessageAnswer::kOk;
  shown.details = QString::fromStdString(request.details);
  return shown;
}

MessageAnswer FromQtAnswer(app::MessageAnswer answer) {
  switch (answer) {
    case app::MessageAnswer::kYes: return MessageAnswer::kYes;
    case app::MessageAnswer::kNo: return MessageAnswer::kNo;
    case app::MessageAnswer::kOk: break;
  }
  return MessageAnswer::kOk;
}

MessageAnswer Wizard::ShowMessage(Page owner, const MessageBoxRequest& request) {
  return FromQtAnswer(desktop_.ShowMessage(&Window(owner), ToQtMessage(request)));
}

std::string Wizard::BrowseForFolder(Page owner, const std::string& title) {
  return desktop_.BrowseForFolder(&Window(owner), QString::fromStdString(title)).toStdString();
}

void Wizard::OpenHelp(const std::string& anchor) {
  desktop_.OpenDocument(app::HelpPageAddress() + QString::fromStdString(anchor));
}

void Wizard::OpenProductPage() { desktop_.OpenDocument(app::ProductPageAddress()); }

std::string Wizard::DesktopFolder() {
  // Qt reads the desktop the user's XDG user dirs name, and names ~/Desktop when they name
  // none, which many systems do not have.
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return QDir::toNativeSeparators(QFileInfo(desktop).isDir() ? desktop : QDir::homePath()).toStdString();
}

void Wizard::EndProgram() { desktop_.EndProgram(); }

}  // namespace baleport
