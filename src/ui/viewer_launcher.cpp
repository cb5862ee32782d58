#include "ui/viewer_launcher.h"

#include <QProcess>

#include "platform/platform.h"

namespace vemo::ui {

DesktopViewerLauncher::DesktopViewerLauncher(QString program) : program_(std::move(program)) {}

QString DesktopViewerLauncher::default_program() {
  return platform::kWindows ? QStringLiteral("notepad.exe") : QStringLiteral("xdg-open");
}

bool DesktopViewerLauncher::open(const QString& path, std::function<void()> failed) {
  // Not owned by anything: should Vemo end first, the viewer is left running rather than
  // killed with its QProcess. Once the program ends, the object deletes itself.
  auto* process = new QProcess;
  process->setProgram(program_);
  process->setArguments({path});
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, process,
                   [process, failed = std::move(failed)](int code, QProcess::ExitStatus status) {
                     if ((status != QProcess::NormalExit || code != 0) && failed) failed();
                     process->deleteLater();
                   });
  process->start();
  if (!process->waitForStarted()) {
    delete process;
    return false;
  }
  process->closeWriteChannel();
  return true;
}

}  // namespace vemo::ui
