#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "ui/file_names.h"
#include "ui/form1.h"

int main(int argc, char* argv[]) {
  // An output FIFO whose reader goes away must end the run with "Broken pipe", not the program.
  vemo::platform::ignore_broken_pipe();
  // Without a display Qt would abort with a message about its plugins: say what is missing.
  // QT_QPA_PLATFORM or -platform choose a platform that may need none (offscreen, vnc).
  const bool platform_chosen = std::getenv("QT_QPA_PLATFORM") != nullptr ||
                               std::any_of(argv + 1, argv + argc, [](std::string_view a) {
                                 return a == "-platform" || a == "--platform";
                               });
  if (!platform_chosen && !vemo::platform::has_display()) {
    std::fputs(
        "vemo: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
        "vemo-convert converts without one\n",
        stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vemo"));
  QApplication::setDesktopFileName(QStringLiteral("vemo"));
  vemo::ui::Form1 window;
  window.show();
  // "vemo FILE..." starts with those files selected. QApplication has taken its own options out
  // of argv; the paths stay the bytes the caller gave.
  std::vector<std::string> paths;
  if constexpr (vemo::platform::kWindows) {
    // argv is in the ANSI code page there; Qt reads the command line itself, as UTF-16.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
      paths.push_back(vemo::ui::system_bytes(arguments[i]));
    }
  } else {
    paths.assign(argv + 1, argv + argc);
  }
  // After the window is on the screen, so that a message comes over it.
  if (!paths.empty()) window.select_files_once_shown(paths);
  return QApplication::exec();
}
