#include "model/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "model/EFileError.h"

namespace fs = std::filesystem;

namespace {

std::string SystemError(const std::string& what, const fs::path& file, int error) {
  return what + " " + file.string() + ": " + std::strerror(error);
}

// ".<target name>." : the temporary files of a target are this plus six
// characters of mkstemp's.
std::string TempPrefix(const std::string& targetName) { return "." + targetName.substr(0, 200) + "."; }

}  // namespace

// A temporary file: unlinked on destruction unless it was renamed away; its
// descriptor is closed on destruction unless Close() took it. Named beside
// the target (for a rename over it), or anonymous in the temporary folder
// (for content written into a device, a FIFO or standard output at the end).
class TAtomicFile::TTempFile {
 public:
  struct TAnonymous {};

  TTempFile(const fs::path& folder, const std::string& targetName, const TSaveSystemCalls& calls)
      : Calls_(calls) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      // Hidden, next to the target, so the rename stays within one file system.
      Path_ = (folder / TempPrefix(targetName)).string() + "XXXXXX";
      Fd_ = mkostemp(Path_.data(), O_CLOEXEC);
      if (Fd_ < 0) throw EFileError(SystemError("cannot create a temporary file in", folder, errno));
      // The lock marks the file as in use until this object goes (past the
      // rename), so another save's clean-up leaves it alone; a process killed
      // mid-save loses it with its descriptors. The lock lives on a second
      // descriptor because Close() gives up the first before the rename.
      LockFd_ = ::fcntl(Fd_, F_DUPFD_CLOEXEC, 0);
      if (LockFd_ >= 0 && ::flock(LockFd_, LOCK_EX) == 0 && StillNamed()) return;
      // A clean-up took the file between its creation and the lock: start over.
      Release();
    }
    throw EFileError(SystemError("cannot create a temporary file in", folder, EEXIST));
  }

  TTempFile(TAnonymous, const TSaveSystemCalls& calls) : Calls_(calls) {
    std::error_code ec;
    fs::path folder = fs::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    // Without a name, nothing is left behind whatever happens to the process.
    Fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (Fd_ >= 0) return;
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string path = (folder / "vomrella-XXXXXX").string();
    Fd_ = mkostemp(path.data(), O_CLOEXEC);
    if (Fd_ < 0) throw EFileError(SystemError("cannot create a temporary file in", folder, errno));
    ::unlink(path.c_str());
  }
  ~TTempFile() { Release(); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  int Fd() const { return Fd_; }
  const std::string& Path() const { return Path_; }
  // The descriptor is gone after this whatever the result: a failed close
  // still releases it on Linux, and retrying could close someone else's.
  int Close() {
    int fd = Fd_;
    Fd_ = -1;
    return Calls_.Close(fd);
  }
  void MarkRenamed() { Renamed_ = true; }

 private:
  // Whether Path_ still names our file (either descriptor shows it; Close()
  // may have taken the first).
  bool StillNamed() const {
    const int fd = LockFd_ >= 0 ? LockFd_ : Fd_;
    struct stat byName, byFd;
    return !Path_.empty() && fd >= 0 && ::lstat(Path_.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
  }
  void Release() {
    if (!Renamed_ && StillNamed()) ::unlink(Path_.c_str());
    if (Fd_ >= 0) ::close(Fd_);
    if (LockFd_ >= 0) ::close(LockFd_);
    Fd_ = LockFd_ = -1;
  }

  const TSaveSystemCalls& Calls_;
  std::string Path_;  // empty for an anonymous file
  int Fd_ = -1;
  int LockFd_ = -1;  // holds the lock on the file (see the constructor)
  bool Renamed_ = false;
};

namespace {

bool IsMkstempSuffix(std::string_view s) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// Removes the temporary files that earlier saves of `targetName` left in
// `folder` when they were killed: names of our pattern, regular files of this
// user, not locked by a save still running. Best effort; errors are ignored
// because a leftover costs only disk space.
void RemoveStaleTemporaries(const fs::path& folder, const std::string& targetName) {
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return;
  }
  const std::string prefix = TempPrefix(targetName);
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix &&
        IsMkstempSuffix(name.substr(prefix.size())))
      stale.emplace_back(name);
  }
  for (const std::string& name : stale) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat byFd, byName;
    // Unlinked only while locked by us and still under that name, so a file a
    // running save has just renamed over the target is never touched.
    if (::fstat(fd, &byFd) == 0 && S_ISREG(byFd.st_mode) && byFd.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dirFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
        byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino)
      ::unlinkat(dirFd, name.c_str(), 0);
    ::close(fd);
  }
  ::closedir(dir);  // closes dirFd too
}

void WriteAll(const TSaveSystemCalls& calls, int fd, std::string_view bytes, const fs::path& target) {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = calls.Write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError(SystemError("cannot write", target, errno));
    // A write that makes no progress would loop for ever; a full device is
    // the usual cause.
    if (n == 0) throw EFileError(SystemError("cannot write", target, ENOSPC));
    data += n;
    left -= size_t(n);
  }
}

mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TSaveSystemCalls TSaveSystemCalls::Posix() {
  return TSaveSystemCalls{&::write, &::fsync, &::close, &::rename};
}

fs::path ResolveSaveTarget(const fs::path& target) {
  fs::path path = target;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    fs::path link = fs::read_symlink(path, ec);
    if (ec) throw EFileError(SystemError("cannot read the link", path, ec.value()));
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  throw EFileError(SystemError("cannot follow", target, ELOOP));
}


namespace {

fs::path FolderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// How messages name the target; "-" is standard output.
fs::path Shown(const fs::path& target) { return target == "-" ? fs::path("standard output") : target; }

// A descriptor closed when it goes out of scope.
struct TFdGuard {
  int Fd = -1;
  ~TFdGuard() {
    if (Fd >= 0) ::close(Fd);
  }
};

// Copies what remains of `from` into `to` through calls.Write.
void CopyRest(const TSaveSystemCalls& calls, int from, int to, const fs::path& source, const fs::path& target) {
  std::vector<char> block(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(from, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError(SystemError("cannot read", source, errno));
    if (n == 0) return;
    WriteAll(calls, to, std::string_view(block.data(), size_t(n)), target);
  }
}

}  // namespace

TWritePlan PlanWrite(const fs::path& target) {
  TWritePlan plan;
  if (target == "-") {
    plan.Kind = TWriteKind::Stdout;
    return plan;
  }
  struct stat st;
  if (::stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
    // A regular file, or nothing there yet (a dangling link's target is
    // made): replaced at the end of its chain of links.
    plan.Real = ResolveSaveTarget(target);
    return plan;
  }
  plan.Real = target;
  if (S_ISDIR(st.st_mode))
    plan.Kind = TWriteKind::Folder;
  else if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
    plan.Kind = TWriteKind::Direct;
  else
    plan.Kind = TWriteKind::Special;
  return plan;
}

fs::path BackupPath(const fs::path& real) { return fs::path(real.string() + ".bak"); }

TAtomicFile::TAtomicFile(const fs::path& target, const TAtomicFileOptions& options)
    : Target_(target), Options_(options), Plan_(PlanWrite(target)) {
  switch (Plan_.Kind) {
    case TWriteKind::Folder:
      throw EFileError(SystemError("cannot write", target, EISDIR));
    case TWriteKind::Special:
      // A block device would be overwritten from its first byte; a socket
      // cannot be opened. Neither is ever replaced by a regular file.
      throw EFileError("will not write " + target.string() +
                       ": it is a block device, a socket or another special file");
    case TWriteKind::Direct:
    case TWriteKind::Stdout:
      Temp_ = std::make_unique<TTempFile>(TTempFile::TAnonymous{}, Options_.Calls);
      return;
    case TWriteKind::Replace:
      break;
  }
  const std::string name = Plan_.Real.filename().string();
  if (name.empty() || name == "." || name == "..") throw EFileError(SystemError("cannot write", target, EISDIR));
  RemoveStaleTemporaries(FolderOf(Plan_.Real), name);
  Temp_ = std::make_unique<TTempFile>(FolderOf(Plan_.Real), name, Options_.Calls);
}

TAtomicFile::~TAtomicFile() = default;

void TAtomicFile::Write(std::string_view bytes) {
  if (Committed_ || Temp_->Fd() < 0) throw EFileError(SystemError("cannot write", Shown(Target_), EBADF));
  WriteAll(Options_.Calls, Temp_->Fd(), bytes, Shown(Target_));
}

void TAtomicFile::WriteAt(uint64_t offset, std::string_view bytes) {
  if (Committed_ || Temp_->Fd() < 0) throw EFileError(SystemError("cannot write", Shown(Target_), EBADF));
  if (::lseek(Temp_->Fd(), off_t(offset), SEEK_SET) < 0)
    throw EFileError(SystemError("cannot write", Shown(Target_), errno));
  WriteAll(Options_.Calls, Temp_->Fd(), bytes, Shown(Target_));
  if (::lseek(Temp_->Fd(), 0, SEEK_END) < 0) throw EFileError(SystemError("cannot write", Shown(Target_), errno));
}

void TAtomicFile::Commit() {
  if (Committed_ || Temp_->Fd() < 0) throw EFileError(SystemError("cannot write", Shown(Target_), EBADF));
  if (Plan_.Kind == TWriteKind::Replace)
    CommitReplace();
  else
    CommitDirect();
  Committed_ = true;
}

void TAtomicFile::CommitReplace() {
  const TSaveSystemCalls& calls = Options_.Calls;
  const fs::path& real = Plan_.Real;
  const fs::path folder = FolderOf(real);
  struct stat old;
  const bool hadOld = ::stat(real.c_str(), &old) == 0;
  if (hadOld) {
    // The owner can only be kept where we may give it away (e.g. as root).
    if (::fchown(Temp_->Fd(), old.st_uid, old.st_gid) != 0) { /* keep ours */ }
    if (::fchmod(Temp_->Fd(), old.st_mode & 07777) != 0)
      throw EFileError(SystemError("cannot set the permissions of", Target_, errno));
  } else if (::fchmod(Temp_->Fd(), NewFileMode()) != 0) {
    throw EFileError(SystemError("cannot set the permissions of", Target_, errno));
  }
  if (calls.Fsync(Temp_->Fd()) != 0) throw EFileError(SystemError("cannot flush", Target_, errno));
  if (Temp_->Close() != 0) throw EFileError(SystemError("cannot close", Target_, errno));
  if (Options_.KeepBackup && hadOld && S_ISREG(old.st_mode)) KeepBackup(folder, real.filename().string(), old);
  if (calls.Rename(Temp_->Path().c_str(), real.c_str()) != 0)
    throw EFileError(SystemError("cannot replace", Target_, errno));
  Temp_->MarkRenamed();

  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) throw EFileError(SystemError("saved, but cannot open the folder to flush it:", folder, errno));
  int rc = calls.Fsync(dir);
  int error = errno;
  ::close(dir);
  // Some file systems cannot fsync a folder at all (EINVAL); nothing to wait for there.
  if (rc != 0 && error != EINVAL)
    throw EFileError(SystemError("saved, but cannot flush the folder", folder, error));
}

