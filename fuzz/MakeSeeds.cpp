// Writes the seed corpus of every fuzz target with the tests' own file
// writers: fuzz_seeds OUTDIR makes OUTDIR/<target>/<n> files.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "model/ScriptFormat.h"
#include "model/TCompositionStore.h"
#include "support/AvCodecAudio.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

namespace fs = std::filesystem;

namespace {

class TCorpus {
 public:
  TCorpus(const fs::path& root, const std::string& target) : Folder(root / target) { fs::create_directories(Folder); }
  void Add(const TBytes& bytes) {
    std::ofstream out(Folder / std::to_string(++Count), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  void Add(const std::string& text) { Add(TBytes(text.begin(), text.end())); }
  int Count = 0;

 private:
  fs::path Folder;
};

TBytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Append(TBytes& to, const TBytes& from) { to.insert(to.end(), from.begin(), from.end()); }
void Append(TBytes& to, const std::string& from) { to.insert(to.end(), from.begin(), from.end()); }

// An APEv2 tag (header, items, footer) as writers append it after the audio.
TBytes ApeTag() {
  TBytes items;
  for (const auto& [key, value] : {std::pair{"Artist", "Vomrella"}, std::pair{"Title", "Bemondas"}}) {
    PutLE32(items, uint32_t(std::string(value).size()));
    PutLE32(items, 0);
    Append(items, std::string(key));
    items.push_back(0);
    Append(items, std::string(value));
  }
  auto frame = [&](bool header) {
    TBytes f;
    Append(f, std::string("APETAGEX"));
    PutLE32(f, 2000);
    PutLE32(f, uint32_t(items.size() + 32));
    PutLE32(f, 2);
    PutLE32(f, 0x80000000u | (header ? 0x20000000u : 0));
    f.resize(f.size() + 8, 0);
    return f;
  };
  TBytes tag = frame(true);
  Append(tag, items);
  Append(tag, frame(false));
  return tag;
}

// An ID3v2.2 tag with two text frames (3-character ids, 3-byte sizes).
TBytes Id3v22Tag() {
  TBytes frames;
  for (const auto& [id, text] : {std::pair{"TP1", "Vomrella"}, std::pair{"TT2", "Bemondas"}}) {
    Append(frames, std::string(id));
    const uint32_t size = uint32_t(std::string(text).size() + 1);
    frames.push_back(uint8_t(size >> 16));
    frames.push_back(uint8_t(size >> 8));
    frames.push_back(uint8_t(size));
    frames.push_back(0);
    Append(frames, std::string(text));
  }
  frames.resize(frames.size() + 12, 0);
  TBytes tag{'I', 'D', '3', 2, 0, 0, 0, 0, uint8_t(frames.size() >> 7), uint8_t(frames.size() & 0x7F)};
  Append(tag, frames);
  return tag;
}

void WaveSeeds(TCorpus& c) {
  const std::vector<int16_t> mono = TestSignal(700, 1, 11), stereo = TestSignal(700, 2, 12);
  TFmtFields pcm;
  c.Add(MakeWav(pcm, Int16Bytes(stereo)));
  for (uint16_t bits : {8, 24, 32}) {
    TFmtFields f;
    f.Channels = 1;
    f.BitsPerSample = bits;
    c.Add(MakeWav(f, TBytes(size_t(bits / 8) * 301, 0x41)));
  }
  for (uint16_t bits : {32, 64}) {
    TFmtFields f;
    f.Tag = 3;
    f.BitsPerSample = bits;
    c.Add(MakeWav(f, TBytes(size_t(bits / 4) * 100, 0x3E)));
  }
  for (uint16_t sub : {1, 3}) {
    TWavBuilder ext;
    ext.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, 32, sub)).Chunk("LIST", TBytes(5, 'x')).Data(
        TBytes(800, 0x3D));
    c.Add(ext.Bytes());
  }
  TWavBuilder odd;  // an odd chunk with its pad byte, and a data chunk claiming more than there is
  odd.Header().Fmt(pcm).Chunk("junk", TBytes(3, 1)).Data(Int16Bytes(mono), 100000);
  c.Add(odd.Bytes());
  for (const char* codec : {"adpcm_ima_wav", "adpcm_ms"}) {
    if (auto e = EncodeAdpcm(codec, mono, 1, 22050, 256)) c.Add(MakeAdpcmWav(codec, *e, 1, 22050));
    if (auto e = EncodeAdpcm(codec, stereo, 2, 22050, 512)) c.Add(MakeAdpcmWav(codec, *e, 2, 22050));
  }
}

void ConverterSeeds(TCorpus& c) {
  for (int channels : {1, 2})
    for (int rate : {22050, 44100})
      if (auto e = EncodeMp3(TestSignal(2400, channels, uint32_t(rate)), channels, rate, 64))
        c.Add(MakeMp3Wav(*e, channels, rate, 64));
}

void Mp3Seeds(TCorpus& mp3, TCorpus& tags, const fs::path& scratch) {
  const std::string path = (scratch / "seed.mp3").string();
  auto encode = [&](int channels, int rate, int id3v2Version, bool id3v1) -> TBytes {
    TEncodeRequest r;
    r.Channels = channels;
    r.SampleRate = rate;
    r.BitRate = 32000;
    r.Metadata = {{"artist", "Vomrella"}, {"title", "Bemond\xC3\xA1s"}, {"album", "Album"}, {"track", "7"}};
    r.MuxerOptions = {{"id3v2_version", std::to_string(id3v2Version)}, {"write_id3v1", id3v1 ? "1" : "0"}};
    if (!EncodeAudioFile(path, ToneSignal(channels, rate, 0.2), r)) return {};
    return ReadFile(path);
  };
  if (TBytes b = encode(2, 44100, 4, true); !b.empty()) {
    mp3.Add(b);
    tags.Add(b);
  }
  if (TBytes b = encode(2, 32000, 3, false); !b.empty()) {
    Append(b, ApeTag());
    mp3.Add(b);
    tags.Add(b);
  }
  if (TBytes b = encode(1, 22050, 0, true); !b.empty()) {
    TBytes tagged = Id3v22Tag();
    Append(tagged, b);
    mp3.Add(tagged);
    tags.Add(tagged);
  }
  // Short tag-only files keep the tag fuzzer fast.
  TBytes v22 = Id3v22Tag();
  tags.Add(v22);
  TBytes v1(128, 0);
  v1[0] = 'T', v1[1] = 'A', v1[2] = 'G', v1[3] = 'x', v1[125] = 0, v1[126] = 3, v1[127] = 17;
  tags.Add(v1);
  tags.Add(ApeTag());
}

void ScriptSeeds(TCorpus& text, TCorpus& loader) {
  TCompositionStore store;
  PGyElem reggel = store.GyokerHozzaadas("Reggel");
  store.ElemHozzaadas(reggel, "gong.wav", 2, 500);
  store.ElemHozzaadas(reggel, "zene.mp3", 1, 0);
  store.ElemHozzaadas(reggel, "Bent\\halk.wav", 3, -20);
  PGyElem este = store.GyokerHozzaadas("\xC1rv\xEDz \xE9s m\xE1s");
  store.ElemHozzaadas(este, "HIR.wav", 4, 2147483647);
  store.ElemHozzaadas(este, "\xE1rv\xEDz.wav", 1, 1000);
  store.ElemHozzaadas(este, "rossz.wav", 0, 0);
  store.ElemHozzaadas(este, "nincs.mp3", 0, 0);
  store.ElemHozzaadas(este, "szoveg.mp3", 0, 0);
  store.GyokerHozzaadas("");
  const std::string script = ScriptText(store);
  text.Add(script);
  loader.Add(script);
  std::string lf = script, cr = script;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  for (size_t at; (at = cr.find("\r\n")) != std::string::npos;) cr.erase(at + 1, 1);
  text.Add(lf);
  text.Add(cr);
  loader.Add(lf);
  text.Add(std::string("a|1\r\n[x|+5\r\n[ y ]\t\r\nb|-0012\r\n|\r\n[\r\nc|99999999999\r\n"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  av_log_set_level(AV_LOG_QUIET);
  const fs::path root = argv[1];
  fs::remove_all(root);
  TCorpus wave(root, "fuzz_wave_in"), converter(root, "fuzz_wave_converter"), mp3(root, "fuzz_mp3_in"),
      tags(root, "fuzz_tags"), text(root, "fuzz_script_text"), loader(root, "fuzz_script_loader");
  WaveSeeds(wave);
  ConverterSeeds(converter);
  for (int i = 1; i <= converter.Count; ++i)  // MPEG layer 3 in WAV is a WAV kind as well
    wave.Add(ReadFile(root / "fuzz_wave_converter" / std::to_string(i)));
  Mp3Seeds(mp3, tags, root);
  fs::remove(root / "seed.mp3");
  ScriptSeeds(text, loader);
  for (TCorpus* c : {&wave, &converter, &mp3, &tags, &text, &loader}) {
    if (c->Count == 0) {
      std::fprintf(stderr, "fuzz_seeds: a corpus came out empty (an encoder is missing?)\n");
      return 1;
    }
  }
  std::printf("fuzz_seeds: %d %d %d %d %d %d seeds\n", wave.Count, converter.Count, mp3.Count, tags.Count, text.Count,
              loader.Count);
  return 0;
}
