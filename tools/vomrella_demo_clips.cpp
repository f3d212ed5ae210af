// Makes the clips of the bundled demo: short chimes, tones and beeps,
// synthesised here and written as 16-bit stereo PCM WAV at 44.1 kHz.
//
//   vomrella_demo_clips OUTPUT_FOLDER NAME.wav...
//
// Every name must be one of the clips below; an unknown name is an error, so
// a demo script that names a clip nobody makes fails the build. Each file is
// written under a temporary name and renamed into place, so several builds
// writing the same folder at once never leave a half-written clip.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using TSignal = std::function<double(double)>;  // seconds -> sample in [-1, 1]

struct TClip {
  double Seconds;
  TSignal Signal;
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
  clips["gong.wav"] = {2.0, [](double t) { return Bell(t, 110, 1.6) * 1.1; }};
  clips["harangjatek.wav"] = {2.0, [](double t) {
    return Bell(t, 659.25, 3) + Bell(t - 0.5, 523.25, 3) + Bell(t - 1.0, 392.0, 2.5);
  }};
  clips["figyelem.wav"] = {1.0, [](double t) {
    return Tone(t, 0.0, 0.24, 880) + Tone(t, 0.25, 0.24, 660) + Tone(t, 0.5, 0.24, 880) + Tone(t, 0.75, 0.24, 660);
  }};
  clips["sipszo.wav"] = {1.0, [](double t) {
    return Tone(t, 0.0, 0.15, 1000) + Tone(t, 0.3, 0.15, 1000) + Tone(t, 0.6, 0.15, 1000);
  }};
  clips["szignal.wav"] = {1.5, [](double t) {
    // Rising sweep 400 -> 1200 Hz; the phase is the integral of the frequency.
    double phase = 2 * kPi * (400 * t + 800 / (2 * 1.5) * t * t);
    double fade = std::min({1.0, t / 0.02, (1.5 - t) / 0.05});
    return 0.45 * fade * std::sin(phase);
  }};
  clips["zaras.wav"] = {2.0, [](double t) {
    return Bell(t, 783.99, 4) + Bell(t - 0.3, 659.25, 4) + Bell(t - 0.6, 523.25, 3.5) + Bell(t - 0.9, 392.0, 2.5);
  }};
  return clips;
}

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char((value >> (8 * i)) & 0xFF));
}

std::string Wav(const TClip& clip) {
  const uint32_t frames = uint32_t(clip.Seconds * kRate);
  const uint32_t channels = 2, bits = 16, blockAlign = channels * bits / 8;
  const uint32_t dataSize = frames * blockAlign;
  std::string out;
  out.reserve(44 + dataSize);
  out += "RIFF";
  PutLe(out, 36 + dataSize, 4);
  out += "WAVEfmt ";
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, channels, 2);
  PutLe(out, kRate, 4);
  PutLe(out, kRate * blockAlign, 4);
  PutLe(out, blockAlign, 2);
  PutLe(out, bits, 2);
  out += "data";
  PutLe(out, dataSize, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    double s = std::clamp(clip.Signal(double(i) / kRate), -1.0, 1.0);
    auto sample = static_cast<int16_t>(std::lround(s * 32767));
    for (uint32_t c = 0; c < channels; ++c) PutLe(out, uint16_t(sample), 2);
  }
  return out;
}

bool WriteAtomically(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
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
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER NAME.wav...\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], argv[1], ec.message().c_str());
    return 1;
  }
  const auto recipes = Recipes();
  for (int i = 2; i < argc; ++i) {
    auto recipe = recipes.find(argv[i]);
    if (recipe == recipes.end()) {
      std::fprintf(stderr, "%s: no recipe for demo clip \"%s\"\n", argv[0], argv[i]);
      return 1;
    }
    if (!WriteAtomically(folder / argv[i], Wav(recipe->second))) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], (folder / argv[i]).c_str());
      return 1;
    }
  }
  return 0;
}
