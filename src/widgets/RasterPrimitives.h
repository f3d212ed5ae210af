#pragma once
// Pixel-exact drawing primitives for the owner-drawn widgets. Qt's own
// outlines and lines depend on the paint engine's rasteriser; these place
// every pixel themselves so a widget looks the same on every platform.
//
// Rectangles are PixelRect: columns left..right-1 and rows top..bottom-1.
// All functions: GUI thread (or any thread owning the painter's device).

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>

class QPainter;

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  PixelRect Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  static PixelRect FromQRect(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }
};

namespace Raster {

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Solid fill; an empty rectangle paints nothing.
void FillRect(QPainter& p, const PixelRect& r, const QColor& color);

// One-pixel outline on the rectangle's outermost pixels, with corner ellipses
// `corner` pixels wide and high (corner <= 1 gives square corners). The
// interior is left untouched.
void RoundedOutline(QPainter& p, const PixelRect& r, int corner, const QColor& color);

// Line from a towards b covering a and every pixel up to, not including, b.
void Line(QPainter& p, QPoint a, QPoint b, const QColor& color);

// Dotted focus rectangle drawn by inverting every other outline pixel, so
// drawing it twice restores the picture.
void InvertFocusRect(QPainter& p, const PixelRect& r);

// Banded gradient: `bands` (0..255) requested bands of flat colour between
// `first` and `second`. direction 0: top to bottom first->second, 1: top to
// bottom second->first, 2: left to right first->second, 3: left to right
// second->first. One band more than counted is painted, the last one just past
// the far edge, and channels wrap to their low 8 bits; callers rely on this
// exact look.
void FillGradientBands(QPainter& p, const PixelRect& r, const QColor& first, std::uint8_t bands, int direction,
                       const QColor& second);

// A font of `family` whose cell (ascent + descent) is at most `cellHeight`
// pixels, the largest such size.
QFont FontWithCellHeight(const QString& family, int cellHeight, bool bold = false);

}  // namespace Raster
