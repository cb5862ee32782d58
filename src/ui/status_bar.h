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

  // panel is 1 or 2. The text is the whole one; a panel too narrow for it shows it elided in the
  // middle, with the whole text as its tool tip.
  QString text(int panel) const;
  void set_text(int panel, const QString& text);
  QLabel* panel(int panel) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void show_text(std::size_t index);

  std::array<QLabel*, 2> panels_{};
  std::array<QString, 2> texts_{};
  std::array<int, 2> widths_{};
};

}  // namespace vemo::ui
