// Makes the clips of the bundled demo: chimes, tones and beeps synthesised
// here, and spoken announcements from espeak-ng where it is installed (a
// tone sequence of the same rhythm where it is not). Every clip is 16-bit
// stereo at 44.1 kHz, so the demo's joins are gapless; the containers differ
// on purpose: plain PCM WAV, IMA ADPCM WAV and MP3.
//
//   vomrella_demo_clips [--espeak PROGRAM] OUTPUT_FOLDER NAME...
//
// Every name must be one of the clips below; an unknown name is an error, so
// a demo script that names a clip nobody makes fails the build. Each file is
// written under a temporary name and renamed into place, so several builds
// writing the same folder at once never leave a half-written clip.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/AvCodecAudio.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

extern char** environ;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kPi = 3.14159265358979323846;

using TSignal = std::function<double(double)>;  // seconds -> sample in [-1, 1]
using TPcm = std::vector<int16_t>;               // interleaved stereo at kRate

enum class TContainer { Wav, ImaAdpcm, Mp3 };

struct TClip {
  TContainer Container = TContainer::Wav;
  double Seconds = 0;     // synthesised clips
  TSignal Signal;
  std::string Speech;     // spoken clips: the Hungarian text
};

// A struck bell-like note: a few partials, each dying away exponentially.
double Bell(double t, double freq, double decay) {
  if (t < 0) return 0;
  static const double partials[][2] = {{1.0, 1.0}, {2.0, 0.5}, {2.76, 0.35}, {5.4, 0.2}};
  double s = 0;
  for (const auto& p : partials) s += p[1] * std::sin(2 * kPi * freq * p[0] * t) * std::exp(-t * decay * p[0]);
  double attack = std::min(1.0, t / 0.005);
  return 0.4 * attack * s;
}

// A plain tone with 10 ms fades at both ends, so it starts and stops without clicks.
double Tone(double t, double start, double length, double freq) {
  double u = t - start;
  if (u < 0 || u > length) return 0;
  double fade = std::min({1.0, u / 0.01, (length - u) / 0.01});
  return 0.5 * fade * std::sin(2 * kPi * freq * u);
}

std::map<std::string, TClip> Recipes() {
  std::map<std::string, TClip> clips;
  auto tone = [&](const char* name, double seconds, TSignal signal, TContainer container = TContainer::Wav) {
    clips[name] = {container, seconds, std::move(signal), {}};
  };
  auto speech = [&](const char* name, const char* text, TContainer container = TContainer::Wav) {
    clips[name] = {container, 0, {}, text};
  };
  tone("gong.wav", 2.0, [](double t) { return Bell(t, 110, 1.6) * 1.1; });
  tone("harangjatek.wav", 2.0, [](double t) {
    return Bell(t, 659.25, 3) + Bell(t - 0.5, 523.25, 3) + Bell(t - 1.0, 392.0, 2.5);
  });
  tone("figyelem.wav", 1.0, [](double t) {
    return Tone(t, 0.0, 0.24, 880) + Tone(t, 0.25, 0.24, 660) + Tone(t, 0.5, 0.24, 880) + Tone(t, 0.75, 0.24, 660);
  });
  tone("sipszo.wav", 1.0, [](double t) {
    return Tone(t, 0.0, 0.15, 1000) + Tone(t, 0.3, 0.15, 1000) + Tone(t, 0.6, 0.15, 1000);
  });
  tone("szignal.wav", 1.5, [](double t) {
    // Rising sweep 400 -> 1200 Hz; the phase is the integral of the frequency.
    double phase = 2 * kPi * (400 * t + 800 / (2 * 1.5) * t * t);
    double fade = std::min({1.0, t / 0.02, (1.5 - t) / 0.05});
    return 0.45 * fade * std::sin(phase);
  });
  tone("zaras.wav", 2.0, [](double t) {
    return Bell(t, 783.99, 4) + Bell(t - 0.3, 659.25, 4) + Bell(t - 0.6, 523.25, 3.5) + Bell(t - 0.9, 392.0, 2.5);
  });
  // A four-note chime stored as IMA ADPCM.
  tone("dallam.wav", 2.4, [](double t) {
    return Bell(t, 523.25, 3) + Bell(t - 0.4, 659.25, 3) + Bell(t - 0.8, 783.99, 3) + Bell(t - 1.2, 1046.5, 2.5);
  }, TContainer::ImaAdpcm);
  speech("reggel.wav", "Jó reggelt kívánunk! Kérjük, figyeljenek a bemondásra.");
  speech("vonat.mp3", "Figyelem! A személyvonat az első vágányra érkezik. Kérjük, lépjenek hátrébb a peron szélétől.",
         TContainer::Mp3);
  speech("esti.wav", "Kedves vendégeink! Az épület húsz perc múlva bezár. Köszönjük, hogy nálunk jártak.");
  return clips;
}

