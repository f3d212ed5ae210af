// The vomrella program run as a user runs it: exit status, the lines it
// prints, and the files it writes. Clips are made in a temporary folder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ChainTestSupport.h"

extern char** environ;

namespace {

struct TResult {
  int Status = -1;  // exit status, or 128 + signal
  std::string Out;
  std::string Err;
};

std::string ReadText(const std::string& Path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  return std::string(bytes.begin(), bytes.end());
}

// Runs the program with Args; Env entries are added to (or replace those of)
// this process's environment. Output goes through files in Folder.
TResult RunProgram(const TTempFolder& Folder, const std::vector<std::string>& Args,
                   const std::map<std::string, std::string>& Env = {}) {
  const std::string outPath = Folder.File("stdout.txt");
  const std::string errPath = Folder.File("stderr.txt");
  std::vector<std::string> argStore{VOMRELLA_PROGRAM};
  argStore.insert(argStore.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (!Env.count(name)) envStore.push_back(entry);
  }
  for (const auto& [name, value] : Env) envStore.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  TResult result;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.Err = std::string("cannot start the program: ") + std::strerror(spawned);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.Out = ReadText(outPath);
  result.Err = ReadText(errPath);
  return result;
}

bool Contains(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

bool FileExists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }

// --- The program's own options -------------------------------------------

TEST(CommandLine, HelpPrintsTheUsageOfEveryCommandAndExitsZero) {
  TTempFolder folder;
  for (const char* option : {"--help", "-h"}) {
    SCOPED_TRACE(option);
    const TResult r = RunProgram(folder, {option});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "Usage: vomrella [SCRIPT]")) << r.Out;
    for (const char* command :
         {"--probe FILE...", "--decode FILE -o OUT.wav", "--play FILE", "--widget-gallery OUT.png", "--list SCRIPT"})
      EXPECT_TRUE(Contains(r.Out, command)) << command << " missing from:\n" << r.Out;
    EXPECT_EQ(r.Err, "");
  }
}

TEST(CommandLine, UnknownOptionIsNamedWithTheUsageOnStderrAndExitsTwo) {
  TTempFolder folder;
  const TResult r = RunProgram(folder, {"--lejatszas", "x.wav"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_TRUE(Contains(r.Err, "vomrella: unknown option --lejatszas\n")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "Usage: vomrella")) << r.Err;
  EXPECT_EQ(r.Out, "");
}

// --- --probe ----------------------------------------------------------------

TEST(CliProbe, ValidWavGivesKindFormatSizeAndLengthAndExitsZero) {
  TTempFolder folder;
  const std::string pcm = WriteClip(folder, "zene", {TClipKind::PcmWav, 2, 44100, 2.0, 1});
  const std::string eight = WriteClip(folder, "hang8", {TClipKind::EightBitWav, 1, 11025, 3.0, 2});
  const TResult r = RunProgram(folder, {"--probe", pcm, eight});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, pcm + ": valid kind=pcm channels=2 rate=44100 bits=16 size=352800 time=2\n" +  //
                       eight + ": valid kind=pcm channels=1 rate=11025 bits=8 size=33075 time=3\n");
}

TEST(CliProbe, AdpcmWavReportsTheSizeOfTheDecodedPcm) {
  TTempFolder folder;
  const std::string path = WriteClip(folder, "adpcm", {TClipKind::ImaAdpcmWav, 1, 22050, 1.0, 3});
  const TDecoded alone = DecodeAlone(path);
  ASSERT_TRUE(alone.Valid);
  const TResult r = RunProgram(folder, {"--probe", path});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, path + ": valid kind=ima-adpcm channels=1 rate=22050 bits=16 size=" +
                       std::to_string(alone.Pcm.size()) + " time=1\n");
}

