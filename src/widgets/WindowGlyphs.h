#pragma once
// The six 16 x 16 glyphs of the main window's buttons, drawn by the program on
// a white background. White (the bottom-left pixel) is their transparent colour.

#include <QImage>

enum class WindowGlyph { Play, Pause, Stop, UpArrow, DownArrow, RedCross };

// A fresh 16 x 16 RGB32 image of the glyph. GUI thread or any thread.
QImage MakeWindowGlyph(WindowGlyph glyph);
