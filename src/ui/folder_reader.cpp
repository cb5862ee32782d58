#include "ui/folder_reader.h"

#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vemo::ui {

namespace {

std::filesystem::path native_path(const QString& path) {
#ifdef Q_OS_WIN
  return std::filesystem::path(path.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

}  // namespace

bool can_list_folder(const QString& path, QString* reason) {
  // QDir reports an unreadable folder as an empty one; opening it here gives the reason.
  std::error_code error;
  std::filesystem::directory_iterator probe(native_path(path), error);
  if (!error) return true;
  if (reason) *reason = QString::fromLocal8Bit(error.message());
  return false;
}

bool read_folder(const QString& path, FolderContents& contents, QString* reason) {
  contents = {};
  if (!can_list_folder(path, reason)) return false;
  // One pass over the entries; without QDir::Hidden and QDir::System those are left out.
  QDirIterator it(path, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    it.next();
    const QFileInfo info = it.fileInfo();
    (info.isDir() ? contents.folders : contents.files).append(info.fileName());
  }
  sort_names(contents.folders);
  sort_names(contents.files);
  return true;
}

void sort_names(QStringList& names) {
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });
}

}  // namespace vemo::ui
