#include "app/qt_desktop.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/shell_helpers.h"

namespace baleport::app {
namespace {

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

// "description|pattern|..." to Qt's "description (pattern);;...": a description that
// already names its pattern in parentheses is taken as it is.
QString QtFilter(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    entries << (description.contains(u'(' + pattern + u')')
                    ? description
                    : description + QStringLiteral(" (") + pattern + u')');
  }
  return entries.join(QStringLiteral(";;"));
}

}  // namespace

MessageAnswer QtDesktop::ShowMessage(QWidget* owner, const MessageRequest& request) {
  QMessageBox box(QtIcon(request.icon), request.title,
                  QString(request.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), QMessageBox::NoButton,
                  owner ? owner : QApplication::activeWindow());
  if (request.buttons == MessageButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(request.default_answer == MessageAnswer::kNo ? QMessageBox::No
                                                                      : QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  if (!request.details.isEmpty()) box.setDetailedText(request.details);
  // Addresses in a text (the guide of the "Outlook Error" box) can be copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::kYes;
    case QMessageBox::No: return MessageAnswer::kNo;
    default: return MessageAnswer::kOk;
  }
}

QString QtDesktop::BrowseForFolder(QWidget* owner, const QString& title) {
  return app::BrowseForFolder(owner, title);
}

QString QtDesktop::AskSaveFileName(QWidget* owner, const SaveRequest& request) {
  // The store is opened or created at the chosen path, so an existing file is no reason
  // to ask again.
  const QString chosen =
      QFileDialog::getSaveFileName(owner, request.title, request.proposed_name,
                                   QtFilter(request.filter), nullptr,
                                   QFileDialog::DontConfirmOverwrite);
  return QDir::toNativeSeparators(chosen);
}

void QtDesktop::OpenDocument(const QString& target) { app::OpenDocument(target); }

void QtDesktop::EndProgram() { QCoreApplication::exit(0); }

}  // namespace baleport::app
