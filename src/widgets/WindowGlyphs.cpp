#include "widgets/WindowGlyphs.h"

#include <cstdlib>

#include "widgets/SystemColors.h"

namespace {

using namespace SystemColors;

constexpr int kSize = 16;

QImage Blank() {
  QImage img(kSize, kSize, QImage::Format_RGB32);
  img.fill(clWhite);
  return img;
}

void Put(QImage& img, int x, int y, const QColor& c) {
  if (x >= 0 && y >= 0 && x < kSize && y < kSize) img.setPixel(x, y, c.rgb());
}

// Right-pointing triangle: left side column 2, rows 2..13, tip at column 15.
QImage Play() {
  QImage img = Blank();
  // Right end of each row in the upper half (rows 2..7); the lower half mirrors it.
  const int rightEnd[6] = {2, 5, 7, 10, 12, 15};
  for (int k = 0; k < 6; ++k) {
    const int upper = 2 + k, lower = 13 - k;
    const int prev = k == 0 ? 1 : rightEnd[k - 1];
    for (int x = 2; x <= rightEnd[k]; ++x) {
      const bool slope = x > prev;  // pixels exposed to the slanted edge
      Put(img, x, upper, x == 2 || slope ? clGray : clLime);
      Put(img, x, lower, x == 2 ? clGray : slope ? clSilver : clLime);
    }
  }
  return img;
}

// A filled box with a dark top-left edge and a light bottom-right edge.
void Box(QImage& img, int x1, int y1, int x2, int y2, const QColor& fill, const QColor& dark, const QColor& light) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const QColor& c = (x == x2 || y == y2) ? light : (x == x1 || y == y1) ? dark : fill;
      Put(img, x, y, c);
    }
}

QImage Pause() {
  QImage img = Blank();
  Box(img, 4, 2, 6, 13, clYellow, clOlive, clSilver);
  Box(img, 9, 2, 11, 13, clYellow, clOlive, clSilver);
  return img;
}

QImage Stop() {
  QImage img = Blank();
  Box(img, 3, 3, 12, 12, clRed, clMaroon, clSilver);
  return img;
}

QImage UpArrow() {
  QImage img = Blank();
  for (int row = 1; row <= 6; ++row)  // head widens by one pixel on each side per row
    for (int x = 8 - row; x <= 7 + row; ++x) Put(img, x, row, clBlack);
  for (int row = 7; row <= 11; ++row) {
    Put(img, 7, row, clBlack);
    Put(img, 8, row, clGray);
  }
  return img;
}

QImage DownArrow() {
  const QImage up = UpArrow();
  QImage img = Blank();
  for (int y = 0; y < kSize - 1; ++y)
    for (int x = 0; x < kSize; ++x) img.setPixel(x, 14 - y, up.pixel(x, y));
  return img;
}

QImage RedCross() {
  QImage img = Blank();
  for (int y = 2; y <= 13; ++y)
    for (int x = 2; x <= 13; ++x) {
      const int d = x - y;       // "\" stroke: 0 on its centre line
      const int s = x + y - 15;  // "/" stroke
      if (std::abs(d) <= 1 || std::abs(s) <= 1)
        Put(img, x, y, clRed);
      else if (d == 2 || s == -2)
        Put(img, x, y, clMaroon);  // upper edges
      else if (d == -2 || s == 2)
        Put(img, x, y, clSilver);  // lower edges
    }
  return img;
}

}  // namespace

QImage MakeWindowGlyph(WindowGlyph glyph) {
  switch (glyph) {
    case WindowGlyph::Play: return Play();
    case WindowGlyph::Pause: return Pause();
    case WindowGlyph::Stop: return Stop();
    case WindowGlyph::UpArrow: return UpArrow();
    case WindowGlyph::DownArrow: return DownArrow();
    case WindowGlyph::RedCross: return RedCross();
  }
  return Blank();
}
