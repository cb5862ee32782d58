#pragma once

#include <QWidget>
#include <array>

class QLabel;

namespace vemo::ui {

// StatusBar1: a bar along the bottom edge with two sunken text panels of fixed widths.
class StatusBar final : public QWidget {
  Q_OBJECT

 public:
  // Widths of the two panels, in pixels.
  StatusBar(QWidget* parent, int panel1_width, int panel2_width);

  // panel is 1 or 2.
  QString text(int panel) const;
  void set_text(int panel, const QString& text);
  QLabel* panel(int panel) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::array<QLabel*, 2> panels_{};
  std::array<int, 2> widths_{};
};

}  // namespace vemo::ui
