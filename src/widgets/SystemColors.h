#pragma once
// The platform's named and system colours the custom widgets paint with.
// System colours are the classic desktop defaults, fixed so that the program
// looks the same under every Qt style and theme.

#include <QColor>

namespace SystemColors {

inline const QColor clBtnFace{0xF0, 0xF0, 0xF0};
inline const QColor clBtnHighlight{0xFF, 0xFF, 0xFF};
inline const QColor clBtnShadow{0xA0, 0xA0, 0xA0};
inline const QColor clGrayText{0x6D, 0x6D, 0x6D};
inline const QColor clHotLight{0x00, 0x66, 0xCC};
inline const QColor clWindowText{0x00, 0x00, 0x00};

inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
inline const QColor clGray{0x80, 0x80, 0x80};
inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clOlive{0x80, 0x80, 0x00};
inline const QColor clMaroon{0x80, 0x00, 0x00};
inline const QColor clRed{0xFF, 0x00, 0x00};
inline const QColor clLime{0x00, 0xFF, 0x00};
inline const QColor clYellow{0xFF, 0xFF, 0x00};
inline const QColor clSkyBlue{0xA6, 0xCA, 0xF0};

}  // namespace SystemColors
