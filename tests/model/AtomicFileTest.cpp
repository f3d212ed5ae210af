#include "model/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "TempFolder.h"
#include "model/EFileError.h"

namespace fs = std::filesystem;

namespace {

const std::string kOld = "[Old]\r\nold.wav|1\r\n";
const std::string kNew = "[New]\r\nnew.wav|2\r\nmore.wav|3\r\n";

mode_t ModeOf(const fs::path& p) {
  struct stat st;
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st.st_mode & 07777;
}

bool IsDirectory(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

// Counters and switches for the injected system calls (captureless, so they
// fit the plain function pointers of TSaveSystemCalls).
int gFileFsyncs = 0;
int gDirFsyncs = 0;

ssize_t WriteFailsNoSpace(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}
// Writes a few bytes, then the device is full.
ssize_t WritePartThenFails(int fd, const void* data, size_t size) {
  static thread_local int calls = 0;
  if (++calls % 2 == 0) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, std::min<size_t>(size, 5));
}
ssize_t WriteMakesNoProgress(int, const void*, size_t) { return 0; }
ssize_t WriteThreeBytesAtATime(int fd, const void* data, size_t size) {
  return ::write(fd, data, std::min<size_t>(size, 3));
}
ssize_t WriteInterruptedEveryOtherTime(int fd, const void* data, size_t size) {
  static thread_local int calls = 0;
  if (++calls % 2 == 1) {
    errno = EINTR;
    return -1;
  }
  return ::write(fd, data, size);
}
int FsyncFailsOnFiles(int fd) {
  if (IsDirectory(fd)) return ::fsync(fd);
  ++gFileFsyncs;
  errno = EIO;
  return -1;
}
int FsyncFailsOnFolders(int fd) {
  if (!IsDirectory(fd)) return ::fsync(fd);
  ++gDirFsyncs;
  errno = EIO;
  return -1;
}
int FsyncUnsupportedOnFolders(int fd) {
  if (!IsDirectory(fd)) return ::fsync(fd);
  errno = EINVAL;
  return -1;
}
int CloseFails(int fd) {
  ::close(fd);  // Linux releases the descriptor even when close reports an error
  errno = EIO;
  return -1;
}
int RenameFails(const char*, const char*) {
  errno = EXDEV;
  return -1;
}

struct TFailureCase {
  const char* Name;
  TSaveSystemCalls Calls;
  const char* ErrorText;
};

TSaveSystemCalls With(ssize_t (*write)(int, const void*, size_t)) {
  TSaveSystemCalls c = TSaveSystemCalls::Posix();
  c.Write = write;
  return c;
}
TSaveSystemCalls WithFsync(int (*fsync)(int)) {
  TSaveSystemCalls c = TSaveSystemCalls::Posix();
  c.Fsync = fsync;
  return c;
}
TSaveSystemCalls WithClose(int (*close)(int)) {
  TSaveSystemCalls c = TSaveSystemCalls::Posix();
  c.Close = close;
  return c;
}
TSaveSystemCalls WithRename(int (*rename)(const char*, const char*)) {
  TSaveSystemCalls c = TSaveSystemCalls::Posix();
  c.Rename = rename;
  return c;
}

void ExpectMessageNames(const EFileError& e, const fs::path& file, const char* errorText) {
  const std::string message = e.what();
  EXPECT_NE(message.find(file.string()), std::string::npos) << message;
  EXPECT_NE(message.find(errorText), std::string::npos) << message;
}

}  // namespace

TEST(AtomicSave, ReplacesTheContentAndLeavesNoTemporaryFileBehind) {
  TempFolder folder;
  const auto target = folder / "s.vrs";
  SaveFileAtomically(target, kOld);
  EXPECT_EQ(ReadBytes(target), kOld);
  SaveFileAtomically(target, kNew);
  EXPECT_EQ(ReadBytes(target), kNew);
  SaveFileAtomically(target, "");
  EXPECT_EQ(ReadBytes(target), "");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
}

TEST(AtomicSave, WritesEveryByteThroughShortAndInterruptedWrites) {
  TempFolder folder;
  const auto target = folder / "s.vrs";
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  SaveFileAtomically(target, kNew, With(WriteThreeBytesAtATime));
  EXPECT_EQ(ReadBytes(target), kNew);
  SaveFileAtomically(target, big, With(WriteInterruptedEveryOtherTime));
  EXPECT_EQ(ReadBytes(target), big);
}

