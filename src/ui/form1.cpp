#include "ui/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/platform.h"
#include "run/extraction_run.h"
#include "ui/file_names.h"
#include "ui/folder_list.h"
#include "ui/folder_reader.h"
#include "ui/status_bar.h"
#include "ui/twips.h"
#include "version.h"

namespace vemo::ui {

namespace {

// While a run holds the thread, the bar and panels are repainted at most this often, which
// keeps the repaints to a small share of the run's time.
constexpr auto kRepaintInterval = std::chrono::milliseconds(50);

// In the user's home folder (%USERPROFILE% on Windows): a standard user may not write to the
// root of a system drive.
QString default_output_path() {
  return QDir::toNativeSeparators(QDir::home().filePath(QStringLiteral("vemo.txt")));
}

QIcon window_icon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/vemo/vemo-%1.png").arg(size));
  return icon;
}

bool is_user_input(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Drive1: a drop-down list that tells the window just before it opens, so that the window can
// list the volumes as they are now.
class DriveList final : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> about_to_open;

  void showPopup() override {
    if (about_to_open) about_to_open();
    QComboBox::showPopup();
  }
};

bool same_volumes(const std::vector<Volume>& a, const std::vector<Volume>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Volume& x, const Volume& y) {
    return x.root == y.root && x.label == y.label;
  });
}

