#include "ui/folder_list.h"

#include <QKeyEvent>
#include <QStyledItemDelegate>

#include "ui/file_names.h"

namespace vemo::ui {

namespace {

constexpr int kIndentPixels = 8;

// Draws an entry shifted right by its level.
class IndentDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted = option;
    shifted.rect.setLeft(option.rect.left() +
                         kIndentPixels * index.data(FolderList::kLevelRole).toInt());
    QStyledItemDelegate::paint(painter, shifted, index);
  }
};

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(this, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { emit folder_chosen(item->data(kPathRole).toString()); });
}

QString FolderList::join(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + QLatin1Char('/') + name;
}

void FolderList::show_folder(const QString& root, const QString& root_text, const QString& folder,
                             const QStringList& subfolders) {
  root_ = root;
  folder_ = folder;
  clear();

  const QIcon open_icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  auto add = [this](const QIcon& icon, const QString& text, const QString& path, int level) {
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(kPathRole, path);
    item->setData(kLevelRole, level);
    return item;
  };

  QListWidgetItem* current = add(open_icon, root_text, root, 0);
  int level = 0;
  QString path = root;
  const QString below_root = folder.startsWith(root) ? folder.mid(root.size()) : QString();
  for (const QString& name : below_root.split('/', Qt::SkipEmptyParts)) {
    path = join(path, name);
    current = add(open_icon, shown_text(name), path, ++level);
  }
  for (const QString& name : subfolders) {
    add(closed_icon, shown_text(name), join(folder, name), level + 1);
  }
  setCurrentItem(current);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    emit folder_chosen(currentItem()->data(kPathRole).toString());
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace vemo::ui
