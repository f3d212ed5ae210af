// The window's work on the GUI thread: loading scripts of 10, 100 and 1,000
// items over real WAV and MP3 clips (the per-item cost should stay flat) and
// one of 100,000 compositions (goal: under 2 s),
// the clip check one keystroke in the file-name field runs (median and worst
// of 200), and painting the item list of a 10,000-item composition at its
// top and at its bottom (each cell walks the item list from its start).
//
// Runs on Qt's offscreen platform; prints figures only.

#include <QApplication>
#include <QLineEdit>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchClock.h"
#include "ReportRow.h"
#include "app/TFrm_Main.h"
#include "app/TItemListModel.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

namespace fs = std::filesystem;

namespace {

class TSilentDialogs : public TDialogs {
 public:
  void ErrorBox(const QString& text) override { std::fprintf(stderr, "error box: %s\n", text.toUtf8().constData()); }
  void InfoBox(const QString&) override {}
  bool YesNo(const QString&) override { return true; }
  TSaveChangesAnswer SaveChanges(const QString&) override { return TSaveChangesAnswer::Discard; }
  QString InputBox(const QString&, const QString&, const QString& Default) override { return Default; }
  std::optional<QString> OpenFile(const TFileDialogSpec&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const TFileDialogSpec&) override { return std::nullopt; }
};

std::unique_ptr<TFrm_Main> MakeWindow() {
  TFrm_Main::TOptions options;
  options.Dialogs = std::make_unique<TSilentDialogs>();
  return std::make_unique<TFrm_Main>(std::move(options));
}

void WriteScript(const fs::path& path, int items) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < items; ++i) {
    if (i % 10 == 0) out << "[Bemondas " << i / 10 << "]\r\n";
    out << (i % 2 ? "hir.mp3" : "gong.wav") << "|" << (i % 7) * 100 << "\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  char pattern[] = "/tmp/vomrella-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path folder = pattern;
  fs::create_directories(folder / "Hangok");
  fs::current_path(folder);
  {
    TFmtFields fmt;  // 44.1 kHz stereo 16-bit, 5 s
    const TBytes wav = MakeWav(fmt, Int16Bytes(TestSignal(5 * 44100, 2, 3)));
    std::ofstream(folder / "Hangok" / "gong.wav", std::ios::binary).write(reinterpret_cast<const char*>(wav.data()),
                                                                         std::streamsize(wav.size()));
    if (!EncodeMp3File((folder / "Hangok" / "hir.mp3").string(), ToneSignal(2, 44100, 5.0), 2, 44100)) return 1;
  }

  auto window = MakeWindow();
  std::printf("Script load (ScriptBetolt, clips measured by the readers)\n");
  double perItemAt10 = 0;
  for (int items : {10, 100, 1000}) {
    const fs::path script = folder / ("s" + std::to_string(items) + ".vrs");
    WriteScript(script, items);
    const double seconds = bench::BestSeconds(3, [&] { (void)window->ScriptBetolt(QString::fromStdString(script.string())); });
    std::printf("  %5d items: %8.2f ms, %6.1f us per item\n", items, seconds * 1e3, seconds * 1e6 / items);
    const double perItem = seconds * 1e6 / items;
    if (items == 10) perItemAt10 = perItem;
    if (items == 1000)
      bench::ReportRow("Script load per item, 1000 items", perItem, "us", "per item at 10 items (ours/10)",
                       perItemAt10, "us", perItem / perItemAt10);
  }

  {
    // Many compositions: each append used to walk the whole list.
    constexpr int kCompositions = 100000;
    const fs::path script = folder / "many.vrs";
    {
      std::ofstream out(script, std::ios::binary);
      for (int i = 0; i < kCompositions; ++i) out << "[Bemondas " << i << "]\r\n";
    }
    const double seconds =
        bench::BestSeconds(2, [&] { (void)window->ScriptBetolt(QString::fromStdString(script.string())); });
    std::printf("  %d compositions without items: %8.1f ms (goal: under 2 s)\n", kCompositions, seconds * 1e3);
    bench::ReportRow("Script load, 100000 compositions", seconds, "s", "goal (ours/goal)", 2, "s", seconds / 2);
  }

  std::printf("Clip check (one keystroke in the file-name field), 200 checks\n");
  for (const char* clip : {"gong.wav", "hir.mp3"}) {
    window->E_FajlNev->blockSignals(true);
    window->E_FajlNev->setText(QString::fromLatin1(clip));
    window->E_FajlNev->blockSignals(false);
    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
      const auto start = bench::Clock::now();
      window->E_FajlNevChange();
      samples.push_back(bench::SecondsSince(start));
    }
    const double worst = *std::max_element(samples.begin(), samples.end());
    std::printf("  %-9s median %6.3f ms, worst %6.3f ms (goal: well under 5 ms)\n", clip, bench::Median(samples) * 1e3,
                worst * 1e3);
    bench::ReportRow(std::string("Clip check, ") + clip + " (median)", bench::Median(samples) * 1e3, "ms",
                     "goal (ours/goal)", 5, "ms", bench::Median(samples) * 1e3 / 5);
  }

  std::printf("Item list of a 10,000-item composition\n");
  window = MakeWindow();
  TCompositionStore& store = window->Store();
  PGyElem big = store.GyokerHozzaadas("Nagy");
  for (int i = 0; i < 10000; ++i) store.ElemHozzaadas(big, "gong.wav", 5, 100);
  window->show();
  store.AktGyoker = big;
  const double fill = bench::BestSeconds(5, [&] {
    window->Listakiir();
    (void)window->VST->grab();
  });
  const double bottom = bench::BestSeconds(5, [&] {
    window->VST->scrollToBottom();
    (void)window->VST->grab();
    window->VST->scrollToTop();
  });
  std::printf("  fill and paint the top: %6.2f ms; scroll to the bottom and paint: %6.2f ms\n", fill * 1e3,
              bottom * 1e3);

  window.reset();
  fs::current_path("/");
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
