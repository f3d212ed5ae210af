#include "widgets/PresetGlyphs.h"

#include <QPainter>
#include <QPolygon>

#include <array>
#include <optional>

#include "widgets/SystemColors.h"

namespace {

using namespace SystemColors;

constexpr int kSize = 16;
const QColor kGreen{0x00, 0x80, 0x00};
const QColor kNavy{0x00, 0x00, 0x80};
const QColor kBrown{0x80, 0x40, 0x00};

QPen Pen(const QColor& c, int width) {
  QPen pen(c, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
  return pen;
}

void Check(QPainter& p, int dx) {
  p.setPen(Pen(kGreen, 2));
  p.drawPolyline(QPolygon({QPoint(2 + dx, 8), QPoint(6 + dx, 12), QPoint(13 + dx, 3)}));
}

void Cross(QPainter& p, const QColor& c) {
  p.setPen(Pen(c, 2));
  p.drawLine(3, 3, 12, 12);
  p.drawLine(12, 3, 3, 12);
}

// Normal picture of a kind, on olive.
QImage Picture(int kind) {
  QImage img(kSize, kSize, QImage::Format_RGB32);
  img.fill(clOlive);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  switch (kind) {
    case 1:  // OK
    case 4:  // Yes
      Check(p, 0);
      break;
    case 2:  // Cancel
      Cross(p, clRed);
      break;
    case 3:  // Help: a question mark
      p.setPen(Pen(kNavy, 2));
      p.drawPolyline(QPolygon({QPoint(4, 5), QPoint(5, 3), QPoint(10, 3), QPoint(11, 5), QPoint(8, 8), QPoint(8, 10)}));
      p.fillRect(QRect(7, 12, 2, 2), kNavy);
      break;
    case 5:  // No: a barred circle
      p.setPen(Pen(clRed, 2));
      p.drawEllipse(QRect(3, 3, 10, 10));
      p.drawLine(5, 11, 11, 5);
      break;
    case 6:  // Close: a door with its knob
      p.fillRect(QRect(4, 2, 8, 12), kBrown);
      p.fillRect(QRect(9, 8, 2, 2), clYellow);
      break;
    case 7:  // Abort
      p.fillRect(QRect(3, 3, 10, 10), clRed);
      p.setPen(Pen(clWhite, 2));
      p.drawLine(6, 6, 9, 9);
      p.drawLine(9, 6, 6, 9);
      break;
    case 8:  // Retry: an arrow turning back
      p.setPen(Pen(kGreen, 2));
      p.drawPolyline(QPolygon({QPoint(4, 9), QPoint(4, 4), QPoint(11, 4), QPoint(11, 11), QPoint(7, 11)}));
      p.drawLine(2, 8, 4, 10);
      p.drawLine(6, 8, 4, 10);
      break;
    case 9:  // Ignore: an arrow passing by
      p.setPen(Pen(kNavy, 2));
      p.drawLine(2, 8, 12, 8);
      p.drawLine(9, 5, 12, 8);
      p.drawLine(9, 11, 12, 8);
      break;
    case 10:  // All: two checks
      Check(p, -1);
      p.setPen(Pen(kGreen.darker(), 1));
      p.drawPolyline(QPolygon({QPoint(5, 8), QPoint(8, 11), QPoint(14, 3)}));
      break;
  }
  return img;
}

// Disabled picture: the shape in grey with a white copy one pixel lower right.
QImage Greyed(const QImage& picture) {
  QImage img(kSize, kSize, QImage::Format_RGB32);
  img.fill(clOlive);
  const QRgb olive = clOlive.rgb();
  for (int y = 0; y + 1 < kSize; ++y)
    for (int x = 0; x + 1 < kSize; ++x)
      if (picture.pixel(x, y) != olive) img.setPixel(x + 1, y + 1, clWhite.rgb());
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      if (picture.pixel(x, y) != olive) img.setPixel(x, y, clGray.rgb());
  return img;
}

QImage Strip(int kind) {
  const QImage picture = Picture(kind);
  QImage strip(2 * kSize, kSize, QImage::Format_RGB32);
  QPainter p(&strip);
  p.drawImage(0, 0, picture);
  p.drawImage(kSize, 0, Greyed(picture));
  return strip;
}

}  // namespace

const QImage& PresetGlyph(int kind) {
  static std::array<std::optional<QImage>, 11> table;
  static const QImage none;
  if (kind <= 0 || kind >= static_cast<int>(table.size())) return none;
  auto& slot = table[static_cast<std::size_t>(kind)];
  if (!slot) slot = Strip(kind);
  return *slot;
}
