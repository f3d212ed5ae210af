#include "widgets/RasterPrimitives.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Raster {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long num = static_cast<long long>(a) * b;
  const long long den = c;
  const bool negative = (num < 0) != (den < 0);
  const long long an = std::llabs(num);
  const long long ad = std::llabs(den);
  const long long q = (2 * an + ad) / (2 * ad);
  return static_cast<int>(negative ? -q : q);
}

void FillRect(QPainter& p, const PixelRect& r, const QColor& color) {
  if (r.IsEmpty()) return;
  p.fillRect(r.ToQRect(), color);
}

namespace {

void Pixel(QPainter& p, int x, int y, const QColor& color) { p.fillRect(QRect(x, y, 1, 1), color); }

// The rounded rectangle as a set of pixels: a pixel belongs to it when its
// centre lies inside the rectangle with circular corners of `radius`. For
// the usual small corners this cuts just the corner pixels, so that the face
// inside reaches the pixel diagonally next to the corner.
struct RoundedShape {
  PixelRect r;
  double radius;

  bool Contains(int x, int y) const {
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return false;
    if (radius <= 0) return true;
    const double cx = x + 0.5, cy = y + 0.5;
    const double ax = std::clamp(cx, r.left + radius, r.right - radius);
    const double ay = std::clamp(cy, r.top + radius, r.bottom - radius);
    const double dx = cx - ax, dy = cy - ay;
    return dx * dx + dy * dy <= radius * radius + 1e-9;
  }
  bool OnOutline(int x, int y) const {
    return Contains(x, y) &&
           (!Contains(x - 1, y) || !Contains(x + 1, y) || !Contains(x, y - 1) || !Contains(x, y + 1));
  }
};

}  // namespace

void RoundedOutline(QPainter& p, const PixelRect& r, int corner, const QColor& color) {
  if (r.IsEmpty()) return;
  double radius = corner > 1 ? corner / 2.0 : 0.0;
  radius = std::min({radius, r.Width() / 2.0, r.Height() / 2.0});
  const RoundedShape shape{r, radius};
  // Only a band as deep as the corner can hold outline pixels.
  const int band = static_cast<int>(std::ceil(radius)) + 1;
  for (int y = r.top; y < r.bottom; ++y) {
    const bool edgeRow = y < r.top + band || y >= r.bottom - band;
    for (int x = r.left; x < r.right; ++x) {
      if (!edgeRow && x >= r.left + band && x < r.right - band) {
        x = r.right - band - 1;  // skip the interior of the row
        continue;
      }
      if (shape.OnOutline(x, y)) Pixel(p, x, y, color);
    }
  }
}

void Line(QPainter& p, QPoint a, QPoint b, const QColor& color) {
  int x = a.x(), y = a.y();
  const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y);
  const int sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
  int err = dx + dy;
  while (x != b.x() || y != b.y()) {
    Pixel(p, x, y, color);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void InvertFocusRect(QPainter& p, const PixelRect& r) {
  if (r.IsEmpty()) return;
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  auto dot = [&](int x, int y) {
    if ((x + y) % 2 == 0) Pixel(p, x, y, Qt::white);
  };
  // Each outline pixel exactly once, so that corners are not inverted twice.
  for (int x = r.left; x < r.right; ++x) {
    dot(x, r.top);
    if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
  }
  for (int y = r.top + 1; y < r.bottom - 1; ++y) {
    dot(r.left, y);
    if (r.right - 1 > r.left) dot(r.right - 1, y);
  }
  p.restore();
}

void FillGradientBands(QPainter& p, const PixelRect& r, const QColor& first, std::uint8_t bands, int direction,
                       const QColor& second) {
  if (r.IsEmpty()) return;
  if (bands < 2) {
    FillRect(p, r, first);
    return;
  }
  const bool reversed = direction == 1 || direction == 3;
  const bool vertical = direction == 0 || direction == 1;
  const QColor& start = reversed ? second : first;
  const QColor& end = reversed ? first : second;
  const int dr = end.red() - start.red();
  const int dg = end.green() - start.green();
  const int db = end.blue() - start.blue();
  const int extent = vertical ? r.Height() : r.Width();
  const int count = std::max(2, std::min<int>(bands, extent));
  const int size = extent / count;
  if (size > 0) {
    for (int i = 0; i <= count; ++i) {
      const QColor c((start.red() + MulDiv(i, dr, count - 1)) & 0xFF, (start.green() + MulDiv(i, dg, count - 1)) & 0xFF,
                     (start.blue() + MulDiv(i, db, count - 1)) & 0xFF);
      const PixelRect band = vertical ? PixelRect{r.left, r.top + i * size, r.right, r.top + (i + 1) * size}
                                      : PixelRect{r.left + i * size, r.top, r.left + (i + 1) * size, r.bottom};
      FillRect(p, band, c);
    }
  }
  const int rest = extent % count;
  if (rest > 0) {
    const PixelRect tail = vertical ? PixelRect{r.left, r.bottom - rest, r.right, r.bottom}
                                    : PixelRect{r.right - rest, r.top, r.right, r.bottom};
    FillRect(p, tail, end);
  }
}

QFont FontWithCellHeight(const QString& family, int cellHeight, bool bold) {
  QFont font(family);
  font.setBold(bold);
  int size = std::max(1, cellHeight);
  for (; size > 1; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= cellHeight) break;
  }
  font.setPixelSize(size);
  return font;
}

}  // namespace Raster
