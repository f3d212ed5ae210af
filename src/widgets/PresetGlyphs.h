#pragma once
// Preset glyph strips of the flat button kinds (OK, Cancel, ...), drawn by the
// program: two 16 x 16 images side by side (normal, disabled) on an olive
// background, which is their transparent colour.

#include <QImage>

// Strip for kind index 1..10 (bkOK..bkAll); a null image for 0 (bkCustom) and
// out-of-range values. Built on first use and kept for the process. GUI thread.
const QImage& PresetGlyph(int kind);