TEST(CliProbe, Mp3IsReadByTheMediaReaderInItsOwnChannelsAndRate) {
  TTempFolder folder;
  const TClipSpec spec{TClipKind::Mp3, 2, 44100, 2.0, 4};
  const std::string path = WriteClip(folder, "bemondas", spec);
  const TResult r = RunProgram(folder, {"--probe", path});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string head = path + ": valid kind=media channels=2 rate=44100 bits=16 size=";
  const std::string tail = " time=2\n";
  ASSERT_TRUE(r.Out.size() > head.size() + tail.size() && r.Out.starts_with(head) && r.Out.ends_with(tail))
      << r.Out;
  const std::string size = r.Out.substr(head.size(), r.Out.size() - head.size() - tail.size());
  ASSERT_TRUE(std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; })) << r.Out;
  // The length comes from the container, which counts the encoder's delay
  // and padding too: within two frames (and the rounding to hundredths of a
  // second) of the two seconds encoded.
  const double frames = std::stod(size) / 4;
  EXPECT_NEAR(frames, 2.0 * 44100, 2 * 1152 + 441);
}

TEST(CliProbe, UnreadableFilesAreReportedOnePerLineAndExitOne) {
  TTempFolder folder;
  const std::string valid = WriteClip(folder, "jo", {TClipKind::PcmWav, 1, 8000, 1.0, 5});
  const std::string garbageWav = folder.File("szemet.wav");
  const std::string garbageMp3 = folder.File("szemet.mp3");
  WriteFileBytes(garbageWav, std::vector<uint8_t>(3000, 0x3C));
  WriteFileBytes(garbageMp3, std::vector<uint8_t>(3000, 0x3C));
  const std::string missing = folder.File("nincs.wav");
  const TResult r = RunProgram(folder, {"--probe", garbageWav, missing, valid, garbageMp3});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, garbageWav + ": invalid kind=unsupported\n" +                      //
                       missing + ": nem olvasható (No such file or directory)\n" +  //
                       valid + ": valid kind=pcm channels=1 rate=8000 bits=16 size=16000 time=1\n" +
                       garbageMp3 + ": invalid kind=media\n");
}

