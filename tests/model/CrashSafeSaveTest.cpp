// Saves killed with SIGKILL at random points: the script on disk is always
// exactly the old or exactly the new one (and its backup the previous or the
// replaced one), and the next save removes what the killed one left behind.
// Also the rules of that clean-up: it takes only stale temporary files of the
// same target.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/AtomicFile.h"
#include "model/ScriptFormat.h"
#include "model/TCompositionStore.h"
#include "support/TTempFolder.h"

namespace fs = std::filesystem;

namespace {

// A script of most of a megabyte, different for each seed.
void FillLarge(TCompositionStore& store, int seed) {
  for (int c = 0; c < 300; ++c) {
    PGyElem composition = store.GyokerHozzaadas("Bemond\xE1s " + std::to_string(seed) + "/" + std::to_string(c));
    for (int i = 0; i < 80; ++i)
      store.ElemHozzaadas(composition, "Hangok\\" + std::to_string(seed * 7 + i) + "_hir\xE9s.wav", i, i * seed);
  }
}

// Steps of a save, counted through the system calls it makes; a child
// process kills itself with SIGKILL right before or right after step gKillAt.
int gStep = 0;
int gKillAt = -1;
void Step() {
  if (++gStep == gKillAt) ::raise(SIGKILL);
}
ssize_t SteppedWrite(int fd, const void* data, size_t size) {
  Step();
  const ssize_t n = ::write(fd, data, std::min<size_t>(size, 32 * 1024));  // many steps for a large file
  Step();
  return n;
}
int SteppedFsync(int fd) {
  Step();
  const int rc = ::fsync(fd);
  Step();
  return rc;
}
int SteppedClose(int fd) {
  Step();
  const int rc = ::close(fd);
  Step();
  return rc;
}
int SteppedRename(const char* from, const char* to) {
  Step();
  const int rc = ::rename(from, to);
  Step();
  return rc;
}
const TSaveSystemCalls kStepped{&SteppedWrite, &SteppedFsync, &SteppedClose, &SteppedRename};

// Runs `save` in a child process; returns true when the child was killed.
template <typename F>
bool RunChild(F save, int killAfterMicroseconds) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      save();
    } catch (...) {
      ::_exit(2);
    }
    ::_exit(0);
  }
  EXPECT_GT(pid, 0);
  if (killAfterMicroseconds >= 0) {
    ::usleep(useconds_t(killAfterMicroseconds));
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save failed in the child";
  }
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace

TEST(CrashSafeSave, AKilledSaveLeavesTheOldOrTheNewScriptAndTheNextSaveCleansUp) {
  TTempFolder folder;
  const fs::path target = folder / "musor.vrs";
  TCompositionStore oldStore, newStore;
  FillLarge(oldStore, 1);
  FillLarge(newStore, 2);
  const std::string oldText = ScriptText(oldStore), newText = ScriptText(newStore);
  ASSERT_GT(oldText.size(), 512u * 1024);  // saves take many write calls
  ASSERT_NE(oldText, newText);
  SaveScript(oldStore, target);

  // How many steps a whole save takes, and about how long it runs, so the
  // kills spread over all of it.
  gStep = 0;
  gKillAt = -1;
  const auto start = std::chrono::steady_clock::now();
  SaveFileAtomically(folder / "probe.vrs", newText, kStepped);
  const int steps = gStep;
  fs::remove(folder / "probe.vrs");
  const int micros = int(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
  ASSERT_GT(steps, 20);

  std::mt19937 rng(20261215);
  int keptOld = 0, tookNew = 0, leftovers = 0;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool stepped = round % 2 == 0;
    bool killed = false;
    int killAt = 0;
    if (stepped) {
      // Killed right before or after one of the save's system calls.
      killAt = 1 + int(rng() % unsigned(steps));
      killed = RunChild([&] {
        gStep = 0;
        gKillAt = killAt;
        SaveFileAtomically(target, newText, kStepped);
      }, -1);
      ASSERT_TRUE(killed);
    } else {
      // Killed from outside at any moment of SaveScript, text building included.
      killed = RunChild([&] { SaveScript(newStore, target); }, int(rng() % unsigned(micros * 3 + 1)));
    }

    const std::string now = ReadBytes(target);
    ASSERT_TRUE(now == oldText || now == newText) << "torn file of " << now.size() << " bytes";
    if (stepped) {
      // The rename is the last two steps but the folder's fsync: before it the old script stands.
      const bool renamed = killAt > steps - 3;
      EXPECT_EQ(now == newText, renamed) << "killed at step " << killAt << " of " << steps;
    }
    (now == oldText ? keptOld : tookNew)++;
    if (folder.Entries().size() > 1) ++leftovers;

    // The next save: back to the old script, and nothing else in the folder.
    SaveScript(oldStore, target);
    ASSERT_EQ(folder.Entries(), std::vector<std::string>{"musor.vrs"});
    ASSERT_EQ(ReadBytes(target), oldText);
  }
  std::printf("kept the old script %d times, took the new one %d times, %d killed saves left a temporary file\n",
              keptOld, tookNew, leftovers);
  // The stepped kills alone make sure both outcomes and leftovers occur.
  EXPECT_GT(keptOld, 0);
  EXPECT_GT(tookNew, 0);
  EXPECT_GT(leftovers, 0);
}

