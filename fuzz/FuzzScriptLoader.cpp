// Any bytes as a script loaded the way the window loads one, from a clip
// folder holding a few real clips (PCM and IMA ADPCM WAV, MP3, one in a
// subfolder, one with an accented name, one damaged). The store must hold
// exactly the item lines whose clips are readable, in file order, numbered
// 1..n, each with its clip's length.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "audio/decoders/ClipReader.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"
#include "show/ClipPath.h"
#include "show/ScriptLoader.h"
#include "support/AvCodecAudio.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

namespace fs = std::filesystem;

namespace {

fs::path Folder;
fs::path Script;
std::map<fs::path, int32_t> Lengths;  // readable clips (canonical path) and their seconds
std::vector<fs::path> Unreadable;

void RemoveFolder() {
  std::error_code ec;
  fs::current_path("/", ec);
  fs::remove_all(Folder, ec);
}

void Write(const fs::path& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void MakeClipFolder() {
  std::string pattern = (fs::temp_directory_path() / "vomrella-fuzz-loader-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  Folder = pattern;
  std::atexit(RemoveFolder);
  const fs::path clips = Folder / "Hangok";
  fs::create_directories(clips / "Bent");

  TFmtFields pcm;
  pcm.SampleRate = 8000;
  Write(clips / "gong.wav", MakeWav(pcm, Int16Bytes(TestSignal(8000 * 2, 2, 1))));
  TFmtFields mono8;
  mono8.Channels = 1;
  mono8.BitsPerSample = 8;
  mono8.SampleRate = 4000;
  Write(clips / "Bent" / "halk.wav", MakeWav(mono8, TBytes(4000 * 3, 0x80)));
  Write(clips / "\xC3\xA1rv\xC3\xADz.wav", MakeWav(mono8, TBytes(4000, 0x90)));  // "árvíz.wav"
  if (auto ima = EncodeAdpcm("adpcm_ima_wav", TestSignal(11025 * 4, 1, 2), 1, 11025, 256))
    Write(clips / "Hir.WAV", MakeAdpcmWav("adpcm_ima_wav", *ima, 1, 11025));
  (void)EncodeMp3File((clips / "zene.mp3").string(), ToneSignal(1, 22050, 1.5), 1, 22050);
  Write(clips / "rossz.wav", TBytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
  Write(clips / "szoveg.mp3", TBytes(300, 'x'));

  auto wav = MakeComponent<TWaveIn>();
  auto media = MakeComponent<TMP3In>();
  for (const auto& entry : fs::recursive_directory_iterator(clips)) {
    if (!entry.is_regular_file()) continue;
    int32_t seconds = 0;
    TAuFileIn& reader = IsWavName(entry.path().filename().string()) ? static_cast<TAuFileIn&>(*wav) : *media;
    if (MeasureClip(reader, entry.path(), seconds))
      Lengths[fs::canonical(entry.path())] = seconds;
    else
      Unreadable.push_back(fs::canonical(entry.path()));
  }
  if (Lengths.size() < 4) std::abort();  // the clip writers failed
  Script = Folder / "script.txt";
  fs::current_path(Folder);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietLibav();
  MakeClipFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Write(Script, TBytes(data, data + size));
  const std::vector<TScriptLine> lines = TScriptReader::ReadText(
      std::string_view(reinterpret_cast<const char*>(data), size));

  TCompositionStore store;
  store.GyokerHozzaadas("old");  // replaced by the load
  auto wav = MakeComponent<TWaveIn>();
  auto media = MakeComponent<TMP3In>();
  const TScriptLoadResult result = LoadScriptIntoStore(Script, store, *wav, *media);
  FUZZ_CHECK(result.Status == TScriptLoadResult::Loaded);
  FUZZ_CHECK(result.Compositions == store.GyokerSzam());

  // Walk the lines again beside the store.
  PGyElem composition = store.Gyoker();
  PElem item = nullptr;
  int kept = 0, dropped = 0;
  for (const TScriptLine& line : lines) {
    if (line.IsHeader) {
      if (item != nullptr) FUZZ_CHECK(item->Kov == nullptr);  // nothing kept that no line gave
      composition = composition->Kov;
      FUZZ_CHECK(composition != nullptr);
      FUZZ_CHECK(composition->Nev == line.Name);
      item = composition->Elemek;
    }
    if (!line.IsItem) continue;
    FUZZ_CHECK(item != nullptr);  // an item line only counts after a header
    // What the loader must do with the line: keep a readable clip, drop a
    // missing or damaged one; a file outside the clip table may go either way.
    const fs::path clip = ClipPath(line.FileName);
    std::error_code ec;
    const fs::path real = ClipExists(clip) ? fs::canonical(clip, ec) : fs::path();
    const auto known = Lengths.find(real);
    const bool mustKeep = known != Lengths.end();
    const bool mustDrop = real.empty() || std::find(Unreadable.begin(), Unreadable.end(), real) != Unreadable.end();
    const PElem next = item->Kov;
    const bool taken = next != nullptr && next->FajlNev == line.FileName && next->Szunet == line.Pause;
    if (mustKeep) {
      FUZZ_CHECK(taken);
      FUZZ_CHECK(next->Hossz == known->second);
    }
    if (taken && !mustDrop) {
      FUZZ_CHECK(next->Sorszam == item->Sorszam + 1);
      item = next;
      ++kept;
    } else {
      ++dropped;
    }
  }
  if (item != nullptr) FUZZ_CHECK(item->Kov == nullptr);
  FUZZ_CHECK(composition->Kov == nullptr);
  // The load also counts the item-like lines before the first header, which
  // the line classifier does not give as items.
  const auto beforeFirstHeader = std::count_if(result.Dropped.begin(), result.Dropped.end(),
                                               [](const TDroppedLine& line) { return line.BeforeFirstHeader; });
  FUZZ_CHECK(kept == result.ItemsKept && dropped + int(beforeFirstHeader) == result.ItemsDropped);
  if (lines.empty() || result.Compositions == 0) {
    FUZZ_CHECK(store.AktGyoker == store.Gyoker());
  } else {
    FUZZ_CHECK(store.AktGyoker == composition);
  }
  return 0;
}
