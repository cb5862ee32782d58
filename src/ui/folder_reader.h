#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vemo::ui {

// What a folder holds, as Dir1 and File1 show it: names only, hidden and system entries left
// out, each list in case-insensitive ascending order.
struct FolderContents {
  QStringList folders;           // as path_text() keeps them
  QStringList files;             // each file's name as the window shows it
  QList<QByteArray> file_names;  // the same files' names as the system stores them
};

// Whether the folder can be listed now; when not, `reason` gets the system's reason.
bool can_list_folder(const QString& path, QString* reason = nullptr);

// Reads the folder's subfolders and files. Returns false, with the system's reason, when the
// folder cannot be listed; `contents` is then empty.
bool read_folder(const QString& path, FolderContents& contents, QString* reason = nullptr);

// Ascending order without regard to letter case; names that differ only in case keep a fixed
// order among themselves.
void sort_names(QStringList& names);

}  // namespace vemo::ui