TEST(CrashSafeSave, CleanUpTakesOnlyUnlockedTemporaryFilesOfTheSameTarget) {
  TTempFolder folder;
  const fs::path target = folder / "s.vrs";
  WriteBytes(target, "old");
  const std::vector<std::string> kept = {
      ".s.vrs.Busy01",    // a save still running holds its lock
      ".s.vrs.tmp",       // not six characters
      ".s.vrs.ab-def",    // not mkstemp's characters
      ".t.vrs.Stale1",    // another target's
      "s.vrs.Stale2",     // not hidden
  };
  for (const std::string& name : kept) WriteBytes(folder / name, "x");
  WriteBytes(folder / ".s.vrs.Stale3", "left by a killed save");
  ASSERT_EQ(::symlink("s.vrs", (folder / ".s.vrs.Link04").c_str()), 0);  // a link is never followed nor removed
  fs::create_directory(folder / ".s.vrs.Dir005");
  const int busy = ::open((folder / ".s.vrs.Busy01").c_str(), O_RDONLY);
  ASSERT_GE(busy, 0);
  ASSERT_EQ(::flock(busy, LOCK_EX), 0);

  SaveFileAtomically(target, "new");
  ::close(busy);
  std::vector<std::string> expected = kept;
  expected.insert(expected.end(), {".s.vrs.Dir005", ".s.vrs.Link04", "s.vrs"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Entries(), expected);
  EXPECT_EQ(ReadBytes(target), "new");
}

TEST(CrashSafeSave, AKilledSaveThatKeepsABackupLeavesWholeScriptsAndWholeBackups) {
  TTempFolder folder;
  const fs::path target = folder / "musor.vrs";
  const fs::path backup = folder / "musor.vrs.bak";
  TCompositionStore olderStore, oldStore, newStore;
  FillLarge(olderStore, 3);
  FillLarge(oldStore, 1);
  FillLarge(newStore, 2);
  const std::string olderText = ScriptText(olderStore), oldText = ScriptText(oldStore),
                    newText = ScriptText(newStore);
  auto restore = [&] {
    SaveFileAtomically(target, oldText);
    SaveFileAtomically(backup, olderText);
  };
  TAtomicFileOptions stepped;
  stepped.Calls = kStepped;
  stepped.KeepBackup = true;
  restore();
  gStep = 0;
  gKillAt = -1;
  SaveFileAtomically(target, newText, stepped);
  ASSERT_EQ(ReadBytes(backup), oldText);
  const int steps = gStep;

  std::mt19937 rng(20261216);
  int keptOld = 0, backedUpOnly = 0, tookNew = 0;
  for (int round = 0; round < 80; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    restore();
    const int killAt = 1 + int(rng() % unsigned(steps));
    ASSERT_TRUE(RunChild([&] {
      gStep = 0;
      gKillAt = killAt;
      SaveFileAtomically(target, newText, stepped);
    }, -1));
    const std::string now = ReadBytes(target), kept = ReadBytes(backup);
    ASSERT_TRUE(now == oldText || now == newText) << "torn script of " << now.size() << " bytes";
    ASSERT_TRUE(kept == olderText || kept == oldText) << "torn backup of " << kept.size() << " bytes";
    // The backup is in place before the script is replaced.
    if (now == newText) {
      ASSERT_EQ(kept, oldText) << "killed at step " << killAt;
    }
    (now == newText ? tookNew : kept == oldText ? backedUpOnly : keptOld)++;
    // The next save removes what the killed one left.
    restore();
    ASSERT_EQ(folder.Entries(), (std::vector<std::string>{"musor.vrs", "musor.vrs.bak"}));
  }
  EXPECT_GT(keptOld, 0);
  EXPECT_GT(backedUpOnly, 0);
  EXPECT_GT(tookNew, 0);
}
