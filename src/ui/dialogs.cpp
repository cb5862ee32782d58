#include "ui/dialogs.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace vemo::ui {

void MessageBoxDialogs::show_message(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, kMessageTitle, text, QMessageBox::Ok, parent);
  box.exec();
}

bool MessageBoxDialogs::ask_yes_no(QWidget* parent, const QString& text,
                                   QMessageBox::StandardButton default_button) {
  YesNoBox box(parent, text, default_button);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

YesNoBox::YesNoBox(QWidget* parent, const QString& text, QMessageBox::StandardButton default_button)
    : QMessageBox(QMessageBox::Question, kMessageTitle, text, QMessageBox::Yes | QMessageBox::No,
                  parent) {
  setDefaultButton(default_button);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

void YesNoBox::keyPressEvent(QKeyEvent* event) {
  // QMessageBox would take Escape as No; the answer has to be given with a button.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QMessageBox::keyPressEvent(event);
}

void YesNoBox::closeEvent(QCloseEvent* event) {
  if (clickedButton() == nullptr) {
    event->ignore();
    return;
  }
  QMessageBox::closeEvent(event);
}

}  // namespace vemo::ui
