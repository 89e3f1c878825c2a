#include "wizard/wizard.h"

#include <QCheckBox>

#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>

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

void Wizard::ShowWarning(QWidget* page, const QString& text) {
  app::MessageRequest warning;
  warning.text = text;
  warning.title = QString::fromUtf16(kAppTitle);
  warning.icon = app::MessageIcon::kWarning;
  desktop_.ShowMessage(page, warning);
}

void Wizard::Run() { Start().ShowModeless(); }

frmStart& Wizard::Start() { return Use(start_, *this); }
frmSingle& Wizard::Single() { return Use(single_, *this); }
frmMultiple& Wizard::Multiple() { return Use(multiple_, *this); }
frmMigateAll& Wizard::MigateAll() { return Use(migate_all_, *this, library_); }

bool Wizard::SingleMode() { return Start().OptSingle->isChecked(); }

std::string Wizard::SourceMailbox() { return Single().txtSourceMailbox->text().toStdString(); }

int Wizard::RowCount() { return Multiple().lv->topLevelItemCount(); }

FolderRow Wizard::Row(int position) {
  const QTreeWidgetItem* row = Multiple().lv->topLevelItem(position - 1);
  if (!row) return {};
  return {row->checkState(0) == Qt::Checked, row->text(0).toStdString(),
          row->text(1).toStdString()};
}

void Wizard::MarkRowTaken(int position) { Multiple().MarkRowTaken(position); }

std::string Wizard::OutputFolder() { return Multiple().txtOutputFolder->text().toStdString(); }
bool Wizard::SkipExisting() { return MigateAll().ChkSkipExisting->isChecked(); }

}  // namespace baleport
