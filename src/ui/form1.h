#pragma once

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "run/run_observer.h"
#include "run/run_state.h"
#include "run/selection_view.h"
#include "ui/dialogs.h"
#include "ui/viewer_launcher.h"
#include "ui/volume_list.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vemo::ui {

class FolderList;
class StatusBar;

// What the window works with in the outside world. Empty members get the real ones.
struct Form1Services {
  std::shared_ptr<VolumeList> volumes;
  std::shared_ptr<Dialogs> dialogs;
  std::shared_ptr<ViewerLauncher> viewer;
  QString working_folder;  // the process's working folder when empty
  std::function<std::chrono::steady_clock::time_point()> clock;
};

// The main window: drive, folder and file lists kept in step, the output path, the two buttons
// that start runs, and the status panels and bar that show a run's progress. It is the
// selection view the runs read and the observer they report to, and it owns their state.
class Form1 final : public QWidget, public SelectionView, public RunObserver {
  Q_OBJECT

 public:
  explicit Form1(Form1Services services = {}, QWidget* parent = nullptr);
  ~Form1() override;

  const RunState& run_state() const { return run_state_; }
  bool run_active() const { return running_; }
  // The entry of Drive1 that the lists last followed without error.
  int last_good_drive() const { return last_good_drive_; }

  // Makes the files at `paths` (the bytes of each path, relative ones taken from the working
  // folder) the selection: Drive1 and Dir1 move to their folder and File1 selects them. Files
  // from more than one folder are refused with a message. Returns whether every file was
  // selected.
  bool select_files(const std::vector<std::string>& paths);
  // The same once the window is on the screen, so that a message it gives comes over the
  // window rather than wherever the screen puts a box without a placed parent ("vemo FILE...").
  void select_files_once_shown(std::vector<std::string> paths);

  // SelectionView
  std::string current_folder() const override;
  std::size_t item_count() const override;
  std::string item_name(std::size_t index) const override;
  bool selected(std::size_t index) const override;
  std::string output_path() const override;

  // RunObserver
  void set_file_status(const FileStatus& status) override;
  void clear_status() override;
  // Shows a text in status panel 1 or 2; an empty text clears it.
  void set_status_text(int panel, std::string_view text);
  void set_progress(int percent) override;
  bool ask_yes_no(const Question& question) override;
  void show_message(const Message& message) override;
  void open_viewer(const std::string& path) override;
  // Keeps the window alive during a run (throttled like the repaints) and reports whether the
  // user agreed to stop it.
  bool stop_requested() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void create_controls();
  void load();
  void drive_changed(int index);
  // Reads the volumes again and lists them in Drive1, keeping the current drive selected.
  void refresh_volumes();
  void watch_mount_table();
  QString drive_folder(int index) const;
  void set_folder(const QString& folder);
  void start_run(bool trial);
  // While a run holds the thread the event loop does not run; this repaints the bar and the
  // panels and takes pending events (paints, the desktop's pings, close requests; the input
  // filter drops the user's input), at most every kRepaintInterval unless `now`.
  void show_run_progress(bool now = false);
  // A close request or Esc during a run: asks whether to stop it, and on Yes asks the run to stop
  // (and the window to close after it when `then_close`).
  void ask_to_stop(bool then_close);
  static void accept_as_copy(QDropEvent* event);

  Form1Services services_;
  std::vector<Volume> volumes_;
  QList<QByteArray> file_names_;  // File1's names as the system stores them, row by row
  std::vector<std::string> selection_once_shown_;
  int mounts_fd_ = -1;
  int last_good_drive_ = -1;
  RunState run_state_;
  bool running_ = false;
  bool stop_agreed_ = false;      // the user said Yes to stopping the current run
  bool close_after_run_ = false;  // the stop came with a close request
  bool run_returned_ = false;     // the run has ended; its last events are being taken
  bool asking_to_stop_ = false;
  int run_dialogs_open_ = 0;  // the run's own questions and messages being shown
  bool repainted_in_run_ = false;
  bool status_changed_ = false;
  int run_progress_ = 0;  // the value the run last set, shown at the next repaint
  std::chrono::steady_clock::time_point last_repaint_{};

  QComboBox* Drive1 = nullptr;
  FolderList* Dir1 = nullptr;
  QListWidget* File1 = nullptr;
  QLineEdit* Text1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* cmd_sample = nullptr;
  StatusBar* StatusBar1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
};

}  // namespace vemo::ui
