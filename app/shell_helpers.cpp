#include "app/shell_helpers.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

namespace baleport::app {

void OpenDocument(const QString& target) {
  if (target.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

QString BrowseForFolder(QWidget* owner, const QString& title) {
  const QString chosen = QFileDialog::getExistingDirectory(owner, title);
  if (chosen.isEmpty()) return {};
  // cleanPath keeps the separator of a root and drops every other trailing one.
  return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}

}  // namespace baleport::app