TEST(AtomicSave, GivesANewFileTheUsualModeAndKeepsTheModeOfAnOldOne) {
  TempFolder folder;
  const mode_t saved = ::umask(027);
  SaveFileAtomically(folder / "new.vrs", kNew);
  ::umask(saved);
  EXPECT_EQ(ModeOf(folder / "new.vrs"), 0640u);

  for (mode_t mode : {0600u, 0644u, 0664u, 0604u}) {
    WriteBytes(folder / "old.vrs", kOld);
    ASSERT_EQ(::chmod((folder / "old.vrs").c_str(), mode), 0);
    SaveFileAtomically(folder / "old.vrs", kNew);
    EXPECT_EQ(ModeOf(folder / "old.vrs"), mode);
    EXPECT_EQ(ReadBytes(folder / "old.vrs"), kNew);
  }
}

TEST(AtomicSave, ReplacesTheRealTargetOfASymbolicLinkAndKeepsTheLink) {
  TempFolder folder;
  fs::create_directory(folder / "real");
  WriteBytes(folder / "real" / "s.vrs", kOld);
  ::chmod((folder / "real" / "s.vrs").c_str(), 0600);
  // Two hops, the first relative: link.vrs -> real/hop.vrs -> /abs/real/s.vrs
  fs::create_symlink(folder / "real" / "s.vrs", folder / "real" / "hop.vrs");
  fs::create_symlink("real/hop.vrs", folder / "link.vrs");
  SaveFileAtomically(folder / "link.vrs", kNew);
  EXPECT_TRUE(fs::is_symlink(folder / "link.vrs"));
  EXPECT_TRUE(fs::is_symlink(folder / "real" / "hop.vrs"));
  EXPECT_EQ(ReadBytes(folder / "real" / "s.vrs"), kNew);
  EXPECT_EQ(ModeOf(folder / "real" / "s.vrs"), 0600u);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"link.vrs", "real"}));
  EXPECT_EQ(ResolveSaveTarget(folder / "link.vrs"), folder / "real" / "s.vrs");
}

TEST(AtomicSave, CreatesTheMissingTargetOfADanglingLink) {
  TempFolder folder;
  fs::create_symlink("later.vrs", folder / "link.vrs");
  SaveFileAtomically(folder / "link.vrs", kNew);
  EXPECT_TRUE(fs::is_symlink(folder / "link.vrs"));
  EXPECT_EQ(ReadBytes(folder / "later.vrs"), kNew);
}

TEST(AtomicSave, RefusesALinkLoopWithoutTouchingAnything) {
  TempFolder folder;
  fs::create_symlink("b.vrs", folder / "a.vrs");
  fs::create_symlink("a.vrs", folder / "b.vrs");
  try {
    SaveFileAtomically(folder / "a.vrs", kNew);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    ExpectMessageNames(e, folder / "a.vrs", std::strerror(ELOOP));
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"a.vrs", "b.vrs"}));
}

class AtomicSaveFailure : public testing::TestWithParam<TFailureCase> {};

TEST_P(AtomicSaveFailure, LeavesTheOldFileIntactRemovesTheTemporaryFileAndNamesTheError) {
  TempFolder folder;
  const auto target = folder / "s.vrs";
  WriteBytes(target, kOld);
  ::chmod(target.c_str(), 0640);
  try {
    SaveFileAtomically(target, kNew, GetParam().Calls);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    ExpectMessageNames(e, target, GetParam().ErrorText);
  }
  EXPECT_EQ(ReadBytes(target), kOld);
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AtomicSaveFailure,
    testing::Values(TFailureCase{"WriteDiskFull", With(WriteFailsNoSpace), "No space left on device"},
                    TFailureCase{"WriteFullAfterSomeBytes", With(WritePartThenFails), "No space left on device"},
                    TFailureCase{"WriteNoProgress", With(WriteMakesNoProgress), "No space left on device"},
                    TFailureCase{"Fsync", WithFsync(FsyncFailsOnFiles), "Input/output error"},
                    TFailureCase{"Close", WithClose(CloseFails), "Input/output error"},
                    TFailureCase{"Rename", WithRename(RenameFails), "Invalid cross-device link"}),
    [](const testing::TestParamInfo<TFailureCase>& info) { return std::string(info.param.Name); });

