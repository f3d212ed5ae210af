// The vomrella program run as a user runs it: exit status, the lines it
// prints, and the files it writes. Clips are made in a temporary folder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CliRunner.h"
#include "show/PlaybackSettings.h"
#include "support/PulseNullSink.h"

namespace {

// --- The program's own options -------------------------------------------

TEST(CommandLine, HelpPrintsTheUsageOfEveryCommandAndExitsZero) {
  TTempFolder folder;
  for (const char* option : {"--help", "-h"}) {
    SCOPED_TRACE(option);
    const TResult r = RunProgram(folder, {option});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "Használat:\n  vomrella [--device ESZKÖZ] [SCRIPT]\n")) << r.Out;
    for (const char* command :
         {"--probe FÁJL...", "--decode FÁJL -o KIMENET.wav", "--play [--device ESZKÖZ] FÁJL", "--devices\n", "--widget-gallery KIMENET.png",
          "--list SCRIPT", "--check SCRIPT [--json]", "--render SCRIPT (--composition N | --name NÉV) -o KIMENET.wav",
          "--run [--device ESZKÖZ] SCRIPT [N]", "--remote play|pause|next|prev|stop|status", "--window-shot MAPPA [SCRIPT]", "--version", "Kilépési kódok: 0 rendben, 1 hiba a bemenetben"})
      EXPECT_TRUE(Contains(r.Out, command)) << command << " missing from:\n" << r.Out;
    EXPECT_EQ(r.Err, "");
  }
}

TEST(CommandLine, UnknownOptionIsNamedWithTheUsageOnStderrAndExitsTwo) {
  TTempFolder folder;
  const TResult r = RunProgram(folder, {"--lejatszas", "x.wav"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "vomrella: ismeretlen kapcsoló: --lejatszas\nA parancsok listája: vomrella --help\n");
  EXPECT_EQ(r.Out, "");
  const TResult two = RunProgram(folder, {folder.File("a.vrs"), folder.File("b.vrs")});
  EXPECT_EQ(two.Status, 2);
  EXPECT_TRUE(Contains(two.Err, "csak egy script adható meg")) << two.Err;
  // After "--" a script's name may start with "-"; before it, it is an option.
  const TResult dashed = RunProgram(folder, {"--", "-x.vrs", "-y.vrs"});
  EXPECT_EQ(dashed.Status, 2);
  EXPECT_TRUE(Contains(dashed.Err, "csak egy script adható meg, ennyi argumentum érkezett: 2")) << dashed.Err;
  EXPECT_EQ(RunProgram(folder, {"-x.vrs"}).Err,
            "vomrella: ismeretlen kapcsoló: -x\nA parancsok listája: vomrella --help\n");
}

TEST(CommandLine, EveryCommandHasItsOwnHelpAndTheVersionIsPrinted) {
  TTempFolder folder;
  for (const char* command :
       {"--check", "--render", "--run", "--list", "--probe", "--decode", "--play", "--widget-gallery", "--remote",
        "--window-shot", "--devices"}) {
    SCOPED_TRACE(command);
    const TResult r = RunProgram(folder, {command, "--help"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Out.starts_with(std::string("Használat: vomrella ") + command + " ")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "Kilépési kódok:")) << r.Out;
    EXPECT_EQ(r.Err, "");
  }
  const TResult v = RunProgram(folder, {"--version"});
  EXPECT_EQ(v.Status, 0);
  EXPECT_TRUE(v.Out.starts_with("vomrella ") && v.Out.ends_with("\n") && v.Out.size() > 11) << v.Out;
}

// --- --probe ----------------------------------------------------------------

TEST(CliProbe, ValidWavGivesKindFormatSizeAndLengthAndExitsZero) {
  TTempFolder folder;
  const std::string pcm = WriteClip(folder, "zene", {TClipKind::PcmWav, 2, 44100, 2.0, 1});
  const std::string eight = WriteClip(folder, "hang8", {TClipKind::EightBitWav, 1, 11025, 3.0, 2});
  const TResult r = RunProgram(folder, {"--probe", pcm, eight});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, pcm + ": érvényes fajta=pcm csatorna=2 ráta=44100 bit=16 méret=352800 idő=2\n" +  //
                       eight + ": érvényes fajta=pcm csatorna=1 ráta=11025 bit=8 méret=33075 idő=3\n");
}

