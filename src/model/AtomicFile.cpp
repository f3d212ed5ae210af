#include "model/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "model/EFileError.h"

namespace fs = std::filesystem;

namespace {

std::string SystemError(const std::string& what, const fs::path& file, int error) {
  return what + " " + file.string() + ": " + std::strerror(error);
}

// The temporary file: unlinked on destruction unless it was renamed away;
// its descriptor is closed on destruction unless Close() took it.
class TTempFile {
 public:
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
  ~TTempFile() { Release(); }

  // ".<target name>." : the temporary files of a target are this plus six
  // characters of mkstemp's.
  static std::string TempPrefix(const std::string& targetName) { return "." + targetName.substr(0, 200) + "."; }
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
    return fd >= 0 && ::lstat(Path_.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev &&
           byName.st_ino == byFd.st_ino;
  }
  void Release() {
    if (!Renamed_ && StillNamed()) ::unlink(Path_.c_str());
    if (Fd_ >= 0) ::close(Fd_);
    if (LockFd_ >= 0) ::close(LockFd_);
    Fd_ = LockFd_ = -1;
  }

  const TSaveSystemCalls& Calls_;
  std::string Path_;
  int Fd_ = -1;
  int LockFd_ = -1;  // holds the lock on the file (see the constructor)
  bool Renamed_ = false;
};

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
  const std::string prefix = TTempFile::TempPrefix(targetName);
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

void SaveFileAtomically(const fs::path& target, std::string_view bytes, const TSaveSystemCalls& calls) {
  const fs::path real = ResolveSaveTarget(target);
  const fs::path folder = real.has_parent_path() ? real.parent_path() : fs::path(".");
  const std::string name = real.filename().string();
  if (name.empty() || name == "." || name == "..")
    throw EFileError(SystemError("cannot write", target, EISDIR));

  struct stat old;
  const bool hadOld = ::stat(real.c_str(), &old) == 0;

  RemoveStaleTemporaries(folder, name);
  TTempFile temp(folder, name, calls);
  WriteAll(calls, temp.Fd(), bytes, target);
  if (hadOld) {
    // The owner can only be kept where we may give it away (e.g. as root).
    if (::fchown(temp.Fd(), old.st_uid, old.st_gid) != 0) { /* keep ours */ }
    if (::fchmod(temp.Fd(), old.st_mode & 07777) != 0)
      throw EFileError(SystemError("cannot set the permissions of", target, errno));
  } else if (::fchmod(temp.Fd(), NewFileMode()) != 0) {
    throw EFileError(SystemError("cannot set the permissions of", target, errno));
  }
  if (calls.Fsync(temp.Fd()) != 0) throw EFileError(SystemError("cannot flush", target, errno));
  if (temp.Close() != 0) throw EFileError(SystemError("cannot close", target, errno));
  if (calls.Rename(temp.Path().c_str(), real.c_str()) != 0)
    throw EFileError(SystemError("cannot replace", target, errno));
  temp.MarkRenamed();

  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) throw EFileError(SystemError("saved, but cannot open the folder to flush it:", folder, errno));
  int rc = calls.Fsync(dir);
  int error = errno;
  ::close(dir);
  // Some file systems cannot fsync a folder at all (EINVAL); nothing to wait for there.
  if (rc != 0 && error != EINVAL)
    throw EFileError(SystemError("saved, but cannot flush the folder", folder, error));
}
