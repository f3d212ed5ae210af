#pragma once
// Helpers for the widget tests: a host window, rendering to images, and
// synthetic input.

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QWidget>

#include <memory>
#include <string>

// A shown, active top-level window to put widgets on.
inline std::unique_ptr<QWidget> MakeHost(int w = 300, int h = 300) {
  auto host = std::make_unique<QWidget>();
  host->resize(w, h);
  QPalette pal = host->palette();
  pal.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
  host->setPalette(pal);
  host->show();
  host->activateWindow();
  QApplication::processEvents();
  return host;
}

// The widget's picture as the user sees it, RGB only.
inline QImage Render(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline QRgb Px(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }

inline std::string Hex(QRgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06X", c & 0xFFFFFFu);
  return buf;
}

inline void SendKey(QWidget* w, QEvent::Type type, int key, bool autoRepeat = false) {
  QKeyEvent e(type, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString(), autoRepeat);
  QApplication::sendEvent(w, &e);
}
