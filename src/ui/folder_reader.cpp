#include "ui/folder_reader.h"

#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "ui/file_names.h"

namespace vemo::ui {

namespace {

std::filesystem::path native_path(const QString& path) {
  if constexpr (platform::kWindows) {
    return std::filesystem::path(path.toStdWString());
  } else {
    return std::filesystem::path(path_bytes(path));
  }
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
  std::vector<std::pair<QString, QByteArray>> files;
  if constexpr (platform::kWindows) {
    // One pass over the entries; without QDir::Hidden and QDir::System those are left out.
    QDirIterator it(path, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
      it.next();
      const QFileInfo info = it.fileInfo();
      if (info.isDir()) {
        contents.folders.append(info.fileName());
      } else {
        files.emplace_back(info.fileName(),
                           QByteArray::fromStdString(system_bytes(info.fileName())));
      }
    }
  } else {
    // Names are taken as the bytes the system holds, so that a name the locale cannot decode is
    // still listed and can be opened. Hidden entries (a leading dot) are left out, and so are
    // sockets, pipes, devices and broken links, as system entries.
    std::error_code error;
    for (std::filesystem::directory_iterator it(native_path(path), error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = bytes_of_path(it->path().filename());
      if (name.empty() || name[0] == '.') continue;
      std::error_code type_error;
      if (it->is_directory(type_error)) {
        contents.folders.append(path_text(name));  // kept whole: it becomes part of a path
      } else if (it->is_regular_file(type_error)) {
        files.emplace_back(display_text(name),
                           QByteArray(name.data(), static_cast<qsizetype>(name.size())));
      }
    }
  }
  sort_names(contents.folders);
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    const int order = a.first.compare(b.first, Qt::CaseInsensitive);
    if (order != 0) return order < 0;
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  });
  for (auto& [text, name] : files) {
    contents.files.append(std::move(text));
    contents.file_names.append(std::move(name));
  }
  return true;
}

void sort_names(QStringList& names) {
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });
}

}  // namespace vemo::ui