TEST(CliProbe, AdpcmWavReportsTheSizeOfTheDecodedPcm) {
  TTempFolder folder;
  const std::string path = WriteClip(folder, "adpcm", {TClipKind::ImaAdpcmWav, 1, 22050, 1.0, 3});
  const TDecoded alone = DecodeAlone(path);
  ASSERT_TRUE(alone.Valid);
  const TResult r = RunProgram(folder, {"--probe", path});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, path + ": érvényes fajta=ima-adpcm csatorna=1 ráta=22050 bit=16 méret=" +
                       std::to_string(alone.Pcm.size()) + " idő=1\n");
}

TEST(CliProbe, Mp3IsReadByTheMediaReaderInItsOwnChannelsAndRate) {
  TTempFolder folder;
  const TClipSpec spec{TClipKind::Mp3, 2, 44100, 2.0, 4};
  const std::string path = WriteClip(folder, "bemondas", spec);
  const TResult r = RunProgram(folder, {"--probe", path});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string head = path + ": érvényes fajta=media csatorna=2 ráta=44100 bit=16 méret=";
  const std::string tail = " idő=2\n";
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
  EXPECT_EQ(r.Out, garbageWav + ": érvénytelen fajta=nem-támogatott\n" +                      //
                       missing + ": nincs ilyen fájl\n" +  //
                       valid + ": érvényes fajta=pcm csatorna=1 ráta=8000 bit=16 méret=16000 idő=1\n" +
                       garbageMp3 + ": érvénytelen fajta=media\n");
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
  EXPECT_EQ(probe.Out, out + ": érvényes fajta=pcm csatorna=" + std::to_string(spec.Channels) +
                           " ráta=" + std::to_string(spec.SampleRate) + " bit=16 méret=" +
                           std::to_string(alone.Pcm.size()) + " idő=" +
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
  r = RunProgram(folder, {"--decode", clip, "-o", folder.File("ki.wav"), "-o", folder.File("ki.wav")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_FALSE(FileExists(folder.File("ki.wav")));
  // "--output=F" and "-oF" are "-o F"; "--" lets a name start with "-".
  const std::string dashed = folder.File("-be.wav");
  std::filesystem::copy_file(clip, dashed);
  r = RunProgram(folder, {"--decode", "--output=" + folder.File("egy.wav"), "--", "-be.wav"}, {}, folder.Path());
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = RunProgram(folder, {"--decode", "-o" + folder.File("ket.wav"), clip});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(ReadFileBytes(folder.File("egy.wav")) == ReadFileBytes(folder.File("ket.wav")));
  EXPECT_EQ(RunProgram(folder, {"--decode", "-be.wav", "-o", folder.File("ki.wav")}, {}, folder.Path()).Status, 2);

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
  EXPECT_TRUE(Contains(r.Err, nowhere + ": a mappa nem létezik")) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_FALSE(FileExists(nowhere));
}

// "-o" never turns what is there into something else: standard output, a
// link's target (the link stays), a FIFO and a device node get the WAV; a
// file-size limit fails the command with its reason instead of killing it.
TEST(CliDecodeOutput, StandardOutputLinksFifosAndDevicesAreWrittenNeverReplaced) {
  namespace fs = std::filesystem;
  TTempFolder folder;
  const std::string clip = WriteClip(folder, "be", {TClipKind::PcmWav, 1, 8000, 1.0, 10});
  const std::string out = folder.File("ki.wav");
  ASSERT_EQ(RunProgram(folder, {"--decode", clip, "-o", out}).Status, 0);
  const std::string wav = ReadText(out);

  TResult r = RunProgram(folder, {"--decode", clip, "-o", "-"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_TRUE(r.Out == wav);
  EXPECT_EQ(r.Err, clip + ": 16000 bájt PCM -> -\n");

  fs::create_directories(folder.File("valodi"));
  fs::create_symlink("valodi/cel.wav", folder.File("link.wav"));
  EXPECT_EQ(RunProgram(folder, {"--decode", clip, "-o", folder.File("link.wav")}).Status, 0);
  EXPECT_TRUE(fs::is_symlink(folder.File("link.wav")));
  EXPECT_TRUE(ReadText(folder.File("valodi/cel.wav")) == wav);

  const std::string fifo = folder.File("cso");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  r = RunProgram(folder, {"--decode", clip, "-o", fifo});  // nobody reads it: an error, not a hang
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "egy folyamat sem olvas belőle")) << r.Err;
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // the WAV fits in the pipe's buffer
  EXPECT_EQ(RunProgram(folder, {"--decode", clip, "-o", fifo}).Status, 0);
  std::string heard(wav.size() + 1, '\0');
  heard.resize(size_t(std::max<ssize_t>(0, read(reader, heard.data(), heard.size()))));
  close(reader);
  EXPECT_TRUE(heard == wav);
  EXPECT_TRUE(fs::is_fifo(fifo));
  // Device nodes of our own, where this process may make them.
  if (mknod(folder.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
      mknod(folder.File("disk").c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0) {
    r = RunProgram(folder, {"--decode", clip, "-o", folder.File("null")});
    EXPECT_TRUE(r.Status == 0 || Contains(r.Err, "Permission denied")) << r.Err;  // a "nodev" mount
    r = RunProgram(folder, {"--decode", clip, "-o", folder.File("disk")});
    EXPECT_EQ(r.Err, folder.File("disk") + ": különleges fájl (blokkeszköz vagy socket): nem írható bele, és nem "
                                           "cserélhető le\n");
    EXPECT_TRUE(fs::is_character_file(folder.File("null")));
    EXPECT_TRUE(fs::is_block_file(folder.File("disk")));
  } else {
    std::printf("mknod is refused here: device nodes not tried\n");
  }

  // 1 s of 44.1 kHz stereo is far past a 4 KiB limit.
  const std::string big = WriteClip(folder, "nagy", {TClipKind::PcmWav, 2, 44100, 1.0, 11});
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit small{4096, saved.rlim_max};
  auto* previous = std::signal(SIGXFSZ, SIG_DFL);  // the program must ignore it itself
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  r = RunProgram(folder, {"--decode", big, "-o", out});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Err, out + ": nem írható (") && Contains(r.Err, "File too large")) << r.Err;
  EXPECT_TRUE(ReadText(out) == wav);
  // A full device says why, in the system's words.
  if (access("/dev/full", W_OK) == 0) {
    r = RunProgram(folder, {"--decode", big, "-o", "/dev/full"}, {{"LC_ALL", "C"}});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "/dev/full: nem írható (" + std::string(std::strerror(ENOSPC)) + ")\n");
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.Path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".ki.wav")) << entry.path();
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
  // The first lap of the looping device buffer is the clip, then silence.
  // Later laps depend on when the worker ran: a worker starved for longer
  // than the silence lasts lets the cursor play the buffer's old bytes
  // again, as a real device would. Each later byte is therefore silence or
  // the byte heard one lap earlier, never anything else.
  const size_t lap = size_t(PlaybackSettings::kFramesInBuffer) * alone.Format.FrameSize();
  const std::vector<uint8_t> firstLap(heard.Pcm.begin(), heard.Pcm.begin() + std::min(lap, heard.Pcm.size()));
  EXPECT_TRUE(IsStreamThenSilence(firstLap, alone.Pcm, alone.Format.SilenceByte()));
  size_t stray = 0;
  for (size_t i = lap; i < heard.Pcm.size() && stray == 0; ++i)
    if (heard.Pcm[i] != alone.Format.SilenceByte() && heard.Pcm[i] != heard.Pcm[i - lap]) stray = i;
  EXPECT_EQ(stray, 0u) << "byte " << stray << " is neither silence nor a replay of the lap before";
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
  const std::string usage = "Használat: vomrella --play [--device ESZKÖZ] FÁJL\n";
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
  EXPECT_EQ(r.Err, "vomrella: " + folder.File("nincs.wav") + ": nincs ilyen fájl\n");
  r = RunProgram(folder, {"--play", garbage}, env);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + garbage + ": a fájl nem játszható le\n");
  EXPECT_FALSE(FileExists(capture));
}

