#pragma once
// A font asked for by face and character height in pixels (the window's
// design heights are given in pixels at 96 dpi); fontconfig substitutes a
// face that is not installed.

#include <QFont>
#include <QString>

inline QFont PixelFont(const char* family, int pixels, bool bold = false) {
  QFont f{QString::fromLatin1(family)};
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
