#include "model/ScriptFormat.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "model/AtomicFile.h"
#include "model/TCompositionStore.h"

namespace {

// The stored pause is a whole number that came from a 32-bit integer; the
// rounding (half to even, as the FPU does by default) only matters if a
// caller ever stores a fraction, and the clamp only if it stores nonsense.
long long PauseToWrite(double pause) {
  if (std::isnan(pause)) return 0;
  double r = std::nearbyint(pause);
  if (r <= double(std::numeric_limits<long long>::min())) return std::numeric_limits<long long>::min();
  if (r >= double(std::numeric_limits<long long>::max())) return std::numeric_limits<long long>::max();
  return static_cast<long long>(r);
}

// Blanks and control characters, as trimmed from the end of a header line.
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string ScriptText(const TCompositionStore& store) {
  std::string out;
  for (PGyElem c = store.Gyoker()->Kov; c; c = c->Kov) {
    out += '[';
    out += c->Nev;
    out += "]\r\n";
    for (PElem e = c->Elemek ? c->Elemek->Kov : nullptr; e; e = e->Kov) {
      if (e->FajlNev.empty()) continue;
      out += e->FajlNev;
      out += '|';
      out += std::to_string(PauseToWrite(e->Szunet));
      out += "\r\n";
    }
  }
  return out;
}

void SaveScript(const TCompositionStore& store, const std::filesystem::path& path, bool keepBackup) {
  TAtomicFileOptions options;
  options.KeepBackup = keepBackup;
  SaveFileAtomically(path, ScriptText(store), options);
}

int32_t ParseScriptPause(std::string_view text) {
  // from_chars takes a leading "-" but neither blanks nor "+".
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return 0;
  }
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

TScriptLine ClassifyScriptLine(std::string_view line, bool compositionOpen) {
  TScriptLine result;
  if (line.empty()) return result;
  if (line.front() == '[') {
    result.IsHeader = true;
    size_t trimmed = line.size();
    while (trimmed > 0 && IsBlankOrControl(line[trimmed - 1])) --trimmed;
    if (trimmed >= 2) result.Name = std::string(line.substr(1, trimmed - 2));
  }
  size_t bar = line.find('|');
  if (bar != std::string_view::npos && (compositionOpen || result.IsHeader)) {
    result.IsItem = true;
    result.FileName = std::string(line.substr(0, bar));
    result.Pause = ParseScriptPause(line.substr(bar + 1));
  }
  return result;
}
