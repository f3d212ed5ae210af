#include "audio/decoders/ClipReader.h"

#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"

bool IsWavName(std::string_view name) {
  constexpr std::string_view kWav = ".wav";
  if (name.size() < kWav.size()) return false;
  const std::string_view ext = name.substr(name.size() - kWav.size());
  for (size_t i = 0; i < kWav.size(); ++i) {
    const char c = ext[i];
    const char lower = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    if (lower != kWav[i]) return false;
  }
  return true;
}

void SetClipReaderSettings(TWaveIn& reader) {
  reader.Loop = false;
  reader.EndSample = -1;
}

void SetClipReaderSettings(TMP3In& reader) {
  reader.Loop = false;
  reader.EndSample = -1;
  reader.SetHighPrecision(false);
  reader.SetOutputChannels(cnMonoOrStereo);
}

TComponentPtr<TAuFileIn> CreateClipReader(const std::string& path, std::string* message) {
  (void)message;
  if (IsWavName(path)) {
    auto reader = MakeComponent<TWaveIn>();
    SetClipReaderSettings(*reader);
    reader->SetFileName(path);
    return reader;
  }
  auto reader = MakeComponent<TMP3In>();
  SetClipReaderSettings(*reader);
  reader->SetFileName(path);
  return reader;
}
