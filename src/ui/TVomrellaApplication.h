#pragma once
// The program's application object. An exception that escapes an event
// handler never crosses Qt's event loop: it is caught here, shown in an
// error box with its message, and the action that raised it ends. Handlers
// change the store only after their checks, so the store keeps what was
// done before the error.
//
// GUI thread only.

#include <QApplication>
#include <functional>

class TVomrellaApplication : public QApplication {
 public:
  TVomrellaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows a caught exception's text; without a handler it goes to stderr.
  // The main window installs one that uses its dialogs.
  static void SetExceptionHandler(std::function<void(const QString&)> handler);
  static void ReportException(const QString& message);
};