TPcm Synthesise(double seconds, const TSignal& signal) {
  const size_t frames = size_t(seconds * kRate);
  TPcm pcm;
  pcm.reserve(frames * kChannels);
  for (size_t i = 0; i < frames; ++i) {
    const double s = std::clamp(signal(double(i) / kRate), -1.0, 1.0);
    const auto sample = static_cast<int16_t>(std::lround(s * 32767));
    for (int c = 0; c < kChannels; ++c) pcm.push_back(sample);
  }
  return pcm;
}

// Stand-in for speech without espeak-ng: one soft tone per syllable-like
// group of letters, the pitch falling towards each sentence end.
TPcm ToneSpeech(const std::string& text) {
  std::vector<double> notes;  // 0 = a pause
  double pitch = 330;
  for (char c : text) {
    if (c == ' ') {
      notes.push_back(0);
    } else if (c == '.' || c == '!' || c == ',') {
      notes.push_back(0);
      notes.push_back(0);
      pitch = 330;
    } else if (std::strchr("aeiouAEIOU", c) != nullptr) {
      notes.push_back(pitch);
      pitch = std::max(220.0, pitch * 0.985);
    }
  }
  const double step = 0.12;
  return Synthesise(step * double(notes.size()) + 0.2, [&notes, step](double t) {
    const size_t i = size_t(t / step);
    if (i >= notes.size() || notes[i] == 0) return 0.0;
    return 0.6 * Tone(t, double(i) * step, step * 0.9, notes[i]);
  });
}

std::optional<std::vector<uint8_t>> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(b[at + size_t(i)]) << (8 * i);
  return v;
}