bool is_enter(const QKeyEvent* key) {
  return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat() &&
         (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

const QString kStopQuestion = QStringLiteral(
    "A run is in progress. Stop it? The output file will hold only the records written so far.");
const QString kStopping = QString::fromUtf8("Stopping\xE2\x80\xA6");

int index_of_root(const std::vector<Volume>& volumes, const QString& root) {
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    if (volumes[i].root == root) return static_cast<int>(i);
  }
  return -1;
}

// The bytes of the local file a dropped address names; percent-escapes are decoded to bytes, so
// that a name the locale cannot decode arrives intact.
std::string local_path_bytes(const QUrl& url) {
  if constexpr (platform::kWindows) {
    // Names are Unicode there; the address's path also starts with a '/' before the drive letter.
    return system_bytes(url.toLocalFile());
  } else {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
  }
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
  if (!services_.volumes) services_.volumes = std::make_shared<SystemVolumeList>();
  if (!services_.dialogs) services_.dialogs = std::make_shared<MessageBoxDialogs>();
  if (!services_.viewer) services_.viewer = std::make_shared<DesktopViewerLauncher>();
  if (!services_.clock) services_.clock = [] { return std::chrono::steady_clock::now(); };
  std::error_code no_folder;
  const std::filesystem::path working = std::filesystem::current_path(no_folder);
  services_.working_folder =
      !services_.working_folder.isEmpty()
          ? QDir::cleanPath(QDir::fromNativeSeparators(services_.working_folder))
      : no_folder ? QDir::currentPath()
                  : QDir::cleanPath(QDir::fromNativeSeparators(path_text(bytes_of_path(working))));
  create_controls();
  load();
  watch_mount_table();
}

Form1::~Form1() {
  if (mounts_fd_ >= 0) (void)platform::close(mounts_fd_);
}

void Form1::create_controls() {
  setObjectName(QStringLiteral("Form1"));
  setFixedSize(twips_to_pixels(6600), twips_to_pixels(3525));
  setWindowIcon(window_icon());

  auto* drive_list = new DriveList(this);
  drive_list->about_to_open = [this] { refresh_volumes(); };
  Drive1 = drive_list;
  Drive1->setObjectName(QStringLiteral("Drive1"));
  Drive1->setGeometry(twips_rect(240, 240, 3015, 315));

  Dir1 = new FolderList(this);
  Dir1->setObjectName(QStringLiteral("Dir1"));
  Dir1->setGeometry(twips_rect(240, 660, 3015, 1440));

  File1 = new QListWidget(this);
  File1->setObjectName(QStringLiteral("File1"));
  File1->setGeometry(twips_rect(3360, 240, 3015, 2235));
  File1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  File1->setUniformItemSizes(true);
  File1->setEditTriggers(QAbstractItemView::NoEditTriggers);

  Text1 = new QLineEdit(default_output_path(), this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(twips_rect(240, 2200, 3015, 285));
  Text1->setMaxLength(std::numeric_limits<int>::max());  // the path is not cut short
  // Files dropped anywhere on the window, Text1 included, become the selection.
  Text1->setAcceptDrops(false);
  setAcceptDrops(true);

  Command2 = new QPushButton(tr("Extract"), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setGeometry(twips_rect(4800, 2775, 1575, 375));
  Command2->setAutoDefault(false);

  cmd_sample = new QPushButton(tr("Show Sample"), this);
  cmd_sample->setObjectName(QStringLiteral("cmd_sample"));
  cmd_sample->setGeometry(twips_rect(3120, 2775, 1455, 375));
  cmd_sample->setAutoDefault(false);
  // Enter presses the focused button, as Space does (see eventFilter).
  Command2->installEventFilter(this);
  cmd_sample->installEventFilter(this);

  StatusBar1 = new StatusBar(this, twips_to_pixels(1440), twips_to_pixels(5115));
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setGeometry(twips_rect(0, 3150, 6600, 375));

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(twips_rect(240, 2520, 6135, 220));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFocusPolicy(Qt::NoFocus);

  // "Show Sample" stands left of "Extract" but follows it in the tab order.
  setTabOrder(Drive1, Dir1);
  setTabOrder(Dir1, File1);
  setTabOrder(File1, Text1);
  setTabOrder(Text1, Command2);
  setTabOrder(Command2, cmd_sample);
  Drive1->setFocus();
}

void Form1::load() {
  volumes_ = services_.volumes->volumes();
  int drive = volume_of(volumes_, services_.working_folder);
  QString folder = services_.working_folder;
  if (drive < 0 && !volumes_.empty()) {
    // The working folder lies on none of the volumes offered: start on the first one.
    drive = 0;
    folder = volumes_.front().root;
  }
  for (const Volume& volume : volumes_) Drive1->addItem(volume.display_text());
  Drive1->setCurrentIndex(drive);
  last_good_drive_ = drive;
  setWindowTitle(QStringLiteral("Vemo %1.%2").arg(kVersionMajor).arg(kVersionMinor));
  set_folder(folder);

  // Connected after the lists are filled: loading runs no drive change.
  connect(Drive1, &QComboBox::currentIndexChanged, this, &Form1::drive_changed);
  connect(Dir1, &FolderList::folder_chosen, this, &Form1::set_folder);
  connect(Command2, &QPushButton::clicked, this, [this] { start_run(false); });
  connect(cmd_sample, &QPushButton::clicked, this, [this] { start_run(true); });
}

QString Form1::drive_folder(int index) const {
  if (volume_of(volumes_, services_.working_folder) == index) return services_.working_folder;
  return volumes_[static_cast<std::size_t>(index)].root;
}

void Form1::drive_changed(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= volumes_.size()) return;
  if (services_.volumes->ready(volumes_[static_cast<std::size_t>(index)])) {
    set_folder(drive_folder(index));
    last_good_drive_ = index;
    return;
  }
  services_.dialogs->show_message(this, QMessageBox::Critical, QStringLiteral("Drive Not Ready"));
  // Going back to the last good drive is itself a drive change, run here before returning. When
  // that drive fails too, Drive1 already shows it and nothing more happens.
  Drive1->setCurrentIndex(last_good_drive_);
}

void Form1::refresh_volumes() {
  if (running_) return;
  std::vector<Volume> fresh = services_.volumes->volumes();
  const int current = Drive1->currentIndex();
  QString current_root;
  if (current >= 0 && static_cast<std::size_t>(current) < volumes_.size()) {
    const Volume& shown = volumes_[static_cast<std::size_t>(current)];
    current_root = shown.root;
    // A drive that went away while the lists show it stays listed until the user leaves it.
    if (index_of_root(fresh, current_root) < 0) {
      fresh.insert(fresh.begin() + std::min<std::ptrdiff_t>(current, std::ssize(fresh)), shown);
    }
  }
  if (same_volumes(fresh, volumes_)) return;

  const QString last_good_root =
      last_good_drive_ >= 0 && static_cast<std::size_t>(last_good_drive_) < volumes_.size()
          ? volumes_[static_cast<std::size_t>(last_good_drive_)].root
          : QString();
  volumes_ = std::move(fresh);
  // Listing the volumes anew is no drive change: the lists keep what they show.
  const QSignalBlocker blocker(Drive1);
  Drive1->clear();
  for (const Volume& volume : volumes_) Drive1->addItem(volume.display_text());
  Drive1->setCurrentIndex(index_of_root(volumes_, current_root));
  last_good_drive_ = index_of_root(volumes_, last_good_root);
  if (last_good_drive_ < 0) last_good_drive_ = Drive1->currentIndex();
}

void Form1::watch_mount_table() {
  // A stick plugged in shows up in Drive1 without the list being opened. Watching costs nothing.
  mounts_fd_ = platform::open_mount_watch();
  if (mounts_fd_ < 0) return;
  auto* notifier = new QSocketNotifier(mounts_fd_, QSocketNotifier::Exception, this);
  connect(notifier, &QSocketNotifier::activated, this, &Form1::refresh_volumes);
}

bool Form1::select_files(const std::vector<std::string>& paths) {
  if (running_ || paths.empty()) return false;
  namespace fs = std::filesystem;
  const fs::path working = path_of_bytes(path_bytes(services_.working_folder));
  std::string folder_bytes;
  std::vector<QByteArray> names;
  for (const std::string& text : paths) {
    fs::path path = path_of_bytes(text);
    if (path.is_relative()) path = working / path;
    path = path.lexically_normal();
    if (!path.has_filename()) path = path.parent_path();  // "folder/" names the folder itself
    const std::string parent = bytes_of_path(path.parent_path());
    if (names.empty()) {
      folder_bytes = parent;
    } else if (parent != folder_bytes) {
      services_.dialogs->show_message(
          this, QMessageBox::Critical,
          tr("The files must all come from one folder. Please drop or name files of one folder "
             "only."));
      return false;
    }
    const std::string name = bytes_of_path(path.filename());
    names.emplace_back(name.data(), static_cast<qsizetype>(name.size()));
  }

  QString folder = QDir::cleanPath(QDir::fromNativeSeparators(path_text(folder_bytes)));
  int drive = volume_of(volumes_, folder);
  if (drive < 0) {
    refresh_volumes();  // the folder may be on a volume mounted since the list was read
    drive = volume_of(volumes_, folder);
  }
  if (drive < 0) {
    services_.dialogs->show_message(this, QMessageBox::Critical,
                                    tr("The folder %1 is not on any drive in the list.")
                                        .arg(QDir::toNativeSeparators(shown_text(folder))));
    return false;
  }
  const QString& root = volumes_[static_cast<std::size_t>(drive)].root;
  if (folder + QLatin1Char('/') == root) folder = root;  // a volume's root keeps its separator
  if (drive != Drive1->currentIndex()) {
    // The folder is known to be there, so this is no drive change that could fail.
    const QSignalBlocker blocker(Drive1);
    Drive1->setCurrentIndex(drive);
    last_good_drive_ = drive;
  }
  set_folder(folder);

  File1->clearSelection();
  QListWidgetItem* first = nullptr;
  QString missing;
  for (const QByteArray& name : names) {
    const qsizetype row = file_names_.indexOf(name);
    if (row < 0) {
      if (missing.isEmpty()) missing = display_text(name);
      continue;
    }
    QListWidgetItem* item = File1->item(static_cast<int>(row));
    item->setSelected(true);
    if (first == nullptr) first = item;
  }
  if (first != nullptr) {
    File1->setCurrentItem(first, QItemSelectionModel::NoUpdate);
    File1->scrollToItem(first);
  }
  if (!missing.isEmpty()) {
    services_.dialogs->show_message(
        this, QMessageBox::Critical,
        tr("%1 is not a file in the list, so it cannot be selected.").arg(missing));
    return false;
  }
  return true;
}

// The window only reads what is dropped: taken as a copy, never as a move, which the source may
// answer by deleting its files. A source that offers no copy is offered a link.
void Form1::accept_as_copy(QDropEvent* event) {
  const Qt::DropAction action =
      event->possibleActions().testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::LinkAction;
  if (!event->possibleActions().testFlag(action)) return;
  event->setDropAction(action);
  event->accept();
}

void Form1::select_files_once_shown(std::vector<std::string> paths) {
  selection_once_shown_ = std::move(paths);
  if (!selection_once_shown_.empty() && isVisible()) update();
}

void Form1::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // The first paint comes once the window is placed and exposed; the selection follows it, after
  // this paint is done.
  if (selection_once_shown_.empty()) return;
  QTimer::singleShot(0, this, [this] {
    const std::vector<std::string> paths = std::move(selection_once_shown_);
    selection_once_shown_.clear();
    if (!paths.empty()) select_files(paths);
  });
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (running_ || !data->hasUrls()) return;
  const QList<QUrl> urls = data->urls();
  if (std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
    accept_as_copy(event);
  }
}

void Form1::dropEvent(QDropEvent* event) {
  if (running_ || !event->mimeData()->hasUrls()) return;
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(local_path_bytes(url));
  }
  accept_as_copy(event);
  select_files(paths);
}