// After a failed fsync the kernel may have dropped the dirty pages and
// cleared the error, so a retry could report success for lost data.
TEST(AtomicSave, DoesNotRetryAFailedFsync) {
  TempFolder folder;
  gFileFsyncs = 0;
  EXPECT_THROW(SaveFileAtomically(folder / "s.vrs", kNew, WithFsync(FsyncFailsOnFiles)), EFileError);
  EXPECT_EQ(gFileFsyncs, 1);
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(AtomicSave, ReportsAFailedFolderFsyncAfterTheNewContentIsInPlace) {
  TempFolder folder;
  const auto target = folder / "s.vrs";
  WriteBytes(target, kOld);
  gDirFsyncs = 0;
  try {
    SaveFileAtomically(target, kNew, WithFsync(FsyncFailsOnFolders));
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    ExpectMessageNames(e, folder.Path(), "Input/output error");
  }
  EXPECT_EQ(gDirFsyncs, 1);
  EXPECT_EQ(ReadBytes(target), kNew);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
  // A file system that cannot fsync folders at all is not an error.
  SaveFileAtomically(target, kOld, WithFsync(FsyncUnsupportedOnFolders));
  EXPECT_EQ(ReadBytes(target), kOld);
}

TEST(AtomicSave, FailsCleanlyForAFolderThatDoesNotExist) {
  TempFolder folder;
  const auto target = folder / "nincs" / "s.vrs";
  try {
    SaveFileAtomically(target, kNew);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    ExpectMessageNames(e, folder / "nincs", "No such file or directory");
  }
  EXPECT_TRUE(folder.Entries().empty());
}

// Renaming a file over a folder fails even for root: a real failure after
// the temporary file has been written and flushed.
TEST(AtomicSave, FailsCleanlyWhenTheTargetIsAFolder) {
  TempFolder folder;
  fs::create_directory(folder / "s.vrs");
  WriteBytes(folder / "s.vrs" / "inside.vrs", kOld);
  try {
    SaveFileAtomically(folder / "s.vrs", kNew);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    ExpectMessageNames(e, folder / "s.vrs", "Is a directory");
  }
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
  EXPECT_EQ(ReadBytes(folder / "s.vrs" / "inside.vrs"), kOld);
}

TEST(AtomicSave, FailsCleanlyInAReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders; the injected failures cover this";
  TempFolder folder;
  const auto target = folder / "s.vrs";
  WriteBytes(target, kOld);
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
  EXPECT_THROW(SaveFileAtomically(target, kNew), EFileError);
  ::chmod(folder.Path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(target), kOld);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
}

TEST(AtomicSave, KeepsOneBackupGenerationBesideTheRealTarget) {
  TempFolder folder;
  const TAtomicFileOptions backup{true, TSaveSystemCalls::Posix()};
  SaveFileAtomically(folder / "s.vrs", kOld, backup);  // nothing replaced: no backup
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"s.vrs"});
  ::chmod((folder / "s.vrs").c_str(), 0600);
  fs::create_symlink("s.vrs", folder / "link.vrs");
  SaveFileAtomically(folder / "link.vrs", kNew, backup);
  SaveFileAtomically(folder / "link.vrs", "third", backup);
  EXPECT_EQ(ReadBytes(folder / "s.vrs"), "third");
  EXPECT_EQ(ReadBytes(folder / "s.vrs.bak"), kNew);
  EXPECT_EQ(ModeOf(folder / "s.vrs.bak"), 0600u);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"link.vrs", "s.vrs", "s.vrs.bak"}));
  // A failed rename of the backup leaves both files as they were.
  EXPECT_THROW(SaveFileAtomically(folder / "s.vrs", "fourth", TAtomicFileOptions{true, WithRename(RenameFails)}),
               EFileError);
  EXPECT_EQ(ReadBytes(folder / "s.vrs"), "third");
  EXPECT_EQ(ReadBytes(folder / "s.vrs.bak"), kNew);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"link.vrs", "s.vrs", "s.vrs.bak"}));
}
