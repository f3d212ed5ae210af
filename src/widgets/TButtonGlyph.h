#pragma once
// Glyph holder of a flat button: the glyph strip (one to four images side by
// side) and the picture built from it for each button state. GUI thread only.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>

#include <array>
#include <functional>
#include <optional>

class QPainter;

class TButtonGlyph {
 public:
  // Image numbers in the strip: up 0, disabled 1, down 2, exclusive 3.
  enum class State { Up = 0, Disabled = 1, Down = 2, Exclusive = 3 };

  // Copies the strip. When it has a positive height its transparent colour is
  // taken (the fixed one if given, else the bottom-left pixel; white for a
  // monochrome bitmap) and, when the width is a whole multiple of the height,
  // the image count becomes width / height (1 when that is 5 or more).
  void SetBitmap(const QImage& bitmap, std::optional<QColor> fixedTransparent = std::nullopt);
  const QImage& Bitmap() const { return bitmap_; }

  int NumGlyphs() const { return numGlyphs_; }
  // Ignores 0 (and negatives) and an unchanged count; otherwise drops the built
  // pictures, refreshes the transparent colour and calls OnChange.
  void SetNumGlyphs(int count);

  QColor TransparentColor() const { return transparent_; }

  // Size of one image of the strip: (width / count, height).
  QSize ImageSize() const;

  // The picture for `state`, with its transparent pixels at alpha 0; a null
  // image when the strip is empty. Built on first use and kept.
  const QImage& StateImage(State state);

  // Draws the state's picture with its top-left corner at `pos`, leaving the
  // transparent pixels untouched. Nothing for an empty strip. On a device
  // with a fractional pixel ratio the picture is resampled smoothly to
  // device resolution; at whole ratios its pixels are drawn as they are.
  void Draw(QPainter& p, QPoint pos, State state);

  // Called after the image count changed (the button repaints).
  std::function<void()> OnChange;

 private:
  void ReleaseImages();
  void RefreshTransparentColor();
  QImage SourceImage(int index) const;
  QImage BuildStateImage(State state) const;

  QImage bitmap_;
  std::optional<QColor> fixedTransparent_;
  int numGlyphs_ = 1;
  QColor transparent_{0x80, 0x80, 0x00};
  std::array<std::optional<QImage>, 5> built_;
  // The built pictures resampled for a fractional device pixel ratio, by state.
  std::array<QImage, 5> scaled_;
};
