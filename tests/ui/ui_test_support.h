#pragma once

// Fakes for the window's outside world and small builders for folders and data files.

#include <QDir>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qt_printers.h"
#include "ui/dialogs.h"
#include "ui/viewer_launcher.h"
#include "ui/volume_list.h"

namespace vemo::ui::test {

// Volumes chosen by the test; those whose root is in `failing` are not ready.
class FakeVolumes final : public VolumeList {
 public:
  std::vector<Volume> list;
  std::set<QString> failing;

  std::vector<Volume> volumes() const override { return list; }
  bool ready(const Volume& volume, QString* reason) const override {
    if (failing.count(volume.root) == 0) return true;
    if (reason) *reason = QStringLiteral("No medium found");
    return false;
  }
};

// Records every box the window shows and answers questions from a list (Yes when it runs out).
// `while_open` runs while a box is up, that is in the middle of the call that shows it.
class FakeDialogs final : public Dialogs {
 public:
  struct Shown {
    QMessageBox::Icon icon;
    QString text;
  };
  std::vector<Shown> messages;
  QStringList questions;
  std::vector<QMessageBox::StandardButton> question_defaults;
  std::vector<bool> answers;
  std::function<void()> while_open;

  void show_message(QWidget*, QMessageBox::Icon icon, const QString& text) override {
    messages.push_back({icon, text});
    if (while_open) while_open();
  }
  bool ask_yes_no(QWidget*, const QString& text,
                  QMessageBox::StandardButton default_button = QMessageBox::Yes) override {
    const std::size_t n = static_cast<std::size_t>(questions.size());
    questions.append(text);
    question_defaults.push_back(default_button);
    if (while_open) while_open();
    return n < answers.size() ? answers[n] : true;
  }
  QStringList texts() const {
    QStringList all;
    for (const auto& m : messages) all.append(m.text);
    return all;
  }
};

// Records launches; `works` false makes the start fail, and `report_failure()` plays a viewer
// that started but then could not show the file.
class FakeViewer final : public ViewerLauncher {
 public:
  QStringList opened;
  bool works = true;
  std::function<void()> failed;

  QString program() const override { return QStringLiteral("test-viewer"); }
  bool open(const QString& path, std::function<void()> on_failure) override {
    opened.append(path);
    failed = std::move(on_failure);
    return works;
  }
};

// A clock that moves on by `step` every time it is read.
struct SteppingClock {
  std::chrono::steady_clock::time_point now{};
  std::chrono::milliseconds step{10};
  int reads = 0;
  std::chrono::steady_clock::time_point read() {
    ++reads;
    now += step;
    return now;
  }
};

// The bytes of an accepted data file holding `records` records of length 119, spread over at
// least six blocks so that every probe finds a record.
std::string data_file(int records);

// Creates `path` and the folders above it, holding `bytes`.
void write_file(const QString& path, const std::string& bytes);
void make_folder(const QString& path);

// The output file's lines (split at the line end "\r\n").
QStringList read_lines(const QString& path);

}  // namespace vemo::ui::test