// --- --devices and --device -------------------------------------------------

TEST(CliDevices, TheOutputsAreListedAndTheOptionOrTheVariableChoosesOneNeverFallingBackInSilence) {
  TTempFolder folder;
  const std::string capture = folder.File("hallott.wav");
  // 44.1 kHz: the device buffer each pass plays out is short.
  const std::string clip = WriteClip(folder, "be", {TClipKind::PcmWav, 1, 44100, 0.2, 14});
  auto env = [&](const char* device) {
    std::map<std::string, std::string> e{{"VOMRELLA_AUDIO", "virtual:" + capture}};
    if (device) e["VOMRELLA_DEVICE"] = device;
    return e;
  };
  TResult r = RunProgram(folder, {"--devices"}, env(nullptr));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, " 0* Virtuális hangkimenet (alapértelmezett)\n 1  Virtuális hangkimenet 1\n");
  EXPECT_EQ(RunProgram(folder, {"--devices", "1"}, env(nullptr)).Status, 2);

  // By number, by a part of the name, by the variable; the option wins.
  for (const auto& [args, device] :
       {std::pair{std::vector<std::string>{"--play", "--device", "1", clip}, (const char*)nullptr},
        std::pair{std::vector<std::string>{"--play", "--device=MENET 1", clip}, (const char*)"nincs"},
        std::pair{std::vector<std::string>{"--play", clip}, (const char*)"1"}}) {
    r = RunProgram(folder, args, env(device));
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_TRUE(FileExists(capture));
    std::filesystem::remove(capture);
  }

  const std::string list = "A hangkimenetek listája: vomrella --devices\n";
  r = RunProgram(folder, {"--play", "--device", "USB", clip}, env(nullptr));
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "vomrella: Nincs ilyen nevű hangkimenet: „USB”.\n" + list);
  r = RunProgram(folder, {"--play", clip}, env("7"));
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "vomrella: Nincs ilyen számú hangkimenet: 7 (a választható számok: 0–1).\n" + list);
  r = RunProgram(folder, {"--play", "--device", "hangkimenet", clip}, env(nullptr));
  EXPECT_EQ(r.Status, 2);
  EXPECT_TRUE(r.Err.starts_with("vomrella: Több hangkimenet neve is illik erre: „hangkimenet”")) << r.Err;
  // Refused before the script is looked at.
  r = RunProgram(folder, {"--run", "--device", "USB", folder.File("nincs.vrs")}, env(nullptr));
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "vomrella: Nincs ilyen nevű hangkimenet: „USB”.\n" + list);
  EXPECT_FALSE(FileExists(capture));
  // The window refuses before it opens.
  r = RunProgram(folder, {"--device", "USB"}, {{"VOMRELLA_AUDIO", "virtual"}, {"QT_QPA_PLATFORM", "offscreen"}});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "vomrella: Nincs ilyen nevű hangkimenet: „USB”.\n" + list);
}

