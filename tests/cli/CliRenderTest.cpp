// "vomrella --render" run as a user runs it: the WAV it writes against what
// the window's test run of the same composition plays on the virtual device
// (the script loaded as the window loads it, the chain from the window's
// builder, the window's output settings), and its refusals.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "model/TCompositionStore.h"
#include "show/ScriptLoader.h"
#include "show/TTestRunChain.h"

namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& Path, const std::string& Text) {
  WriteFileBytes(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
}

// Runs the program in Folder with its address space and file size limited,
// as RunProgram does otherwise.
TResult RunLimited(const TTempFolder& Folder, const std::vector<std::string>& Args, rlim_t AddressSpace,
                   rlim_t FileSize) {
  std::vector<std::string> store{VOMRELLA_PROGRAM};
  store.insert(store.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = Folder.File("stdout.txt"), err = Folder.File("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit as{AddressSpace, AddressSpace}, fsize{FileSize, FileSize};
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(Folder.Path().c_str()) != 0 ||
        (AddressSpace != RLIM_INFINITY && setrlimit(RLIMIT_AS, &as) != 0) || setrlimit(RLIMIT_FSIZE, &fsize) != 0)
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  TResult result;
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.Out = ReadText(out);
  result.Err = ReadText(err);
  return result;
}

// Runs with the process in Folder, as the window runs in its current folder.
class TInFolder {
 public:
  explicit TInFolder(const std::string& Folder) : Before(fs::current_path()) { fs::current_path(Folder); }
  ~TInFolder() { fs::current_path(Before); }

 private:
  fs::path Before;
};

class CliRender : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Folder.File("Hangok"));
    WriteClip(Folder, "Hangok/elso", {TClipKind::PcmWav, 2, 44100, 0.6, 21});
    WriteClip(Folder, "Hangok/hir", {TClipKind::Mp3, 2, 44100, 0.7, 22});
    // Another format: converted to the first clip's by the list.
    fs::rename(WriteClip(Folder, "Hangok/z", {TClipKind::ImaAdpcmWav, 1, 22050, 0.5, 23}),
               Folder.File("Hangok/ZENE.WAV"));
    WriteText(Script, std::string("[Reggeli bejelent\xe9s]\r\n"
                                  "elso.wav|300\r\n"
                                  "hir.mp3|0\r\n"
                                  "zene.wav|40\r\n"  // found through the letter-case fallback
                                  "nincs.wav|120\r\n"
                                  "elso.wav|0\r\n"
                                  "[Este]\r\n"
                                  "hir.mp3|500\r\n"
                                  "[\xdcres]\r\n"));
  }

  TResult Render(const std::vector<std::string>& Args) {
    std::vector<std::string> args{"--render", Script};
    args.insert(args.end(), Args.begin(), Args.end());
    return RunProgram(Folder, args, {}, Folder.Path());
  }

  // What the window's test run of composition Index plays on the virtual device.
  std::vector<uint8_t> WindowTestRun(int Index, std::vector<TRunClip>* Clips = nullptr) {
    TInFolder in(Folder.Path());
    TCompositionStore store;
    TComponentPtr<TWaveIn> wav = MakeComponent<TWaveIn>();
    TComponentPtr<TMP3In> media = MakeComponent<TMP3In>();
    EXPECT_EQ(LoadScriptIntoStore(Script, store, *wav, *media).Status, TScriptLoadResult::Loaded);
    const PGyElem composition = store.GyokerKeres(Index);
    EXPECT_TRUE(composition && composition != store.Gyoker());
    if (!composition || composition == store.Gyoker()) return {};
    const std::vector<TRunClip> clips = RunClipsFrom(composition->Elemek->Kov);
    if (Clips) *Clips = clips;
    TTestRun run(clips);
    TChainRig rig;
    EXPECT_TRUE(rig.Play(run.List()));
    rig.Out.reset();
    return rig.Heard();
  }

  TTempFolder Folder;
  const std::string Script = Folder.File("musor.vrs");
  const std::string Out = Folder.File("ki.wav");
};

TEST_F(CliRender, WritesExactlyWhatTheWindowsTestRunPlaysOnTheVirtualDevice) {
  const TResult r = Render({"--composition", "1", "-o", Out});
  ASSERT_EQ(r.Status, 0) << r.Err;
  // The missing clip is dropped by the load, as in the window, and said so.
  EXPECT_EQ(r.Err, "vomrella: figyelem: a betöltés 1 sort kihagyott (részletek: vomrella --check " + Script + ")\n");
  EXPECT_TRUE(r.Out.starts_with("[Reggeli bejelentés] -> " + Out + ": ")) << r.Out;
  EXPECT_TRUE(r.Out.ends_with(" mp, 44100 Hz, 2 csatorna, 16 bit\n")) << r.Out;

  std::vector<TRunClip> clips;
  const std::vector<uint8_t> window = WindowTestRun(0, &clips);
  ASSERT_EQ(clips.size(), 4u);
  const TDecoded rendered = DecodeAlone(Out);
  ASSERT_TRUE(rendered.Valid);
  EXPECT_EQ(rendered.Format, (TPcmFormat{16, 2, 44100}));
  EXPECT_EQ(rendered.Pcm.size(), window.size());
  EXPECT_TRUE(rendered.Pcm == window);
  // And that is the announcement itself, then the drain's silence.
  EXPECT_TRUE(IsStreamThenSilence(rendered.Pcm, ExpectedStream(clips).Bytes(), 0));

  // The same composition chosen by name gives the same file.
  const std::string byName = Folder.File("nevvel.wav");
  const TResult named = Render({"--name", "Reggeli bejelentés", "-o", byName});
  ASSERT_EQ(named.Status, 0) << named.Err;
  EXPECT_TRUE(ReadFileBytes(byName) == ReadFileBytes(Out));
}

