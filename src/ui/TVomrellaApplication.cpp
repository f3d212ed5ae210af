#include "ui/TVomrellaApplication.h"

#include <cstdio>
#include <exception>

namespace {

std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

}  // namespace

void TVomrellaApplication::SetExceptionHandler(std::function<void(const QString&)> handler) {
  Handler() = std::move(handler);
}

void TVomrellaApplication::ReportException(const QString& message) {
  const QString text = QString::fromUtf8("Váratlan hiba történt, a művelet megszakadt:\n") + message;
  if (Handler()) {
    try {
      Handler()(text);
      return;
    } catch (...) {
      // The box itself failed: fall back to the terminal.
    }
  }
  std::fprintf(stderr, "vomrella: %s\n", text.toLocal8Bit().constData());
}

bool TVomrellaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ReportException(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ReportException(QString::fromUtf8("ismeretlen hiba"));
  }
  return true;
}
