#pragma once

#include <QString>
#include <functional>

namespace vemo::ui {

// Starts the desktop's text viewer on a file, without waiting for it. An interface so that tests
// can record the launch or make it fail.
class ViewerLauncher {
 public:
  virtual ~ViewerLauncher() = default;
  // The program that opens the file, for messages.
  virtual QString program() const = 0;
  // Returns false when the program could not be started. When it starts but then ends reporting
  // an error (a desktop without a viewer for text), `failed` is called later from the event loop.
  virtual bool open(const QString& path, std::function<void()> failed) = 0;
};

// xdg-open on Linux, notepad.exe on Windows, or the program given. The path is passed as one
// argument, never through a shell.
class DesktopViewerLauncher final : public ViewerLauncher {
 public:
  explicit DesktopViewerLauncher(QString program = default_program());
  static QString default_program();

  QString program() const override { return program_; }
  bool open(const QString& path, std::function<void()> failed) override;

 private:
  QString program_;
};

}  // namespace vemo::ui
