#include "show/ClipCheck.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>

#include "audio/decoders/ClipReader.h"
#include "audio/decoders/TWMIn.h"
#include "audio/decoders/TWaveIn.h"
#include "model/Cp1250.h"
#include "show/ClipPath.h"
#include "show/OperatorText.h"
#include "show/ScriptLoader.h"

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
    if (const auto* media = dynamic_cast<const TWMIn*>(&reader); readable && media && media->ShorterThanHeader())
      verdict.HeaderSeconds = int32_t((media->HeaderDurationCs() + 50) / 100);
    if (!readable) {
      // The operator reads the reason: an unknown sub-format is said in words.
      const bool unknown = wave && wave->WaveKind() == wkUnsupported;
      verdict.Reason = !verdict.Wav ? std::string("a médiaolvasó nem tudja olvasni")
                       : unknown    ? std::string("a WAV-olvasó nem tudja olvasni (nem támogatott formátum)")
                                    : "a WAV-olvasó nem tudja olvasni (" + verdict.Kind + ")";
      return verdict;
    }
  } catch (const std::exception& e) {
    verdict.Reason = HungarianMessage(e.what());
    return verdict;
  }
  verdict.Kept = true;
  return verdict;
}
