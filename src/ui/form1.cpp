#include "ui/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <limits>

#include "run/extraction_run.h"
#include "ui/folder_list.h"
#include "ui/folder_reader.h"
#include "ui/status_bar.h"
#include "ui/twips.h"

namespace vemo::ui {

namespace {

// While a run holds the thread, the bar and panels are repainted at most this often, which
// keeps the repaints to a small share of the run's time.
constexpr auto kRepaintInterval = std::chrono::milliseconds(50);

QString default_output_path() {
#ifdef Q_OS_WIN
  return QStringLiteral("c:\\vemo.txt");
#else
  return QDir::toNativeSeparators(QDir::home().filePath(QStringLiteral("vemo.txt")));
#endif
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
      return true;
    default:
      return false;
  }
}

std::string to_local(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

QString from_local(std::string_view text) {
  return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
  if (!services_.volumes) services_.volumes = std::make_shared<SystemVolumeList>();
  if (!services_.dialogs) services_.dialogs = std::make_shared<MessageBoxDialogs>();
  if (!services_.viewer) services_.viewer = std::make_shared<DesktopViewerLauncher>();
  if (!services_.clock) services_.clock = [] { return std::chrono::steady_clock::now(); };
  services_.working_folder =
      services_.working_folder.isEmpty()
          ? QDir::currentPath()
          : QDir::cleanPath(QDir::fromNativeSeparators(services_.working_folder));
  create_controls();
  load();
}

Form1::~Form1() = default;

void Form1::create_controls() {
  setObjectName(QStringLiteral("Form1"));
  setFixedSize(twips_to_pixels(6600), twips_to_pixels(3525));
  setWindowIcon(window_icon());

  Drive1 = new QComboBox(this);
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

  Command2 = new QPushButton(tr("Extract"), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setGeometry(twips_rect(4800, 2775, 1575, 375));
  Command2->setAutoDefault(false);

  cmd_sample = new QPushButton(tr("Show Sample"), this);
  cmd_sample->setObjectName(QStringLiteral("cmd_sample"));
  cmd_sample->setGeometry(twips_rect(3120, 2775, 1455, 375));
  cmd_sample->setAutoDefault(false);

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
  setWindowTitle(QStringLiteral("Vemo %1.%2").arg(VEMO_VERSION_MAJOR).arg(VEMO_VERSION_MINOR));
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
  if (!readable) {
    services_.dialogs->show_message(
        this, QMessageBox::Critical,
        tr("The folder %1 cannot be read: %2.").arg(QDir::toNativeSeparators(folder), reason));
  }
}

void Form1::start_run(bool trial) {
  if (running_) return;
  running_ = true;
  repainted_in_run_ = false;
  status_changed_ = false;
  run_progress_ = ProgressBar1->value();
  qApp->installEventFilter(this);
  try {
    if (trial) {
      show_sample(run_state_, *this, *this);
    } else {
      extract(run_state_, *this, *this);
    }
  } catch (const std::exception& error) {
    services_.dialogs->show_message(
        this, QMessageBox::Critical,
        tr("The run stopped: %1").arg(QString::fromLocal8Bit(error.what())));
  }
  show_run_progress(true);
  // Clicks and keys given while the run held the thread are still queued; they are taken here,
  // with the filter in place, so that none of them acts after the run.
  QCoreApplication::processEvents();
  qApp->removeEventFilter(this);
  running_ = false;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (running_ && is_user_input(event->type())) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
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
}

std::string Form1::current_folder() const {
  return to_local(QDir::toNativeSeparators(Dir1->folder()));
}

std::size_t Form1::item_count() const {
  return static_cast<std::size_t>(File1->count());
}

std::string Form1::item_name(std::size_t index) const {
  if (index >= item_count()) return {};
  return to_local(File1->item(static_cast<int>(index))->text());
}

bool Form1::selected(std::size_t index) const {
  if (index >= item_count()) return false;
  return File1->item(static_cast<int>(index))->isSelected();
}

std::string Form1::output_path() const {
  return to_local(Text1->text());
}

void Form1::set_status_text(int panel, std::string_view text) {
  StatusBar1->set_text(panel, from_local(text));
  status_changed_ = true;
  if (running_) show_run_progress();
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
  return services_.dialogs->ask_yes_no(this, QString::fromUtf8(question.text));
}

void Form1::show_message(const Message& message) {
  if (message.kind == MessageKind::kInputChangedSize) return;
  if (running_) show_run_progress(true);
  const auto icon =
      message.icon == Icon::kCritical ? QMessageBox::Critical : QMessageBox::Information;
  services_.dialogs->show_message(this, icon, QString::fromUtf8(message.text));
}

void Form1::open_viewer(const std::string& path) {
  // An absolute path: the viewer cannot take it for an option, and any working folder will do.
  const QString file = QDir::toNativeSeparators(QFileInfo(from_local(path)).absoluteFilePath());
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
