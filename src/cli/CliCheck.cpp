// "vomrella --check SCRIPT [--json]": the pre-show check. Walks the script as
// the window's load does (the same line classifier, the same judgement of
// each clip, CheckClip, with the two readers) and reports every item line:
// the clip's path, whether it was found as written or by the case-insensitive
// fallback, whether its reader can read it, its length and pause; lines a
// load would drop are listed with the reason, and each composition's total
// length is shown as the window's "Hossz" field shows it. Exit status 1 when any line would be dropped.

#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "model/ScriptFileCheck.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"
#include "show/ClipCheck.h"
#include "show/FloatToStr.h"

namespace fs = std::filesystem;

namespace {

struct TCheckedItem {
  size_t Line = 0;
  std::string FileName;  // Windows-1250, as in the script
  int32_t Pause = 0;
  std::string Path;      // UTF-8, relative to the current folder when under it
  TClipFound Found = TClipFound::Missing;
  bool Wav = false;      // read by the WAV reader, else by the media reader
  std::string Kind;      // the WAV sub-format, or "media"
  bool Kept = false;
  int Number = 0;        // item number after the load, when kept
  int32_t Seconds = 0;
  std::string Reason;    // why the load drops it, when not kept
};

struct TCheckedComposition {
  size_t Line = 0;
  std::string Name;  // Windows-1250
  std::vector<TCheckedItem> Items;
  double Total = 0;  // seconds, summed as the window sums them
};

struct TIgnoredLine {
  size_t Line = 0;
  std::string Text;  // Windows-1250
};

struct TCheckReport {
  std::string Script;
  std::string ClipFolder;
  std::vector<TIgnoredLine> Ignored;
  std::vector<TCheckedComposition> Compositions;
  int Kept = 0;
  int Dropped = 0;
  std::string ReadError;  // a read error stopped the walk (the load stops there too)
};

// Lines of the file, counted for the progress display.
size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  char block[65536];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) lines += block[i] == '\n';
    if (!in) break;
  }
  return lines + 1;
}

std::string Relative(const fs::path& path, const fs::path& base) {
  const fs::path relative = path.lexically_relative(base);
  return (relative.empty() || relative.native().starts_with("..") ? path : relative).string();
}

void CheckItem(const TScriptLine& line, const fs::path& base, TAuFileIn& wavReader, TAuFileIn& mediaReader,
               TCheckedItem& item) {
  item.Line = line.LineNumber;
  item.FileName = line.FileName;
  item.Pause = line.Pause;
  const TClipVerdict verdict = CheckClip(line.FileName, base, wavReader, mediaReader);
  item.Wav = verdict.Wav;
  item.Path = Relative(verdict.Path, base);
  item.Found = verdict.Found;
  item.Kind = verdict.Kind;
  item.Kept = verdict.Kept;
  item.Seconds = verdict.Seconds;
  item.Reason = verdict.Reason;
}

