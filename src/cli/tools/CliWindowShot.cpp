// "vomrella --window-shot DIR [SCRIPT] [--on-air SECONDS]": renders each of
// the window's three pages to DIR/page-0.png ... page-2.png on the offscreen
// platform, with a script loaded (the bundled demo by default) so that
// something shows. With --on-air the play key has started the live
// composition and the pages show it SECONDS into the run, played on the
// virtual device on a simulated clock (nothing is heard, and the picture is
// the same every time). For review by eye and for the user guide.

#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
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

// Seconds for --on-air: a number from 0 to an hour.
std::optional<double> OnAirSeconds(std::string_view text) {
  const std::string s(text);
  char* end = nullptr;
  const double value = std::strtod(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size() || !(value >= 0 && value <= 3600)) return std::nullopt;
  return value;
}

// Starts the live composition as the play key does and returns once the
// device has played `seconds` of it (as the worker last looked), with the
// clock held there; false when the run did not get that far.
bool StartRunAndHold(TFrm_Main& window, TSimulatedClock& clock, double seconds) {
  auto holdFrom = std::make_shared<std::atomic<int64_t>>(int64_t(seconds * 1e9));
  clock.SetSleepHook([&clock, holdFrom](uint32_t) {
    if (clock.Now() < holdFrom->load()) return;
    holdFrom->store(INT64_MAX);
    clock.Hold();
  });
  if (!window.HotkeyPlayAction()) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!(clock.IsHeld() && clock.WaitingSleepers() == 1)) {
    if (std::chrono::steady_clock::now() > deadline || !window.DXOut->Busy()) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  window.TimerTimer();
  return true;
}

int WindowShot(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  parsed.AddValue({"on-air"});
  if (!parsed.Parse(args, 1, 2)) {
    std::fprintf(stderr, "Használat: vomrella --window-shot MAPPA [SCRIPT] [--on-air MP]\n");
    return 2;
  }
  std::optional<double> onAir;
  if (const auto seconds = parsed.Value("on-air")) {
    if (!(onAir = OnAirSeconds(*seconds))) {
      std::fprintf(stderr, "vomrella: az --on-air után a lejátszás másodperce kell (0–3600)\n");
      return 2;
    }
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
  auto clock = std::make_shared<TSimulatedClock>();
  if (onAir) {
    TVirtualOptions sound;
    sound.Clock = clock;
    options.SoundSystem = std::make_shared<TVirtualSoundSystem>(sound);
  }
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
  if (onAir && !StartRunAndHold(window, *clock, *onAir)) {
    std::fprintf(stderr, "vomrella: a lejátszás nem jutott el %g másodpercig\n", *onAir);
    window.B_FileStopClick();
    clock->Release();
    return 1;
  }
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
  if (onAir) {
    window.B_FileStopClick();
    clock->Release();
  }
  return failed ? 1 : 0;
}

}  // namespace

const CliCommand kWindowShotCommand{
    "--window-shot", "MAPPA [SCRIPT] [--on-air MP]",
    "az ablak három lapja MAPPA/page-0.png ... page-2.png képként (alapból a "
    "bemutató scripttel)",
    WindowShot,
    "A klipeket a script mappájának Hangok almappájában keresi.\n"
    "--on-air MP: a lejátszás gombja elindította a következő összeállítást, és a\n"
    "képek MP másodperccel a kezdete után mutatják (virtuális eszközön, hang nélkül).\n"
    "Kilépési kódok: 0 rendben, 1 a kép vagy a mappa nem írható, 2 hibás használat."
};
