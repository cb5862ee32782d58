#include <QApplication>

#include "ui/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vemo"));
  QApplication::setDesktopFileName(QStringLiteral("vemo"));
  vemo::ui::Form1 window;
  window.show();
  return QApplication::exec();
}
