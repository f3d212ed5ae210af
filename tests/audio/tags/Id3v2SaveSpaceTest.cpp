// Saving an ID3v2 tag when the file cannot grow: the writer must fail cleanly
// and leave the file as it was. Each case runs in a child process because the
// failure this guards against is a SIGBUS from writing into unreserved pages
// of a shared mapping.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "audio/tags/TagTestFile.h"
#include "audio/tags/TId3v2Tags.h"
#include "support/TTempFolder.h"

namespace {

using ByteVec = std::vector<unsigned char>;

// Outcomes reported by a child through its exit code.
enum ChildResult : int {
  kCleanFailure = 0,
  kReportedSuccess = 1,
  kFileChanged = 2,
  kSetupFailed = 3,
  kSkipped = 77,
};

struct ChildStatus {
  bool signaled = false;
  int signal = 0;
  int code = -1;
};

ChildStatus RunInChild(const std::function<int()>& body) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  ChildStatus status;
  if (pid < 0) return status;
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(raw)) {
    status.signaled = true;
    status.signal = WTERMSIG(raw);
  } else if (WIFEXITED(raw)) {
    status.code = WEXITSTATUS(raw);
  }
  return status;
}

ByteVec Audio(size_t n) {
  ByteVec audio(n);
  for (size_t i = 0; i < n; ++i) audio[i] = uint8_t(i * 13 + 5);
  return audio;
}

// Saves a tag of a few hundred bytes into fd and checks the file still holds
// exactly `original`.
int SaveExpectingFailure(int fd, const std::function<ByteVec()>& contents, const ByteVec& original) {
  TId3v2Tags tags;
  tags.SetTitle(std::wstring(300, L'T'));
  tags.SetArtist(L"Artist");
  if (tags.SaveToHandle(fd, true)) return kReportedSuccess;
  return contents() == original ? kCleanFailure : kFileChanged;
}

void ExpectCleanFailure(const ChildStatus& status) {
  ASSERT_FALSE(status.signaled) << "save was killed by signal " << status.signal;
  if (status.code == kSkipped) GTEST_SKIP() << "no private tmpfs mount available";
  EXPECT_NE(status.code, kReportedSuccess) << "save reported success although the file could not grow";
  EXPECT_NE(status.code, kFileChanged) << "the failed save changed the file";
  EXPECT_NE(status.code, kSetupFailed);
  EXPECT_EQ(status.code, kCleanFailure);
}

TEST(Id3v2TagsSaveSpace, FailsCleanlyWhenTheFileSizeLimitForbidsGrowing) {
  ByteVec audio = Audio(3000);
  TagTestFile file(audio);
  ExpectCleanFailure(RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{rlim_t(audio.size() + 64), rlim_t(audio.size() + 64)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return int(kSetupFailed);
    return SaveExpectingFailure(file.fd(), [&] { return file.Contents(); }, audio);
  }));
  EXPECT_EQ(file.Contents(), audio);
}

// Runs body in a tiny tmpfs mounted in a private mount namespace (of the
// child this runs in), which stands in for a nearly full disk.
int InSmallFileSystem(const std::function<int(const std::string& dir)>& body) {
  if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return kSkipped;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kSkipped;
  std::optional<TTempFolder> folder;
  try {
    folder.emplace();
  } catch (const std::exception&) {
    return kSetupFailed;
  }
  const std::string& dir = folder->Path();
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) return kSkipped;
  const int result = body(dir);
  umount2(dir.c_str(), MNT_DETACH);
  return result;
}

// Writes pages to path until the file system is full, then gives back
// freePages of them; returns what the file holds.
ByteVec FillWithPages(const std::string& path, size_t freePages = 0) {
  ByteVec written;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return written;
  const ByteVec page = Audio(4096);
  while (write(fd, page.data(), page.size()) == ssize_t(page.size()))
    written.insert(written.end(), page.begin(), page.end());
  written.resize(written.size() - std::min(written.size(), freePages * page.size()));
  (void)!ftruncate(fd, off_t(written.size()));
  close(fd);
  return written;
}

ByteVec ReadBack(int fd) {
  ByteVec out(1 << 17);
  ssize_t n = pread(fd, out.data(), out.size(), 0);
  out.resize(n < 0 ? 0 : size_t(n));
  return out;
}

TEST(Id3v2TagsSaveSpace, FailsCleanlyOnAFullFileSystem) {
  ExpectCleanFailure(RunInChild([] {
    return InSmallFileSystem([](const std::string& dir) {
      const std::string path = dir + "/audio";
      ByteVec audio = FillWithPages(path);
      if (audio.size() < 4096) return int(kSetupFailed);
      // The last page stays partly used, so growing needs a page that is not there.
      audio.resize(audio.size() - 100);
      int fd = open(path.c_str(), O_RDWR);
      if (fd < 0 || ftruncate(fd, off_t(audio.size())) != 0) return int(kSetupFailed);
      const int result = SaveExpectingFailure(fd, [fd] { return ReadBack(fd); }, audio);
      close(fd);
      return result;
    });
  }));
}

TEST(Id3v2TagsSaveSpace, FailsCleanlyWhenTheHolesOfASparseFileCannotBeFilled) {
  // One free page is room enough for the tag, but moving the content up
  // writes into the file's holes as well, and those need pages too.
  ExpectCleanFailure(RunInChild([] {
    return InSmallFileSystem([](const std::string& dir) {
      const std::string path = dir + "/sparse";
      int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
      if (fd < 0) return int(kSetupFailed);
      ByteVec audio(32768, 0);
      const ByteVec head = Audio(1000);
      std::copy(head.begin(), head.end(), audio.begin());
      if (pwrite(fd, head.data(), head.size(), 0) != ssize_t(head.size())) return int(kSetupFailed);
      if (ftruncate(fd, off_t(audio.size())) != 0) return int(kSetupFailed);
      if (FillWithPages(dir + "/filler", 1).empty()) return int(kSetupFailed);
      const int result = SaveExpectingFailure(fd, [fd] { return ReadBack(fd); }, audio);
      close(fd);
      return result;
    });
  }));
}

TEST(Id3v2TagsSaveSpace, SavesNormallyWhenTheLimitLeavesRoom) {
  // The reservation must not itself get in the way of an ordinary save.
  ByteVec audio = Audio(3000);
  TagTestFile file(audio);
  ChildStatus status = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{rlim_t(audio.size() + 4096), rlim_t(audio.size() + 4096)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return int(kSetupFailed);
    TId3v2Tags tags;
    tags.SetTitle(L"Title");
    return tags.SaveToHandle(file.fd(), true) ? 0 : 1;
  });
  ASSERT_FALSE(status.signaled);
  ASSERT_EQ(status.code, 0);
  ByteVec bytes = file.Contents();
  ASSERT_GT(bytes.size(), audio.size());
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), bytes.end() - long(audio.size())));
  TId3v2Tags back;
  lseek(file.fd(), 0, SEEK_SET);
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_EQ(back.Title(), L"Title");
}

}  // namespace