void Form1::set_folder(const QString& folder) {
  const int drive = Drive1->currentIndex();
  const bool has_volume = drive >= 0 && static_cast<std::size_t>(drive) < volumes_.size();
  const Volume volume =
      has_volume ? volumes_[static_cast<std::size_t>(drive)] : Volume{QDir::rootPath(), {}};
  if (folder == Dir1->folder() && volume.root == Dir1->root()) return;  // no change

  FolderContents contents;
  QString reason;
  const bool readable = read_folder(folder, contents, &reason);
  Dir1->show_folder(volume.root, volume.path_text(), folder, contents.folders);

  // The folder change: File1 follows Dir1, read anew with nothing selected.
  File1->clear();
  File1->addItems(contents.files);
  file_names_ = std::move(contents.file_names);
  if (!readable) {
    services_.dialogs->show_message(this, QMessageBox::Critical,
                                    tr("The folder %1 cannot be read: %2.")
                                        .arg(QDir::toNativeSeparators(shown_text(folder)), reason));
  }
}

void Form1::start_run(bool trial) {
  if (running_) return;
  running_ = true;
  stop_agreed_ = false;
  close_after_run_ = false;
  run_returned_ = false;
  repainted_in_run_ = false;
  status_changed_ = false;
  run_progress_ = ProgressBar1->value();
  qApp->installEventFilter(this);
  RunEnd end = RunEnd::kOutputFailed;
  try {
    // Worker threads decode while this thread keeps the status, the questions and the writing.
    RunOptions options;
    options.jobs = static_cast<unsigned>(std::max(1, QThread::idealThreadCount()));
    end = trial ? show_sample(run_state_, *this, *this, options).end
                : extract(run_state_, *this, *this, options).end;
  } catch (const std::exception& error) {
    services_.dialogs->show_message(
        this, QMessageBox::Critical,
        tr("The run stopped: %1").arg(QString::fromLocal8Bit(error.what())));
  }
  run_returned_ = true;
  if (end != RunEnd::kNoSelection) {
    // However the run ended, nothing should read like work still going on.
    set_status_text(1, {});
    set_status_text(2, {});
    set_progress(0);
  }
  show_run_progress(true);
  // Clicks and keys given while the run held the thread are still queued; they are taken here,
  // with the filter in place, so that none of them acts after the run.
  QCoreApplication::processEvents();
  qApp->removeEventFilter(this);
  running_ = false;
  if (close_after_run_) close();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (running_ && is_user_input(event->type())) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) ask_to_stop(false);
    }
    return true;
  }
  if (!running_ && event->type() == QEvent::KeyPress &&
      (watched == Command2 || watched == cmd_sample) && is_enter(static_cast<QKeyEvent*>(event))) {
    static_cast<QPushButton*>(watched)->click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The run is still on the stack: the window closes once it has ended, if at all.
    ask_to_stop(true);
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void Form1::ask_to_stop(bool then_close) {
  // While the run shows a box of its own, that box has to be answered first.
  if (asking_to_stop_ || run_dialogs_open_ > 0) return;
  if (stop_agreed_ || run_returned_) {
    close_after_run_ = close_after_run_ || then_close;
    return;
  }
  asking_to_stop_ = true;
  const bool yes = services_.dialogs->ask_yes_no(this, kStopQuestion, /*yes_is_default=*/false);
  asking_to_stop_ = false;
  if (!yes) return;
  stop_agreed_ = true;
  close_after_run_ = then_close;
  // The run stops at its next whole line, which an output that does not drain may hold up for
  // long: say so at once.
  StatusBar1->set_text(2, kStopping);
  status_changed_ = true;
  show_run_progress(/*now=*/true);
}

bool Form1::stop_requested() {
  if (running_) show_run_progress();
  return stop_agreed_;
}

void Form1::show_run_progress(bool now) {
  const auto time = services_.clock();
  if (!now && repainted_in_run_ && time - last_repaint_ < kRepaintInterval) return;
  // setValue repaints the bar at once when its picture changes.
  ProgressBar1->setValue(run_progress_);
  if (status_changed_) StatusBar1->repaint();
  status_changed_ = false;
  repainted_in_run_ = true;
  last_repaint_ = time;
  // The run's own boxes run their own event loop.
  if (!now && run_dialogs_open_ == 0) QCoreApplication::processEvents();
}

std::string Form1::current_folder() const {
  return path_bytes(QDir::toNativeSeparators(Dir1->folder()));
}

std::size_t Form1::item_count() const {
  return static_cast<std::size_t>(File1->count());
}

std::string Form1::item_name(std::size_t index) const {
  if (index >= item_count() || index >= static_cast<std::size_t>(file_names_.size())) return {};
  return file_names_[static_cast<qsizetype>(index)].toStdString();
}

bool Form1::selected(std::size_t index) const {
  if (index >= item_count()) return false;
  return File1->item(static_cast<int>(index))->isSelected();
}

std::string Form1::output_path() const {
  return system_bytes(Text1->text());
}

void Form1::set_status_text(int panel, std::string_view text) {
  StatusBar1->set_text(panel, display_text(text));
  status_changed_ = true;
  if (running_) show_run_progress();
}

void Form1::set_file_status(const FileStatus& status) {
  set_status_text(1, std::to_string(status.number) + "/" + std::to_string(status.count));
  if (!stop_agreed_) set_status_text(2, "Processing " + status.name);
}

void Form1::clear_status() {
  set_status_text(1, {});
  set_status_text(2, {});
}

void Form1::set_progress(int percent) {
  run_progress_ = std::clamp(percent, 0, 100);
  if (running_) {
    show_run_progress();
  } else {
    ProgressBar1->setValue(run_progress_);
  }
}

bool Form1::ask_yes_no(const Question& question) {
  if (running_) show_run_progress(true);
  ++run_dialogs_open_;
  const bool yes =
      services_.dialogs->ask_yes_no(this, display_text(question.text), question.yes_is_default);
  --run_dialogs_open_;
  return yes;
}

void Form1::show_message(const Message& message) {
  if (message.kind == MessageKind::kInputChangedSize) return;
  if (running_) show_run_progress(true);
  const auto icon =
      message.icon == Icon::kCritical ? QMessageBox::Critical : QMessageBox::Information;
  ++run_dialogs_open_;
  services_.dialogs->show_message(this, icon, display_text(message.text));
  --run_dialogs_open_;
}

void Form1::open_viewer(const std::string& path) {
  // An absolute path: the viewer cannot take it for an option, and any working folder will do.
  const QString file = QDir::toNativeSeparators(QFileInfo(display_text(path)).absoluteFilePath());
  const QString program = services_.viewer->program();
  auto failed = [window = QPointer<Form1>(this), program, file] {
    if (!window) return;
    window->services_.dialogs->show_message(
        window, QMessageBox::Critical,
        tr("The text viewer (%1) could not show the output. The output is in %2.")
            .arg(program, file));
  };
  if (services_.viewer->open(file, failed)) return;
  services_.dialogs->show_message(
      this, QMessageBox::Critical,
      tr("The text viewer (%1) could not be started. The output is in %2.").arg(program, file));
}

}  // namespace vemo::ui
