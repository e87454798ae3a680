// The forms' fixed layouts are given in twips for an 8-point font: 15 twips
// make one pixel at 96 dpi.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

namespace qrb {

inline constexpr int TwipsPerPixel = 15;
inline constexpr int FormFontPointSize = 8;

constexpr int Px(int twips) { return twips / TwipsPerPixel; }

constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

// The font the layouts are made for; set before the controls are created.
inline void UseFormFont(QWidget* form) {
  QFont font = form->font();
  font.setPointSize(FormFontPointSize);
  form->setFont(font);
}

}  // namespace qrb
