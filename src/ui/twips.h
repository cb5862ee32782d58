#pragma once

#include <QRect>

namespace vemo::ui {

// The window's layout is given in twips (1/1440 inch). At 96 dots per inch a pixel is 15 twips;
// Qt scales these device-independent pixels on other screens.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips_to_pixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// Rounds each edge, so that controls that meet in twips also meet in pixels.
constexpr QRect twips_rect(int left, int top, int width, int height) {
  const int x = twips_to_pixels(left);
  const int y = twips_to_pixels(top);
  return QRect(x, y, twips_to_pixels(left + width) - x, twips_to_pixels(top + height) - y);
}

}  // namespace vemo::ui
