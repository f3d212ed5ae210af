#include "show/OperatorText.h"
#include "ui/TVomrellaApplication.h"

#include <QIcon>
#include <QLibraryInfo>

#include <cstdio>
#include <exception>

namespace {

// The icon the desktop entry names: the icon theme's (the installed hicolor
// icons, or a theme's own), else the same pictures built into the program,
// so a build run from its tree shows it too.
QIcon ProgramIcon() {
  QIcon bundled;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    bundled.addFile(QStringLiteral(":/vomrella/icons/%1x%1/apps/vomrella.png").arg(size), QSize(size, size));
  return QIcon::fromTheme(QStringLiteral("vomrella"), bundled);
}

std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

}  // namespace

TVomrellaApplication::TVomrellaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // Every text of the program is Hungarian, so Qt's are too, whatever LANG says.
  qtCatalogueLoaded_ = qtCatalogue_.load(QStringLiteral("qtbase_hu"),
                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                       installTranslator(&qtCatalogue_);
  setDesktopFileName(QStringLiteral("vomrella"));
  setWindowIcon(ProgramIcon());
}

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
    ReportException(QString::fromLocal8Bit(HungarianMessage(e.what()).c_str()));
  } catch (...) {
    ReportException(QString::fromUtf8("ismeretlen hiba"));
  }
  return true;
}
