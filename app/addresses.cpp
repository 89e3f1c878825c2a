#include "app/addresses.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace baleport::app {

QString HelpPageAddress() {
  const QString configured = QStringLiteral(BALEPORT_HELP_PAGE_ADDRESS);
  if (!configured.isEmpty()) return configured;
  // Installed and build trees alike keep the page at this place beside bin/.
  const QString page = QDir(QCoreApplication::applicationDirPath())
                           .absoluteFilePath(QStringLiteral("../" BALEPORT_HELP_PAGE_PATH));
  return QUrl::fromLocalFile(QDir::cleanPath(page)).toString();
}

QString ProductPageAddress() { return QStringLiteral(BALEPORT_PRODUCT_PAGE_ADDRESS); }

}  // namespace baleport::app
