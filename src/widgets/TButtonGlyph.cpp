#include "widgets/TButtonGlyph.h"

#include <QPainter>

#include <cmath>

#include "widgets/SystemColors.h"

namespace {

QRgb Rgb(const QColor& c) { return c.rgb() | 0xFF000000u; }

// Pixels of `mask` colour become fully transparent; everything else opaque.
QImage MaskedBy(QImage work, QRgb mask) {
  work = work.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < work.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(work.scanLine(y));
    for (int x = 0; x < work.width(); ++x)
      line[x] = (line[x] | 0xFF000000u) == mask ? 0u : (line[x] | 0xFF000000u);
  }
  return work;
}

void Recolour(QImage& img, QRgb from, QRgb to) {
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((line[x] | 0xFF000000u) == from) line[x] = to;
  }
}

QRgb BottomLeft(const QImage& img) { return img.pixel(0, img.height() - 1) | 0xFF000000u; }

}  // namespace

void TButtonGlyph::SetBitmap(const QImage& bitmap, std::optional<QColor> fixedTransparent) {
  ReleaseImages();
  bitmap_ = bitmap;
  fixedTransparent_ = fixedTransparent;
  if (bitmap_.height() <= 0) return;
  RefreshTransparentColor();
  if (bitmap_.width() % bitmap_.height() == 0) {
    const int count = bitmap_.width() / bitmap_.height();
    SetNumGlyphs(count < 5 ? count : 1);
  }
}

void TButtonGlyph::SetNumGlyphs(int count) {
  if (count <= 0 || count == numGlyphs_) return;
  ReleaseImages();
  numGlyphs_ = count;
  RefreshTransparentColor();
  if (OnChange) OnChange();
}

QSize TButtonGlyph::ImageSize() const { return QSize(bitmap_.width() / numGlyphs_, bitmap_.height()); }

void TButtonGlyph::ReleaseImages() {
  for (auto& image : built_) image.reset();
  for (auto& image : scaled_) image = QImage();
}

void TButtonGlyph::RefreshTransparentColor() {
  if (fixedTransparent_) {
    transparent_ = *fixedTransparent_;
    return;
  }
  if (bitmap_.isNull() || bitmap_.width() <= 0 || bitmap_.height() <= 0) return;
  if (bitmap_.depth() == 1) {
    transparent_ = SystemColors::clWhite;
    return;
  }
  transparent_ = QColor::fromRgb(BottomLeft(bitmap_));
}

QImage TButtonGlyph::SourceImage(int index) const {
  if (index >= numGlyphs_) index = 0;
  const QSize size = ImageSize();
  // Copied onto a face-coloured work bitmap so partly transparent sources
  // come out as on the platform.
  QImage work(size, QImage::Format_RGB32);
  work.fill(SystemColors::clBtnFace);
  QPainter p(&work);
  p.drawImage(QPoint(0, 0), bitmap_, QRect(index * size.width(), 0, size.width(), size.height()));
  p.end();
  return work;
}

const QImage& TButtonGlyph::StateImage(State state) {
  static const QImage none;
  if (bitmap_.width() <= 0 || bitmap_.height() <= 0 || ImageSize().width() <= 0) return none;
  // The strip has no down image of its own below three images.
  if (state == State::Down && numGlyphs_ < 3) state = State::Up;
  auto& slot = built_[static_cast<int>(state)];
  if (!slot) slot = BuildStateImage(state);
  return *slot;
}

QImage TButtonGlyph::BuildStateImage(State state) const {
  if (state != State::Disabled) {
    const QImage work = SourceImage(static_cast<int>(state));
    return MaskedBy(work, fixedTransparent_ ? Rgb(*fixedTransparent_) : BottomLeft(work));
  }
  if (numGlyphs_ < 2) {
    // Embossed silhouette of the black pixels; every other pixel vanishes.
    const QImage source = SourceImage(0);
    QImage work(source.size(), QImage::Format_RGB32);
    work.fill(SystemColors::clBtnFace);
    const QRgb black = 0xFF000000u;
    for (int y = 0; y < source.height(); ++y)
      for (int x = 0; x < source.width(); ++x)
        if ((source.pixel(x, y) | 0xFF000000u) == black && x + 1 < work.width() && y + 1 < work.height())
          work.setPixel(x + 1, y + 1, Rgb(SystemColors::clBtnHighlight));
    for (int y = 0; y < source.height(); ++y)
      for (int x = 0; x < source.width(); ++x)
        if ((source.pixel(x, y) | 0xFF000000u) == black) work.setPixel(x, y, Rgb(SystemColors::clBtnShadow));
    return MaskedBy(work, BottomLeft(work));
  }
  QImage work = SourceImage(1);
  Recolour(work, Rgb(SystemColors::clWhite), Rgb(SystemColors::clBtnHighlight));
  Recolour(work, Rgb(SystemColors::clGray), Rgb(SystemColors::clBtnShadow));
  Recolour(work, Rgb(transparent_), Rgb(SystemColors::clBtnFace));
  return MaskedBy(work, BottomLeft(work));
}

void TButtonGlyph::Draw(QPainter& p, QPoint pos, State state) {
  const QImage& image = StateImage(state);
  if (image.isNull()) return;
  const qreal scale = p.device() ? p.device()->devicePixelRatio() : 1.0;
  // At whole scales (1x, 2x) every glyph pixel becomes a whole square of
  // device pixels: Qt's own drawing is exact and keeps the picture crisp.
  if (scale == std::floor(scale) || p.worldTransform().type() > QTransform::TxTranslate) {
    p.drawImage(pos, image);
    return;
  }
  // At fractional scales (1.25x, 1.5x) a pixel would become one or two device
  // pixels by turns, giving uneven steps and edges: resample the glyph
  // smoothly onto the device pixels it covers and draw those one to one. Its
  // edges snap to the device pixel grid as the button's own fills do.
  const QPointF origin = p.worldTransform().map(QPointF(pos));
  const int left = qRound(origin.x() * scale), top = qRound(origin.y() * scale);
  const int right = qRound((origin.x() + image.width()) * scale);
  const int bottom = qRound((origin.y() + image.height()) * scale);
  if (right <= left || bottom <= top) return;
  auto& cached = scaled_[static_cast<int>(state)];
  if (cached.isNull() || cached.size() != QSize(right - left, bottom - top))
    cached = image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                 .scaled(right - left, bottom - top, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  p.save();
  p.setWorldTransform(QTransform::fromScale(1 / scale, 1 / scale));
  p.drawImage(QPoint(left, top), cached);
  p.restore();
}
