#pragma once
// Helpers for the widget tests: a host window, rendering to images, and
// synthetic input.

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <string>

// Qt's entry point for mouse input from the window system (the one QtTest
// uses): the event then takes the same path as a real click, focus included.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);

// A left click at `at` (widget coordinates) as the window system delivers it.
inline void SystemClick(QWidget* w, QPoint at) {
  static int timestamp = 0;
  QWidget* top = w->window();
  const QPointF local = w->mapTo(top, QPointF(at));
  const QPointF global = top->mapToGlobal(local);
  timestamp += 10000;  // far apart: never a double click
  qt_handleMouseEvent(top->windowHandle(), local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                      Qt::NoModifier, timestamp);
  qt_handleMouseEvent(top->windowHandle(), local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                      Qt::NoModifier, timestamp + 1);
}

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