// Through PortAudio into the private sound server's two sinks: the outputs
// are listed by the names --device takes and the chosen one plays; when it
// goes under --play, the program ends with the output's own message and
// status 1 (no PortAudio trace lines), and the next --play says it falls
// back to the default output, which plays the clip.
TEST(CliDevices, OnARealSoundPathTheChosenSinkPlaysAndItsLossEndsThePlayAndTheNextFallsBack) {
  TPulseNullSink sink;
  ASSERT_TRUE(sink.Ready()) << sink.Error();
  TTempFolder folder;
  const TClipSpec spec{TClipKind::PcmWav, 1, 44100, 4.0, 16};
  const std::string clip = WriteClip(folder, "hosszu", spec);
  const std::vector<uint8_t> pcm = PcmClipData(spec);
  const std::map<std::string, std::string> portAudio{{"VOMRELLA_AUDIO", ""}, {"VOMRELLA_DEVICE", ""}};
  const std::vector<std::string> play{"--play", "--device", TPulseNullSink::AlsaDevice(1), clip};
  TResult r = RunProgram(folder, {"--devices"}, portAudio);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Out, " " + TPulseNullSink::AlsaDevice(1) + "\n")) << r.Out;

  std::thread player([&] { r = RunProgram(folder, play, portAudio); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (sink.Captured(1).size() < 88200 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::vector<uint8_t> heard = sink.Captured(1);
  const bool unloaded = sink.UnloadSink(1);
  player.join();
  ASSERT_TRUE(unloaded) << sink.ServerLog();
  EXPECT_NE(std::search(heard.begin(), heard.end(), pcm.begin(), pcm.begin() + 44100), heard.end())
      << "the chosen sink did not get the clip";
  EXPECT_TRUE(sink.Captured(0).empty()) << "the default sink played too";
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "vomrella: Megszakadt a lejátszás a hangkimeneten („vomrella_second”): ")) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "Expression '")) << r.Err;

  r = RunProgram(folder, play, portAudio);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(r.Err.starts_with("vomrella: A választott hangkimenet („vomrella_second”) nem nyitható meg: ")) << r.Err;
  const std::vector<uint8_t> fallback = sink.Captured(0);
  EXPECT_NE(std::search(fallback.begin(), fallback.end(), pcm.begin(), pcm.end()), fallback.end());
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
  EXPECT_EQ(r.Err, "Használat: vomrella --widget-gallery KIMENET.png\n");
  r = RunProgram(folder, {"--widget-gallery", folder.File("a.png"), folder.File("b.png")}, env);
  EXPECT_EQ(r.Status, 2);
  const std::string nowhere = folder.File("nincs-mappa/galeria.png");
  r = RunProgram(folder, {"--widget-gallery", nowhere}, env);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "vomrella: " + nowhere + ": a kép nem írható")) << r.Err;
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

  // With a run in progress the live page shows it: another picture.
  for (const char* seconds : {"x", "2.5"})
    EXPECT_EQ(RunProgram(folder, {"--window-shot", folder.File("air"), "--on-air", seconds},
                         {{"QT_QPA_PLATFORM", "offscreen"}}).Status, seconds[0] == 'x' ? 2 : 0);
  EXPECT_NE(ReadFileBytes(folder.File("air/page-2.png")), ReadFileBytes(folder.File("shots/page-2.png")));
}

