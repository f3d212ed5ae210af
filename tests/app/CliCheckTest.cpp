// "vomrella --check" run as a user runs it, in a folder whose Hangok holds
// found, missing, unreadable, case-mismatched and upper-case-extension clips;
// and the bad-input handling every script and clip command shares.

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> kCLocale{{"LC_ALL", "C"}, {"LANG", "C"}};

void WriteText(const std::string& Path, const std::string& Text) {
  WriteFileBytes(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
}

// A show folder: Hangok with the clips, and the script "musor.vrs" (CR LF,
// Windows-1250) naming them and some that are not there.
class CliCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Folder.File("Hangok/mappa.wav"));
    fs::rename(WriteClip(Folder, "Hangok/jo", {TClipKind::PcmWav, 1, 8000, 1.0, 1}), Folder.File("Hangok/jo.wav"));
    fs::rename(WriteClip(Folder, "Hangok/g", {TClipKind::PcmWav, 2, 22050, 1.0, 2}), Folder.File("Hangok/GONG.WAV"));
    fs::rename(WriteClip(Folder, "Hangok/z", {TClipKind::ImaAdpcmWav, 1, 22050, 2.0, 3}),
               Folder.File("Hangok/ZENE.WAV"));
    WriteClip(Folder, "Hangok/be", {TClipKind::Mp3, 1, 44100, 1.0, 4});
    WriteFileBytes(Folder.File("Hangok/szemet.wav"), std::vector<uint8_t>(3000, 0x3C));
    WriteText(Script, std::string("elotte.wav|100\r\n"        // 1: before any header
                                  "[Reggeli bejelent\xe9s]\r\n"  // 2
                                  "jo.wav|500\r\n"            // 3
                                  "gong.wav|250\r\n"          // 4: only GONG.WAV exists
                                  "nincs.wav|100\r\n"         // 5: missing
                                  "szemet.wav|0\r\n"          // 6: not a WAV
                                  "ZENE.WAV|1000\r\n"         // 7: upper-case extension, ADPCM
                                  "be.mp3|0\r\n"              // 8
                                  "[\xdcres]\r\n"             // 9
                                  "[Este]\r\n"                // 10
                                  "mappa.wav|0\r\n"           // 11: a folder
                                  "jo.wav|-5\r\n"             // 12
                                  "|300\r\n"));               // 13: no file name
  }

  TResult Check(const std::vector<std::string>& Extra = {}) {
    std::vector<std::string> args{"--check", Script};
    args.insert(args.end(), Extra.begin(), Extra.end());
    return RunProgram(Folder, args, kCLocale, Folder.Path());
  }

  TTempFolder Folder;
  const std::string Script = Folder.File("musor.vrs");
};

TEST_F(CliCheck, ReportsEveryLineWithItsClipReaderLengthAndPauseAndExitsOneForDroppedLines) {
  const TResult r = Check();
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_EQ(r.Err, "");
  const std::vector<std::string> lines{
      "Script: " + Script + "\nHangmappa: " + Folder.File("Hangok") + "\n",
      "\nKIMARAD (1. sor): \"elotte.wav|100\": összeállítás előtti sor, a betöltés figyelmen kívül hagyja\n",
      "\n1. [Reggeli bejelentés] (2. sor)\n",
      "  1. jo.wav: megvan: Hangok/jo.wav, WAV-olvasó (pcm), 1 mp, szünet: 500 ms\n",
      "  2. gong.wav: megvan kis- és nagybetű eltéréssel: Hangok/GONG.WAV, WAV-olvasó (pcm), 1 mp, szünet: 250 ms\n",
      "  -  nincs.wav (5. sor): KIMARAD: nem található: Hangok/nincs.wav\n",
      "  -  szemet.wav (6. sor): KIMARAD: a WAV-olvasó nem tudja olvasni (unsupported): Hangok/szemet.wav\n",
      "  3. ZENE.WAV: megvan: Hangok/ZENE.WAV, WAV-olvasó (ima-adpcm), 2 mp, szünet: 1000 ms\n",
      "  4. be.mp3: megvan: Hangok/be.mp3, médiaolvasó (media), 1 mp, szünet: 0 ms\n",
      // 1 + 0.5 + 1 + 0.25 + 2 + 1 + 1 + 0: the dropped lines do not count.
      "  Hossz: 6.75\n",
      "\n2. [Üres] (9. sor)\n  (üres)\n  Hossz: 0\n",
      "\n3. [Este] (10. sor)\n",
      "  -  mappa.wav (11. sor): KIMARAD: mappa, nem fájl: Hangok/mappa.wav\n",
      "  1. jo.wav: megvan: Hangok/jo.wav, WAV-olvasó (pcm), 1 mp, szünet: -5 ms\n",
      "  -   (13. sor): KIMARAD: üres fájlnév: Hangok/\n  Hossz: 0.995\n",
      "\nÖsszesen: 3 összeállítás, 5 elem rendben, 5 sor kimarad.\n"};
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = r.Out.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order:\n" << line << "\nin:\n" << r.Out;
    at = found + line.size();
  }
  EXPECT_EQ(at, r.Out.size()) << r.Out;
}

