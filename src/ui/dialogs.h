#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace vemo::ui {

// The window's modal message boxes, behind an interface so that tests can answer them.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A text with the critical or the information icon and one OK button; returns when dismissed.
  virtual void show_message(QWidget* parent, QMessageBox::Icon icon, const QString& text) = 0;
  // A question with the Yes and No buttons and the given default (Yes or No). Returns true for
  // Yes.
  virtual bool ask_yes_no(QWidget* parent, const QString& text,
                          QMessageBox::StandardButton default_button = QMessageBox::Yes) = 0;
};

// Message boxes titled "Vemo".
class MessageBoxDialogs final : public Dialogs {
 public:
  void show_message(QWidget* parent, QMessageBox::Icon icon, const QString& text) override;
  bool ask_yes_no(QWidget* parent, const QString& text,
                  QMessageBox::StandardButton default_button = QMessageBox::Yes) override;
};

// A Yes/No message box that can only be closed by answering: Escape and the window's close
// request are refused, and the title bar has no close button.
class YesNoBox final : public QMessageBox {
  Q_OBJECT

 public:
  YesNoBox(QWidget* parent, const QString& text,
           QMessageBox::StandardButton default_button = QMessageBox::Yes);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

inline constexpr QLatin1String kMessageTitle("Vemo");

}  // namespace vemo::ui
