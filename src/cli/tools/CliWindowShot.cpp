// "vomrella --window-shot DIR [SCRIPT]": renders each of the window's three
// pages to DIR/page-0.png ... page-2.png on the offscreen platform, with a
// script loaded (the bundled demo by default) so that something shows. For
// review by eye and for the user guide.

#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli/TCommandArgs.h"
#include "cli/tools/DeveloperTools.h"
#include "ui/TFrm_Main.h"
#include "ui/TVomrellaApplication.h"
#include "widgets/TOwnPageControl.h"

namespace {

// Boxes go to the terminal: nobody is there to answer them.
class TConsoleDialogs : public TDialogs {
 public:
  void ErrorBox(const QString& text) override { Print("Hiba", text); }
  void InfoBox(const QString& text) override { Print("Információ", text); }
  bool YesNo(const QString& text) override {
    Print("Kérdés", text);
    return false;
  }
  TSaveChangesAnswer SaveChanges(const QString& text) override {
    Print("Kérdés", text);
    return TSaveChangesAnswer::Discard;
  }
  QString InputBox(const QString&, const QString&, const QString& Default) override { return Default; }
  std::optional<QString> OpenFile(const TFileDialogSpec&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const TFileDialogSpec&) override { return std::nullopt; }

 private:
  static void Print(const char* kind, const QString& text) {
    std::fprintf(stderr, "vomrella: %s: %s\n", kind, text.toLocal8Bit().constData());
  }
};

int WindowShot(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  if (!parsed.Parse(args, 1, 2)) {
    std::fprintf(stderr, "Használat: vomrella --window-shot MAPPA [SCRIPT]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path out = fs::absolute(fs::path(parsed.Operands()[0]), ec);
  fs::create_directories(out, ec);
  if (!fs::is_directory(out, ec)) {
    std::fprintf(stderr, "vomrella: a mappa nem hozható létre: %s\n", out.c_str());
    return 1;
  }
  // Clips are looked up under the current folder, so work in the script's.
  // The demo of the source tree, else the installed one.
  fs::path demo = fs::path(VOMRELLA_DEMO_DIR) / "demo.vrs";
  if (!fs::is_regular_file(demo, ec)) demo = fs::path(VOMRELLA_INSTALLED_DEMO_DIR) / "demo.vrs";
  const fs::path script = parsed.Operands().size() == 2 ? fs::absolute(fs::path(parsed.Operands()[1]), ec) : demo;
  fs::current_path(script.parent_path(), ec);
  if (ec) {
    std::fprintf(stderr, "vomrella: a script mappája nem érhető el: %s\n", script.parent_path().c_str());
    return 1;
  }

  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int argc = 1;
  char name[] = "vomrella";
  char* argv[] = {name, nullptr};
  TVomrellaApplication app(argc, argv);
  TFrm_Main::TOptions options;
  options.Dialogs = std::make_unique<TConsoleDialogs>();
  options.FirstArgument = script.string();
  TFrm_Main window(std::move(options));
  // Show the first composition's items and the live page for it.
  if (window.CB_RogzOsszeall->count() > 0) {
    window.CB_RogzOsszeall->setCurrentIndex(0);
    window.CB_TestOsszeall->setCurrentIndex(0);
    window.CB_RogzOsszeallSelect();
    window.CB_TestOsszeallSelect();
  }
  window.AdatlapKitolt(window.AktIndex);
  window.show();
  int failed = 0;
  for (int page = 0; page < window.PageControl->count(); ++page) {
    window.PageControl->setCurrentIndex(page);
    QCoreApplication::processEvents();
    const fs::path file = out / ("page-" + std::to_string(page) + ".png");
    if (!window.grab().save(QString::fromStdString(file.string()), "PNG")) {
      std::fprintf(stderr, "vomrella: a kép nem írható: %s\n", file.c_str());
      ++failed;
      continue;
    }
    std::printf("%s\n", file.c_str());
  }
  return failed ? 1 : 0;
}

}  // namespace

const CliCommand kWindowShotCommand{
    "--window-shot", "MAPPA [SCRIPT]",
    "az ablak három lapja MAPPA/page-0.png ... page-2.png képként (alapból a "
    "bemutató scripttel)",
    WindowShot,
    "A klipeket a script mappájának Hangok almappájában keresi.\n"
    "Kilépési kódok: 0 rendben, 1 a kép vagy a mappa nem írható, 2 hibás használat."
};
