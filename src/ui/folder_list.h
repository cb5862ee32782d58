#pragma once

#include <QListWidget>
#include <QStringList>

namespace vemo::ui {

// Dir1: the path of the current folder, one entry per level from the volume root down, each
// indented under its parent, then the subfolders of the current folder. Double-click (or Enter)
// on an entry asks for that folder; a single click only highlights.
class FolderList final : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int kPathRole = Qt::UserRole;
  static constexpr int kLevelRole = Qt::UserRole + 1;

  explicit FolderList(QWidget* parent);

  // Shows `folder`, which lies under the volume root `root` (ending with '/'); `root_text` is
  // how the root entry reads. `subfolders` are names, already in order. Paths and names are
  // kept as path_text() gives them; the entries show them with shown_text().
  void show_folder(const QString& root, const QString& root_text, const QString& folder,
                   const QStringList& subfolders);

  const QString& root() const { return root_; }
  const QString& folder() const { return folder_; }

  // The full path of `name` inside `folder` ('/' separators).
  static QString join(const QString& folder, const QString& name);

 signals:
  void folder_chosen(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString root_;
  QString folder_;
};

}  // namespace vemo::ui