TEST(CliProbe, WithoutFilesPrintsItsUsageAndExitsTwo) {
  TTempFolder folder;
  const TResult r = RunProgram(folder, {"--probe"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "Használat: vomrella --probe FÁJL...\n");
  EXPECT_EQ(r.Out, "");
}

// --- --decode ---------------------------------------------------------------

class CliDecode : public ::testing::TestWithParam<TClipSpec> {};

TEST_P(CliDecode, WritesWhatTheClipsReaderDeliversAsAPlainPcmWav) {
  const TClipSpec spec = GetParam();
  TTempFolder folder;
  const std::string clip = WriteClip(folder, "be", spec);
  const std::string out = folder.File("ki.wav");
  const TDecoded alone = DecodeAlone(clip);
  ASSERT_TRUE(alone.Valid);
  if (spec.Kind == TClipKind::PcmWav) {
    EXPECT_EQ(alone.Pcm, PcmClipData(spec));
  }

  const TResult r = RunProgram(folder, {"--decode", clip, "-o", out});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, clip + ": " + std::to_string(alone.Pcm.size()) + " bájt PCM -> " + out + "\n");
  const TDecoded written = DecodeAlone(out);
  ASSERT_TRUE(written.Valid);
  EXPECT_EQ(written.Format, alone.Format);
  EXPECT_TRUE(written.Pcm == alone.Pcm) << "written " << written.Pcm.size() << " bytes, the reader gave "
                                        << alone.Pcm.size();
  if (spec.Kind == TClipKind::Mp3) {
    const double frames = double(written.Pcm.size()) / alone.Format.FrameSize();
    EXPECT_NEAR(frames, spec.Seconds * spec.SampleRate, 1152);
  }

  // The result is a plain PCM file of the same format.
  const TResult probe = RunProgram(folder, {"--probe", out});
  EXPECT_EQ(probe.Status, 0);
  EXPECT_EQ(probe.Out, out + ": valid kind=pcm channels=" + std::to_string(spec.Channels) +
                           " rate=" + std::to_string(spec.SampleRate) + " bits=16 size=" +
                           std::to_string(alone.Pcm.size()) + " time=" +
                           std::to_string(std::lround(std::nearbyint(spec.Seconds))) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliDecode,
                         ::testing::Values(TClipSpec{TClipKind::PcmWav, 2, 44100, 1.0, 6},
                                           TClipSpec{TClipKind::MsAdpcmWav, 2, 22050, 1.0, 7},
                                           TClipSpec{TClipKind::Mp3, 1, 44100, 1.0, 8}),
                         [](const ::testing::TestParamInfo<TClipSpec>& info) {
                           return std::string(ClipKindName(info.param.Kind));
                         });

TEST(CliDecodeUsage, WrongArgumentsUnreadableInputAndUnwritableOutputFail) {
  TTempFolder folder;
  const std::string clip = WriteClip(folder, "be", {TClipKind::PcmWav, 1, 8000, 0.5, 9});
  const std::string garbage = folder.File("szemet.wav");
  WriteFileBytes(garbage, std::vector<uint8_t>(2000, 0x11));
  const std::string usage = "Használat: vomrella --decode FÁJL -o KIMENET.wav\n";

  TResult r = RunProgram(folder, {"--decode", clip});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, usage);
  r = RunProgram(folder, {"--decode", clip, folder.File("ki.wav")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, usage);
  r = RunProgram(folder, {"--decode", clip, "-x", folder.File("ki.wav")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_FALSE(FileExists(folder.File("ki.wav")));

  r = RunProgram(folder, {"--decode", folder.File("nincs.wav"), "-o", folder.File("ki.wav")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, folder.File("nincs.wav") + ": nem olvasható (No such file or directory)\n");
  r = RunProgram(folder, {"--decode", garbage, "-o", folder.File("ki.wav")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, garbage + ": nem lejátszható hangfájl\n");
  EXPECT_FALSE(FileExists(folder.File("ki.wav")));

  const std::string nowhere = folder.File("nincs-mappa/ki.wav");
  r = RunProgram(folder, {"--decode", clip, "-o", nowhere});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, clip + ": ")) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_FALSE(FileExists(nowhere));
}

// --- --play on the virtual device -------------------------------------------

class CliPlay : public ::testing::TestWithParam<TClipSpec> {};

TEST_P(CliPlay, CaptureOfTheVirtualDeviceHoldsTheClipThenSilence) {
  const TClipSpec spec = GetParam();
  TTempFolder folder;
  const std::string clip = WriteClip(folder, "bemondas", spec);
  const std::string capture = folder.File("hallott.wav");
  const TDecoded alone = DecodeAlone(clip);
  ASSERT_TRUE(alone.Valid);

  const TResult r = RunProgram(folder, {"--play", clip}, {{"VOMRELLA_AUDIO", "virtual:" + capture}});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, clip + ": " + std::to_string(spec.SampleRate) + " Hz, " + std::to_string(spec.Channels) +
                       " csatorna, " + std::to_string(alone.Format.BitsPerSample) + " bit, " +
                       std::to_string(std::lround(std::nearbyint(spec.Seconds))) + " mp\n");
  EXPECT_EQ(r.Err, "");
  const TDecoded heard = DecodeAlone(capture);
  ASSERT_TRUE(heard.Valid) << "no readable capture at " << capture;
  EXPECT_EQ(heard.Format, alone.Format);
  EXPECT_TRUE(IsStreamThenSilence(heard.Pcm, alone.Pcm, alone.Format.SilenceByte()));
}

// The program plays in real time: short clips, each written whole into the
// device buffer (65535 frames, 1.49 s at 44.1 kHz) before playback starts.
INSTANTIATE_TEST_SUITE_P(Clips, CliPlay,
                         ::testing::Values(TClipSpec{TClipKind::PcmWav, 2, 44100, 0.8, 10},
                                           TClipSpec{TClipKind::EightBitWav, 1, 44100, 0.4, 11},
                                           TClipSpec{TClipKind::Mp3, 1, 44100, 0.6, 12}),
                         [](const ::testing::TestParamInfo<TClipSpec>& info) {
                           return std::string(ClipKindName(info.param.Kind));
                         });

TEST(CliPlayUsage, WrongArgumentsAndUnplayableFilesFailBeforeTheDeviceIsOpened) {
  TTempFolder folder;
  const std::string capture = folder.File("hallott.wav");
  const std::map<std::string, std::string> env{{"VOMRELLA_AUDIO", "virtual:" + capture}};
  const std::string usage = "Használat: vomrella --play FÁJL\n";
  const std::string clip = WriteClip(folder, "be", {TClipKind::PcmWav, 1, 8000, 0.2, 13});
  const std::string garbage = folder.File("szemet.mp3");
  WriteFileBytes(garbage, std::vector<uint8_t>(4000, 0x77));

  TResult r = RunProgram(folder, {"--play"}, env);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, usage);
  r = RunProgram(folder, {"--play", clip, clip}, env);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, usage);
  r = RunProgram(folder, {"--play", folder.File("nincs.wav")}, env);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + folder.File("nincs.wav") + ": a fájl nem játszható le\n");
  r = RunProgram(folder, {"--play", garbage}, env);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + garbage + ": a fájl nem játszható le\n");
  EXPECT_FALSE(FileExists(capture));
}

