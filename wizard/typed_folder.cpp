#include "wizard/typed_folder.h"

#include <filesystem>
#include <system_error>

namespace baleport {

QString TypedFolderProblem(const QString& folder) {
  std::error_code error;
  // Opening the listing tells a missing folder, a file and a folder without read access apart.
  std::filesystem::directory_iterator listing(std::filesystem::path(folder.toStdU16String()), error);
  if (!error) return QString();
  return QStringLiteral("The folder %1 cannot be used: %2.")
      .arg(folder, QString::fromLocal8Bit(error.message()));
}

}  // namespace baleport