TEST_F(CliCheck, JsonGivesTheSameFacts) {
  const TResult r = Check({"--json"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  for (const std::string part :
       {"\"ok\": false", "\"itemsKept\": 5", "\"linesDropped\": 5", "{\"line\": 1, \"text\": \"elotte.wav|100\"}",
        "\"name\": \"Reggeli bejelentés\", \"totalSeconds\": 6.75, \"totalText\": \"6.75\"",
        "{\"line\": 4, \"file\": \"gong.wav\", \"path\": \"Hangok/GONG.WAV\", \"found\": \"case-insensitive\", "
        "\"reader\": \"wav\", \"kind\": \"pcm\", \"pauseMs\": 250, \"kept\": true, \"number\": 2, \"seconds\": 1}",
        "{\"line\": 5, \"file\": \"nincs.wav\", \"path\": \"Hangok/nincs.wav\", \"found\": \"missing\", "
        "\"reader\": \"wav\", \"pauseMs\": 100, \"kept\": false, \"reason\": \"nem található\"}",
        "\"file\": \"be.mp3\", \"path\": \"Hangok/be.mp3\", \"found\": \"exact\", \"reader\": \"media\"",
        "\"name\": \"Üres\", \"totalSeconds\": 0, \"totalText\": \"0\", \"items\": []"})
    EXPECT_TRUE(Contains(r.Out, part)) << part << "\nin:\n" << r.Out;
  EXPECT_EQ(r.Out.front(), '{');
  EXPECT_EQ(r.Out.substr(r.Out.size() - 2), "}\n");
}

TEST_F(CliCheck, AScriptWhoseLinesAllLoadExitsZeroAndTheTotalFollowsTheDecimalSeparator) {
  WriteText(Script, "[Rendben]\r\njo.wav|500\r\nGONG.WAV|250\r\n");
  TResult r = Check();
  EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
  EXPECT_TRUE(Contains(r.Out, "  Hossz: 2.75\n")) << r.Out;
  EXPECT_TRUE(r.Out.ends_with("Összesen: 1 összeállítás, 2 elem rendben, 0 sor kimarad.\nMinden elem rendben.\n"))
      << r.Out;
  r = Check({"--json"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_TRUE(Contains(r.Out, "\"ok\": true")) << r.Out;
  // Clips are looked up under the current folder, not the script's.
  const TResult elsewhere = RunProgram(Folder, {"--check", Script}, kCLocale, "/");
  EXPECT_EQ(elsewhere.Status, 1);
  EXPECT_TRUE(Contains(elsewhere.Out, "Hangmappa: /Hangok\n")) << elsewhere.Out;
  EXPECT_TRUE(Contains(elsewhere.Out, "KIMARAD: nem található: Hangok/jo.wav")) << elsewhere.Out;
}

// Everything the program writes to a terminal (stdout and stderr alike) while
// running Args in Folder; its exit status in *Status.
std::string RunOnTerminal(const std::string& Folder, const std::vector<std::string>& Args, int* Status) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    std::vector<std::string> store{VOMRELLA_PROGRAM};
    store.insert(store.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (chdir(Folder.c_str()) == 0) execv(argv[0], argv.data());
    _exit(127);
  }
  std::string text;
  if (pid < 0) return text;
  char block[4096];
  for (;;) {
    const ssize_t n = read(master, block, sizeof block);
    if (n > 0) {
      text.append(block, size_t(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  close(master);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  *Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return text;
}

TEST_F(CliCheck, ProgressIsShownOnATerminalAndClearedBeforeTheReport) {
  int status = -1;
  const std::string seen = RunOnTerminal(Folder.Path(), {"--check", Script}, &status);
  EXPECT_EQ(status, 1);
  const size_t progress = seen.find("\rEllenőrzés: ");
  const size_t cleared = seen.find("\r\033[K");
  const size_t report = seen.find("Script: ");
  ASSERT_NE(progress, std::string::npos) << seen;
  ASSERT_NE(cleared, std::string::npos) << seen;
  EXPECT_LT(progress, cleared);
  EXPECT_LT(cleared, report);
  // Not on a file: the other tests see an empty stderr.
  EXPECT_EQ(Check().Err, "");
}

// --- Bad input ---------------------------------------------------------------

TEST(CliBadInput, ScriptCommandsNameTheFileAndTheProblemInOneLine) {
  TTempFolder folder;
  const std::string empty = folder.File("ures.vrs");
  const std::string binary = folder.File("bin.vrs");
  WriteText(empty, "");
  WriteFileBytes(binary, {'[', 'a', ']', 0, 1, 2, 0xFF, '|', '5'});
  struct TCase {
    std::string Path;
    std::string Problem;
  };
  const std::string utf16 = folder.File("utf16.vrs");
  WriteFileBytes(utf16, {0xFF, 0xFE, '[', 0, 'a', 0, ']', 0});
  const std::vector<TCase> cases{{folder.File("nincs.vrs"), "nincs.vrs: nincs ilyen fájl"},
                                 {folder.Path(), ": ez egy mappa, nem fájl"},
                                 {utf16, "utf16.vrs: UTF-16 kódolású szöveg"},
                                 {empty, "ures.vrs: a script üres"},
                                 {binary, "bin.vrs: nem szöveges fájl (bináris adat), nem script"}};
  const std::string out = folder.File("ki.wav");
  for (const char* command : {"--check", "--list", "--run", "--render"}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(command) + " " + c.Path);
      std::vector<std::string> args{command, c.Path};
      if (args[0] == "--render") args.insert(args.end(), {"--composition", "1", "-o", out});
      const TResult r = RunProgram(folder, args, {{"VOMRELLA_AUDIO", "virtual"}});
      EXPECT_EQ(r.Status, 1);
      EXPECT_TRUE(Contains(r.Err, c.Problem)) << r.Err;
      EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
      EXPECT_EQ(r.Out, "");
    }
  }
  if (geteuid() != 0) {  // root reads files whatever their mode
    const std::string locked = folder.File("zart.vrs");
    WriteText(locked, "[a]\r\n");
    chmod(locked.c_str(), 0);
    const TResult r = RunProgram(folder, {"--check", locked});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "Permission denied")) << r.Err;
  }
  EXPECT_FALSE(FileExists(out));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--check"}, {"--check", empty, empty}, {"--check", "--xml", empty}}) {
    const TResult r = RunProgram(folder, args);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, "Használat: vomrella --check SCRIPT [--json]\n");
  }
}

TEST(CliBadInput, ClipCommandsRefuseFoldersAndEmptyFilesWithoutCrashing) {
  TTempFolder folder;
  const std::string empty = folder.File("ures.wav");
  WriteText(empty, "");
  const std::string out = folder.File("ki.wav");
  const std::map<std::string, std::string> env{{"VOMRELLA_AUDIO", "virtual:" + folder.File("hallott.wav")}};
  for (const auto& [path, problem] :
       std::vector<std::pair<std::string, std::string>>{{folder.Path(), "ez egy mappa, nem fájl"}, {empty, "a fájl üres"}}) {
    SCOPED_TRACE(path);
    TResult r = RunProgram(folder, {"--probe", path});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, path + ": " + problem + "\n");
    r = RunProgram(folder, {"--decode", path, "-o", out});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, path + ": " + problem + "\n");
    r = RunProgram(folder, {"--play", path}, env);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "vomrella: " + path + ": " + problem + "\n");
  }
  EXPECT_FALSE(FileExists(out));
  EXPECT_FALSE(FileExists(folder.File("hallott.wav")));
  // An output that is a folder is refused before anything is decoded.
  const std::string clip = WriteClip(folder, "be", {TClipKind::PcmWav, 1, 8000, 0.2, 5});
  const TResult r = RunProgram(folder, {"--decode", clip, "-o", folder.Path()});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, folder.Path() + ": ez egy mappa, nem írható fájlként\n");
}

}  // namespace
