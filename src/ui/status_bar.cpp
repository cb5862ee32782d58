#include "ui/status_bar.h"

#include <QLabel>
#include <algorithm>

namespace vemo::ui {

StatusBar::StatusBar(QWidget* parent, int panel1_width, int panel2_width)
    : QWidget(parent), widths_{panel1_width, panel2_width} {
  setFocusPolicy(Qt::NoFocus);
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(3);
    label->setTextFormat(Qt::PlainText);
    panels_[i] = label;
  }
}

QLabel* StatusBar::panel(int panel) const {
  Q_ASSERT(panel == 1 || panel == 2);
  return panels_[static_cast<std::size_t>(panel - 1)];
}

QString StatusBar::text(int panel) const {
  Q_ASSERT(panel == 1 || panel == 2);
  return texts_[static_cast<std::size_t>(panel - 1)];
}

void StatusBar::set_text(int panel, const QString& text) {
  if (panel != 1 && panel != 2) return;
  texts_[static_cast<std::size_t>(panel - 1)] = text;
  show_text(static_cast<std::size_t>(panel - 1));
}

void StatusBar::show_text(std::size_t index) {
  // A long file name keeps its start and its end (the extension), so it can still be told apart.
  QLabel* label = panels_[index];
  const QString& text = texts_[index];
  const int room = label->contentsRect().width() - label->indent() - 2 * label->margin();
  const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(room, 0));
  label->setText(shown);
  label->setToolTip(shown == text ? QString() : text);
}

void StatusBar::resizeEvent(QResizeEvent*) {
  // Panels side by side from the left edge, with two pixels of margin above and one below.
  int left = 0;
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    panels_[i]->setGeometry(left, 2, widths_[i], height() - 3);
    left += widths_[i];
    show_text(i);
  }
}

}  // namespace vemo::ui
