// Window layouts are given in twips; 15 twips make one pixel at 96 dpi.
#pragma once

#include <QRect>

namespace qrb {

inline constexpr int TwipsPerPixel = 15;

constexpr int Px(int twips) { return twips / TwipsPerPixel; }

constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace qrb
