#include <QApplication>
#include <string>
#include <vector>
#ifndef _WIN32
#include <csignal>
#endif

#include "ui/form1.h"

int main(int argc, char* argv[]) {
#ifndef _WIN32
  // An output FIFO whose reader goes away must end the run with "Broken pipe", not the program.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vemo"));
  QApplication::setDesktopFileName(QStringLiteral("vemo"));
  vemo::ui::Form1 window;
  window.show();
  // "vemo FILE..." starts with those files selected. QApplication has taken its own options out
  // of argv; the paths stay the bytes the caller gave.
  if (argc > 1) window.select_files(std::vector<std::string>(argv + 1, argv + argc));
  return QApplication::exec();
}
