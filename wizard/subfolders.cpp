#include "wizard/subfolders.h"

#include <QDir>
#include <QFileInfo>

namespace baleport {

Result<std::vector<Subfolder>> ListSubfolders(const QString& folder) {
  const QFileInfo info(folder);
  const std::string where = "listing the subfolders of " + folder.toStdString();
  if (!info.isDir()) return Status::Error(where + ": no such folder");
  if (!info.isReadable()) return Status::Error(where + ": the folder cannot be read");
  std::vector<Subfolder> subfolders;
  const QFileInfoList entries =
      QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                 QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& entry : entries) {
    subfolders.push_back({entry.fileName(), QDir::toNativeSeparators(entry.absoluteFilePath())});
  }
  return subfolders;
}

}  // namespace baleport