[[nodiscard]] bool Walk(const std::string& path, TCheckReport& report) {
  if (cli::Refuse(path, ScriptFileProblem(path))) return false;
  std::optional<TScriptReader> reader;
  try {
    reader.emplace(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: Hiba a fájl megnyitásakor! (%s)\n", e.what());
    return false;
  }
  std::error_code ec;
  const fs::path base = fs::current_path(ec);
  report.Script = path;
  report.ClipFolder = (base / "Hangok").string();
  TComponentPtr<TWaveIn> wav = MakeComponent<TWaveIn>();
  TComponentPtr<TMP3In> media = MakeComponent<TMP3In>();
  cli::TProgress progress("Ellenőrzés", double(CountLines(path)));
  try {
    TScriptLine line;
    while (reader->Next(line)) {
      progress.Update(double(line.LineNumber));
      if (line.IsHeader) {
        report.Compositions.push_back({line.LineNumber, line.Name, {}, 0});
      }
      if (!line.IsItem || report.Compositions.empty()) continue;
      TCheckedComposition& composition = report.Compositions.back();
      TCheckedItem& item = composition.Items.emplace_back();
      CheckItem(line, base, *wav, *media, item);
      if (!item.Kept) {
        ++report.Dropped;
        continue;
      }
      ++report.Kept;
    }
  } catch (const std::exception& e) {
    report.ReadError = e.what();
  }
  progress.Finish();
  // Number the kept items and sum the totals as the window does.
  for (TCheckedComposition& composition : report.Compositions) {
    int number = 0;
    for (TCheckedItem& item : composition.Items) {
      if (!item.Kept) continue;
      item.Number = ++number;
      composition.Total += ItemSeconds(item.Seconds, item.Pause);
    }
  }
  for (const TScriptReader::TIgnoredItemLine& line : reader->ItemLinesBeforeFirstHeader())
    report.Ignored.push_back({line.LineNumber, line.Text});
  report.Dropped += int(report.Ignored.size());
  return true;
}

// The shortest decimal text that reads back as the same double.
std::string ShortestNumber(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc{} ? std::string(text, end) : std::string("0");
}

std::string TotalText(double total) { return FloatToStr(total).toStdString(); }

const char* FoundName(TClipFound found) {
  switch (found) {
    case TClipFound::Exact: return "exact";
    case TClipFound::CaseFallback: return "case-insensitive";
    case TClipFound::Missing: break;
  }
  return "missing";
}

void PrintText(const TCheckReport& report) {
  std::printf("Script: %s\nHangmappa: %s\n", report.Script.c_str(), report.ClipFolder.c_str());
  for (const TIgnoredLine& ignored : report.Ignored)
    std::printf("\nKIMARAD (%zu. sor): \"%s\": összeállítás előtti sor, a betöltés figyelmen kívül hagyja\n",
                ignored.Line, cli::Printable(ignored.Text).c_str());
  int number = 0;
  for (const TCheckedComposition& composition : report.Compositions) {
    std::printf("\n%d. [%s] (%zu. sor)\n", ++number, cli::Printable(composition.Name).c_str(), composition.Line);
    if (composition.Items.empty()) std::printf("  (üres)\n");
    for (const TCheckedItem& item : composition.Items) {
      const std::string name = cli::Printable(item.FileName);
      if (!item.Kept) {
        std::printf("  -  %s (%zu. sor): KIMARAD: %s: %s\n", name.c_str(), item.Line, item.Reason.c_str(),
                    item.Path.c_str());
        continue;
      }
      std::printf("  %d. %s: %s %s, %s (%s), %d mp, szünet: %d ms\n", item.Number, name.c_str(),
                  item.Found == TClipFound::Exact ? "megvan:" : "megvan kis- és nagybetű eltéréssel:", item.Path.c_str(),
                  item.Wav ? "WAV-olvasó" : "médiaolvasó", item.Kind.c_str(), item.Seconds, item.Pause);
    }
    std::printf("  Hossz: %s\n", TotalText(composition.Total).c_str());
  }
  if (report.Compositions.empty()) std::printf("\nA scriptben nincs összeállítás.\n");
  std::printf("\nÖsszesen: %zu összeállítás, %d elem rendben, %d sor kimarad.\n", report.Compositions.size(),
              report.Kept, report.Dropped);
  if (!report.ReadError.empty())
    std::printf("Az olvasás megszakadt: %s\n", report.ReadError.c_str());
  else if (report.Dropped == 0)
    std::printf("Minden elem rendben.\n");
}

void PrintJson(const TCheckReport& report) {
  using cli::Json;
  std::printf("{\n  \"script\": %s,\n  \"clipFolder\": %s,\n", Json(report.Script).c_str(),
              Json(report.ClipFolder).c_str());
  std::printf("  \"ok\": %s,\n  \"itemsKept\": %d,\n  \"linesDropped\": %d,\n",
              report.Dropped == 0 && report.ReadError.empty() ? "true" : "false", report.Kept, report.Dropped);
  if (!report.ReadError.empty()) std::printf("  \"readError\": %s,\n", Json(report.ReadError).c_str());
  std::printf("  \"ignoredLines\": [");
  const char* separator = "";
  for (const TIgnoredLine& ignored : report.Ignored) {
    std::printf("%s\n    {\"line\": %zu, \"text\": %s}", separator, ignored.Line,
                Json(Cp1250ToUtf8(ignored.Text)).c_str());
    separator = ",";
  }
  std::printf("%s],\n  \"compositions\": [", report.Ignored.empty() ? "" : "\n  ");
  separator = "";
  for (const TCheckedComposition& composition : report.Compositions) {
    std::printf("%s\n    {\"line\": %zu, \"name\": %s, \"totalSeconds\": %s, \"totalText\": %s, \"items\": [",
                separator, composition.Line, Json(Cp1250ToUtf8(composition.Name)).c_str(),
                ShortestNumber(composition.Total).c_str(),
                Json(TotalText(composition.Total)).c_str());
    const char* itemSeparator = "";
    for (const TCheckedItem& item : composition.Items) {
      std::printf("%s\n      {\"line\": %zu, \"file\": %s, \"path\": %s, \"found\": \"%s\", \"reader\": \"%s\"",
                  itemSeparator, item.Line, Json(Cp1250ToUtf8(item.FileName)).c_str(), Json(item.Path).c_str(),
                  FoundName(item.Found), item.Wav ? "wav" : "media");
      if (!item.Kind.empty()) std::printf(", \"kind\": %s", Json(item.Kind).c_str());
      std::printf(", \"pauseMs\": %d, \"kept\": %s", item.Pause, item.Kept ? "true" : "false");
      if (item.Kept)
        std::printf(", \"number\": %d, \"seconds\": %d}", item.Number, item.Seconds);
      else
        std::printf(", \"reason\": %s}", Json(item.Reason).c_str());
      itemSeparator = ",";
    }
    std::printf("%s]}", composition.Items.empty() ? "" : "\n    ");
    separator = ",";
  }
  std::printf("%s]\n}\n", report.Compositions.empty() ? "" : "\n  ");
}

int Check(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  parsed.AddSwitch({"json"});
  if (!parsed.Parse(args, 1, 1)) {
    std::fprintf(stderr, "Használat: vomrella --check SCRIPT [--json]\n");
    return 2;
  }
  const std::string& script = parsed.Operands()[0];
  const bool json = parsed.Has("json");
  TCheckReport report;
  if (!Walk(script, report)) return 1;
  if (json)
    PrintJson(report);
  else
    PrintText(report);
  if (!cli::FlushStdout()) return 1;
  if (!report.ReadError.empty()) {
    std::fprintf(stderr, "vomrella: Hiba a fájl olvasásakor! (%s)\n", report.ReadError.c_str());
    return 1;
  }
  return report.Dropped == 0 ? 0 : 1;
}

}  // namespace

const CliCommand kCheckCommand{
    "--check", "SCRIPT [--json]",
    "előadás előtti ellenőrzés: minden elem klipje, olvasója, hossza és szünete, "
    "az összeállítások teljes hossza; a betöltéskor kimaradó sorok okkal",
    &Check,
    "A klipeket a jelenlegi mappa Hangok almappájában keresi, ahogy az ablak.\n"
    "--json: ugyanez JSON formában, szkriptekhez és felügyelethez.\n"
    "Kilépési kód: 0 minden sor betölthető, 1 van kimaradó sor vagy a script hibás,\n"
    "2 hibás használat."
};