void TAtomicFile::KeepBackup(const fs::path& folder, const std::string& name, const struct ::stat& old) {
  // A name with no room for the suffix gets no backup rather than no save.
  if (name.size() + 4 > NAME_MAX) return;
  const TSaveSystemCalls& calls = Options_.Calls;
  const fs::path real = folder / name;
  const fs::path backup = BackupPath(real);
  TFdGuard in{::open(real.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.Fd < 0) throw EFileError(SystemError("cannot back up", real, errno));
  // The copy is made under a temporary name of the target's own pattern, so
  // a kill midway leaves a leftover the next save removes, and the rename
  // replaces the previous backup in one step.
  TTempFile copy(folder, name, calls);
  CopyRest(calls, in.Fd, copy.Fd(), real, backup);
  if (::fchown(copy.Fd(), old.st_uid, old.st_gid) != 0) { /* keep ours */ }
  if (::fchmod(copy.Fd(), old.st_mode & 07777) != 0)
    throw EFileError(SystemError("cannot set the permissions of", backup, errno));
  if (calls.Fsync(copy.Fd()) != 0) throw EFileError(SystemError("cannot flush", backup, errno));
  if (copy.Close() != 0) throw EFileError(SystemError("cannot close", backup, errno));
  if (calls.Rename(copy.Path().c_str(), backup.c_str()) != 0)
    throw EFileError(SystemError("cannot replace", backup, errno));
  copy.MarkRenamed();
}

void TAtomicFile::CommitDirect() {
  const TSaveSystemCalls& calls = Options_.Calls;
  const fs::path shown = Shown(Target_);
  if (::lseek(Temp_->Fd(), 0, SEEK_SET) != 0) throw EFileError(SystemError("cannot write", shown, errno));
  if (Plan_.Kind == TWriteKind::Stdout) {
    CopyRest(calls, Temp_->Fd(), STDOUT_FILENO, shown, shown);
    return;
  }
  // Non-blocking open: a FIFO nobody reads is an error, not a hang.
  TFdGuard out{::open(Plan_.Real.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (out.Fd < 0 && errno == ENXIO) throw EFileError("cannot write " + shown.string() + ": no process reads from it");
  if (out.Fd < 0) throw EFileError(SystemError("cannot write", shown, errno));
  struct stat st;
  if (::fstat(out.Fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)))
    throw EFileError("will not write " + shown.string() + ": it changed into another kind of file");
  const int flags = ::fcntl(out.Fd, F_GETFL);
  if (flags < 0 || ::fcntl(out.Fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    throw EFileError(SystemError("cannot write", shown, errno));
  CopyRest(calls, Temp_->Fd(), out.Fd, shown, shown);
  const int fd = out.Fd;
  out.Fd = -1;
  if (calls.Close(fd) != 0) throw EFileError(SystemError("cannot close", shown, errno));
}

void SaveFileAtomically(const fs::path& target, std::string_view bytes, const TAtomicFileOptions& options) {
  TAtomicFile file(target, options);
  file.Write(bytes);
  file.Commit();
}

void SaveFileAtomically(const fs::path& target, std::string_view bytes, const TSaveSystemCalls& calls) {
  TAtomicFileOptions options;
  options.Calls = calls;
  SaveFileAtomically(target, bytes, options);
}
