#pragma once
// The program's application object.
//
// On construction it installs Qt's own Hungarian catalogue (qtbase_hu from
// Qt's translations folder), so that Qt's texts — the buttons of message
// boxes, the file dialog — speak Hungarian like the rest of the program,
// whatever the user's locale; and it names the program to the desktop
// (window icon, desktop file name), so docks and task bars show its icon.
//
// An exception that escapes an event handler never crosses Qt's event loop:
// it is caught here, shown in an error box with its message, and the action
// that raised it ends. Handlers change the store only after their checks, so
// the store keeps what was done before the error.
//
// GUI thread only.

#include <QApplication>
#include <QTranslator>
#include <functional>

class TVomrellaApplication : public QApplication {
 public:
  TVomrellaApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Whether Qt's Hungarian catalogue was found and installed. Without it
  // (qt6-translations-l10n missing) Qt's own texts stay English.
  bool QtCatalogueLoaded() const { return qtCatalogueLoaded_; }

  // Shows a caught exception's text; without a handler it goes to stderr.
  // The main window installs one that uses its dialogs.
  static void SetExceptionHandler(std::function<void(const QString&)> handler);
  static void ReportException(const QString& message);

 private:
  QTranslator qtCatalogue_;
  bool qtCatalogueLoaded_ = false;
};