// --- --run: a composition of a script through the window's chain ----------

namespace {

TEST(CliRun, PlaysTheCompositionWithItsPausesAsTheTestRunDoes) {
  TTempFolder folder;
  std::filesystem::create_directories(folder.File("Hangok"));
  // 44.1 kHz, so the device buffer the pass plays out at its end is short.
  const TClipSpec a{TClipKind::PcmWav, 1, 44100, 0.3, 121};
  const TClipSpec b{TClipKind::PcmWav, 1, 44100, 0.2, 122};
  TTempFolder scratch;
  for (const auto& [stem, spec] : {std::pair{"a", a}, std::pair{"b", b}})
    std::filesystem::copy_file(WriteClip(scratch, stem, spec), folder.File(std::string("Hangok/") + stem + ".wav"));
  {
    std::ofstream script(folder.File("proba.vrs"), std::ios::binary);
    script << "[Elso]\r\nb.wav|0\r\n[Masodik]\r\na.wav|250\r\nb.wav|0\r\n";
  }
  const std::string capture = folder.File("hallott.wav");
  const TResult r = RunProgram(folder, {"--run", folder.File("proba.vrs"), "2"},
                               {{"VOMRELLA_AUDIO", "virtual:" + capture}}, folder.Path());
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Masodik\n");
  const TDecoded heard = DecodeAlone(capture);
  ASSERT_TRUE(heard.Valid) << "no readable capture at " << capture;
  std::vector<uint8_t> expected = PcmClipData(a);
  expected.resize(expected.size() + 11025 * 2, 0);  // 250 ms at 44100 Hz mono
  const std::vector<uint8_t> second = PcmClipData(b);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_TRUE(IsStreamThenSilence(heard.Pcm, expected, 0));

  const TResult missing = RunProgram(folder, {"--run", folder.File("proba.vrs"), "3"}, {}, folder.Path());
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(RunProgram(folder, {"--run"}).Status, 2);
}

}  // namespace