TEST_F(CliRender, AnMp3CompositionWithAPauseMatchesTheWindowToo) {
  const TResult r = Render({"-o", Out, "--name", "Este"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "vomrella: figyelem: a betöltés 1 sort kihagyott (részletek: vomrella --check " + Script + ")\n");
  const TDecoded rendered = DecodeAlone(Out);
  ASSERT_TRUE(rendered.Valid);
  EXPECT_TRUE(rendered.Pcm == WindowTestRun(1));
}

// The usual forms of options: "--name=X", "--output F", "-oFILE", and "--"
// before a script whose name starts with "-"; an option given twice is a
// usage error.
TEST_F(CliRender, TheUsualOptionFormsChooseTheSameComposition) {
  ASSERT_EQ(Render({"--name", "Este", "-o", Out}).Status, 0);
  const std::vector<uint8_t> expected = ReadFileBytes(Out);
  const std::string dashed = Folder.File("-musor.vrs");
  fs::copy_file(Script, dashed);
  const std::vector<std::vector<std::string>> forms{
      {"--render", Script, "--name=Este", "--output", Folder.File("a.wav")},
      {"--render", "-o" + Folder.File("b.wav"), "--composition=2", Script},
      {"--render", "--output=" + Folder.File("c.wav"), "--composition", "2", "--", "-musor.vrs"}};
  for (size_t i = 0; i < forms.size(); ++i) {
    const TResult r = RunProgram(Folder, forms[i], {}, Folder.Path());
    ASSERT_EQ(r.Status, 0) << i << r.Err;
    EXPECT_TRUE(ReadFileBytes(Folder.File(std::string(1, char('a' + i)) + ".wav")) == expected) << i;
  }
  EXPECT_EQ(RunProgram(Folder, {"--render", "-musor.vrs", "--name=Este", "-o", Out}, {}, Folder.Path()).Status, 2);
  EXPECT_EQ(Render({"--name=Este", "-o", Out, "--output", Out}).Status, 2);
}

TEST_F(CliRender, MissingCompositionsAndUnwritableOutputsFailWithoutLeavingAFile) {
  const std::string names = "ezek vannak: 1. [Reggeli bejelentés], 2. [Este], 3. [Üres]\n";
  TResult r = Render({"--composition", "4", "-o", Out});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + Script + ": nincs 4. összeállítás; " + names);
  r = Render({"--name", "reggeli bejelentés", "-o", Out});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + Script + ": nincs [reggeli bejelentés] összeállítás; " + names);
  r = Render({"--name", "Üres", "-o", Out});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: [Üres]: az összeállításban nincs lejátszható elem\n");

  const std::string nowhere = Folder.File("nincs-mappa/ki.wav");
  r = Render({"--composition", "1", "-o", nowhere});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + nowhere + ": a mappa nem létezik: " + Folder.File("nincs-mappa") + "\n");
  r = Render({"--composition", "1", "-o", Folder.File("Hangok")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: " + Folder.File("Hangok") + ": ez egy mappa, nem írható fájlként\n");
  if (geteuid() != 0) {  // root writes whatever the mode
    const std::string locked = Folder.File("zart");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    r = Render({"--composition", "1", "-o", locked + "/ki.wav"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "a mappa nem írható")) << r.Err;
  }
  const TResult missing = RunProgram(Folder, {"--render", Folder.File("nincs.vrs"), "--composition", "1", "-o", Out});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_TRUE(Contains(missing.Err, "nincs.vrs: nincs ilyen fájl")) << missing.Err;

  // A pause of 2^31-1 ms (24 days, 370 GB here) streams into the file until
  // the file-size limit stops it, in far less memory than it has written;
  // kept whole it would exhaust the address space first.
  const std::string endless = Folder.File("vegtelen.vrs");
  WriteText(endless, "[V\xe9gtelen]\r\nelso.wav|2147483647\r\n");
#ifdef VOMRELLA_SANITIZED
  const rlim_t addressSpace = RLIM_INFINITY;  // the sanitizers reserve terabytes
#else
  const rlim_t addressSpace = rlim_t(1) << 30;  // about 400 MB mapped at the start
#endif
  r = RunLimited(Folder, {"--render", endless, "--composition", "1", "-o", Out}, addressSpace, rlim_t(48) << 20);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "vomrella: [Végtelen]: a hangfájl nem készült el: " + Out + ": nem írható (File too large)\n");

  for (const fs::directory_entry& entry : fs::directory_iterator(Folder.Path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with("ki.wav")) << entry.path();
}

TEST_F(CliRender, WrongArgumentsAreUsageErrors) {
  const std::string usage = "Használat: vomrella --render SCRIPT (--composition N | --name NÉV) -o KIMENET.wav\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--composition", "1"}, {"-o", Out}, {"--composition", "0", "-o", Out},
        {"--composition", "1x", "-o", Out}, {"--composition", "1", "--name", "Este", "-o", Out},
        {"--composition", "1", "-o"}, {"--composition", "1", "-o", Out, "masik.vrs"}}) {
    const TResult r = Render(args);
    EXPECT_EQ(r.Status, 2) << args.size();
    EXPECT_EQ(r.Err, usage);
  }
  EXPECT_FALSE(FileExists(Out));
}

}  // namespace
