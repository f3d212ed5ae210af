#include "app/ClipCheck.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>

#include "app/ClipPath.h"
#include "app/ScriptLoader.h"
#include "audio/decoders/TWaveIn.h"
#include "model/Cp1250.h"

namespace fs = std::filesystem;

TClipVerdict CheckClip(std::string_view cp1250Name, const fs::path& base, TAuFileIn& wavReader,
                       TAuFileIn& mediaReader) {
  TClipVerdict verdict;
  verdict.Wav = IsWavName(cp1250Name);
  verdict.Path = ClipPath(cp1250Name, base);
  if (cp1250Name.empty()) {
    verdict.Reason = "üres fájlnév";
    return verdict;
  }
  if (cp1250Name.find('\0') != std::string_view::npos) {
    verdict.Reason = "érvénytelen fájlnév (NUL bájt)";
    return verdict;
  }
  std::error_code ec;
  if (!fs::exists(verdict.Path, ec)) {
    verdict.Reason = "nem található";
    return verdict;
  }
  std::string written = Cp1250ToUtf8(cp1250Name);
  for (char& c : written)
    if (c == '\\') c = '/';
  verdict.Found = verdict.Path == ClipFolder(base) / written ? TClipFound::Exact : TClipFound::CaseFallback;
  if (!ClipExists(verdict.Path)) {
    verdict.Reason = fs::is_directory(verdict.Path, ec) ? "mappa, nem fájl" : "nem közönséges fájl";
    return verdict;
  }
  if (::access(verdict.Path.c_str(), R_OK) != 0) {
    verdict.Reason = std::string("nem olvasható (") + std::strerror(errno) + ")";
    return verdict;
  }
  TAuFileIn& reader = verdict.Wav ? wavReader : mediaReader;
  try {
    const bool readable = MeasureClip(reader, verdict.Path, verdict.Seconds);
    const auto* wave = dynamic_cast<const TWaveIn*>(&reader);
    verdict.Kind = wave ? WaveKindName(wave->WaveKind()) : "media";
    if (!readable) {
      verdict.Reason =
          verdict.Wav ? "a WAV-olvasó nem tudja olvasni (" + verdict.Kind + ")" : "a médiaolvasó nem tudja olvasni";
      return verdict;
    }
  } catch (const std::exception& e) {
    verdict.Reason = e.what();
    return verdict;
  }
  verdict.Kept = true;
  return verdict;
}