// --- --widget-gallery -------------------------------------------------------

TEST(CliWidgetGallery, WritesAPngPicture) {
  TTempFolder folder;
  const std::string out = folder.File("galeria.png");
  const TResult r = RunProgram(folder, {"--widget-gallery", out}, {{"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<uint8_t> png = ReadFileBytes(out);
  const std::vector<uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(png.size(), signature.size());
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
}

TEST(CliWidgetGallery, WrongArgumentsOrAnUnwritablePathFail) {
  TTempFolder folder;
  const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"}};
  TResult r = RunProgram(folder, {"--widget-gallery"}, env);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "usage: vomrella --widget-gallery OUT.png\n");
  r = RunProgram(folder, {"--widget-gallery", folder.File("a.png"), folder.File("b.png")}, env);
  EXPECT_EQ(r.Status, 2);
  const std::string nowhere = folder.File("nincs-mappa/galeria.png");
  r = RunProgram(folder, {"--widget-gallery", nowhere}, env);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "vomrella: cannot write " + nowhere)) << r.Err;
  EXPECT_FALSE(FileExists(nowhere));
}

}  // namespace

// --- The window ----------------------------------------------------------

TEST(CommandLine, WithoutADisplayTheWindowSaysHowToRunItAndExitsOne) {
  TTempFolder folder;
  const std::map<std::string, std::string> noDisplay = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {folder.File("script.vrs")}}) {
    const TResult r = RunProgram(folder, args, noDisplay);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "xvfb-run -a vomrella")) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  }
}

TEST(CliWindowShot, RendersTheThreePagesOfTheDemo) {
  TTempFolder folder;
  const TResult r = RunProgram(folder, {"--window-shot", folder.File("shots")}, {{"QT_QPA_PLATFORM", "offscreen"}});
  EXPECT_EQ(r.Status, 0) << r.Err;
  for (const char* page : {"page-0.png", "page-1.png", "page-2.png"}) {
    const std::vector<uint8_t> png = ReadFileBytes(folder.File(std::string("shots/") + page));
    ASSERT_GT(png.size(), 8u) << page;
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG") << page;
  }
  const TResult bad = RunProgram(folder, {"--window-shot"}, {{"QT_QPA_PLATFORM", "offscreen"}});
  EXPECT_EQ(bad.Status, 2);
}