// The PCM of a 16-bit PCM WAV file (mono or stereo, any rate), resampled
// linearly to stereo at kRate; nullopt when the file is not one.
std::optional<TPcm> StereoAt44k(const std::vector<uint8_t>& wav) {
  if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  uint32_t channels = 0, rate = 0, bits = 0;
  size_t at = 12;
  while (at + 8 <= wav.size()) {
    const uint32_t size = Le(wav, at + 4, 4);
    const size_t body = at + 8;
    if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && body + 16 <= wav.size()) {
      channels = Le(wav, body + 2, 2);
      rate = Le(wav, body + 4, 4);
      bits = Le(wav, body + 14, 2);
    } else if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      if (bits != 16 || (channels != 1 && channels != 2) || rate == 0) return std::nullopt;
      // espeak-ng writing to a pipe leaves the size open; take what is there.
      const size_t bytes = std::min<size_t>(size, wav.size() - body);
      const size_t frames = bytes / (2 * channels);
      auto sample = [&](size_t frame, uint32_t c) {
        return double(int16_t(Le(wav, body + (frame * channels + c) * 2, 2)));
      };
      const size_t outFrames = size_t(double(frames) * kRate / rate);
      TPcm pcm;
      pcm.reserve(outFrames * kChannels);
      for (size_t i = 0; i < outFrames; ++i) {
        const double pos = double(i) * rate / kRate;
        const size_t a = std::min(frames - 1, size_t(pos));
        const size_t b = std::min(frames - 1, a + 1);
        const double f = pos - double(a);
        for (int c = 0; c < kChannels; ++c) {
          const uint32_t from = channels == 1 ? 0 : uint32_t(c);
          pcm.push_back(int16_t(std::lround(sample(a, from) * (1 - f) + sample(b, from) * f)));
        }
      }
      return pcm;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

// The text spoken by espeak-ng in Hungarian; nullopt when it fails.
std::optional<TPcm> Speak(const std::string& espeak, const std::string& text, const std::filesystem::path& folder) {
  const std::filesystem::path out = folder / (".speech" + std::to_string(::getpid()) + ".wav");
  std::vector<std::string> args{espeak, "-v", "hu", "-s", "145", "-w", out.string(), text};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, espeak.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::optional<TPcm> pcm;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    if (const auto bytes = ReadFile(out)) pcm = StereoAt44k(*bytes);
  std::error_code ec;
  std::filesystem::remove(out, ec);
  if (pcm && pcm->empty()) pcm.reset();
  return pcm;
}

std::vector<uint8_t> PcmWav(const TPcm& pcm) {
  TFmtFields fmt;
  fmt.Channels = kChannels;
  fmt.SampleRate = kRate;
  TBytes data(pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    data[2 * i] = uint8_t(uint16_t(pcm[i]) & 0xFF);
    data[2 * i + 1] = uint8_t(uint16_t(pcm[i]) >> 8);
  }
  return TWavBuilder().Header().Fmt(fmt).Data(data).Bytes();
}

// The clip's file bytes in its container; empty on an encoder failure.
std::vector<uint8_t> Encode(const TClip& clip, const TPcm& pcm, const std::filesystem::path& temp) {
  switch (clip.Container) {
    case TContainer::Wav: return PcmWav(pcm);
    case TContainer::ImaAdpcm: {
      const auto encoded = EncodeAdpcm("adpcm_ima_wav", pcm, kChannels, kRate, 1024 * kChannels);
      if (!encoded) return {};
      return MakeAdpcmWav("adpcm_ima_wav", *encoded, kChannels, kRate);
    }
    case TContainer::Mp3: {
      if (!EncodeMp3File(temp.string(), pcm, kChannels, kRate)) return {};
      auto bytes = ReadFile(temp);
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return bytes ? *bytes : std::vector<uint8_t>{};
    }
  }
  return {};
}

bool WriteAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  std::string espeak;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--espeak") == 0) {
    espeak = argv[2];
    first = 3;
  }
  if (argc - first < 2) {
    std::fprintf(stderr, "usage: %s [--espeak PROGRAM] OUTPUT_FOLDER NAME...\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[first];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], argv[first], ec.message().c_str());
    return 1;
  }
  const auto recipes = Recipes();
  bool spoke = false, toneSpeech = false;
  for (int i = first + 1; i < argc; ++i) {
    auto recipe = recipes.find(argv[i]);
    if (recipe == recipes.end()) {
      std::fprintf(stderr, "%s: no recipe for demo clip \"%s\"\n", argv[0], argv[i]);
      return 1;
    }
    const TClip& clip = recipe->second;
    TPcm pcm;
    if (clip.Speech.empty()) {
      pcm = Synthesise(clip.Seconds, clip.Signal);
    } else if (auto spoken = espeak.empty() ? std::nullopt : Speak(espeak, clip.Speech, folder)) {
      pcm = std::move(*spoken);
      spoke = true;
    } else {
      pcm = ToneSpeech(clip.Speech);
      toneSpeech = true;
    }
    const std::filesystem::path path = folder / argv[i];
    std::filesystem::path temp = path;
    temp += ".enc" + std::to_string(::getpid()) + ".mp3";
    const std::vector<uint8_t> bytes = Encode(clip, pcm, temp);
    if (bytes.empty()) {
      std::fprintf(stderr, "%s: cannot encode %s\n", argv[0], path.c_str());
      return 1;
    }
    if (!WriteAtomically(path, bytes)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      return 1;
    }
  }
  if (spoke) std::printf("demo clips: announcements spoken by espeak-ng\n");
  if (toneSpeech) std::printf("demo clips: espeak-ng not found, announcements are tone sequences\n");
  return 0;
}
