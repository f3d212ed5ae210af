#pragma once
// Writes a file so that a failure or a kill at any point leaves whole files
// only: the old content, or the new one, never a mix. The one writer of the
// program's output files: scripts saved from the window, and the WAV files
// of "--decode" and "--render".
//
// What is at the target decides how it is written (PlanWrite):
// - a regular file or a new name: the bytes go to a new, uniquely named file
//   in the same folder, which is flushed to disk and renamed over the target;
//   the folder is flushed so the rename itself is durable. A symbolic link
//   is followed: the link stays, the file at the end of its chain is
//   replaced this way in its own folder (a dangling link's target is made).
// - a character device or a FIFO (/dev/null, a pipe given by name): never
//   replaced. The content is built in an anonymous temporary file and, once
//   whole, written into it. A FIFO that no process reads is an error, not a
//   wait.
// - "-": standard output, written the same way.
// - a folder, a block device, a socket: refused before anything is written.
//
// Replace steps: mkstemp beside the real target; write every byte (short
// writes continue, every error counts); give the new file the old file's
// permission bits (or the usual 0666 minus umask for a new file) and, where
// allowed, its owner and group; fsync; close; with KeepBackup and an old
// regular file, copy the old content to a temporary file the same way and
// rename it to BackupPath (one generation: an older backup is replaced);
// rename over the target; fsync the folder. A kill between any two steps
// leaves the target old or new and the backup previous or old, each whole.
//
// The temporary files are named "." + target name + "." + six characters and
// are locked (flock) until the save ends. A save killed midway leaves its
// temporary file behind, unlocked; the next save of the same target removes
// such files (this user's regular files of that pattern that no running save
// holds locked) before it starts.
//
// On a failure before the rename the temporary files are removed, the target
// and its backup are untouched and EFileError is thrown naming the file and
// the system's error text. A failed fsync is never retried (the kernel may
// already have dropped the dirty pages, so a second fsync could falsely
// succeed). If only the final folder fsync fails, the new content is already
// in place; the error is still thrown because its durability is not assured.
//
// A write past the process's file-size limit (RLIMIT_FSIZE) fails with
// EFBIG like any other write error, provided the program ignores SIGXFSZ
// (main() does), which would otherwise end it.
//
// One thread per object; reads the umask by setting and restoring it when
// the target does not exist yet.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

// The system calls a save goes through. Tests replace single entries to
// make a step fail the way a full disk or an I/O error would.
struct TSaveSystemCalls {
  ssize_t (*Write)(int fd, const void* data, size_t size);
  int (*Fsync)(int fd);
  int (*Close)(int fd);
  int (*Rename)(const char* from, const char* to);

  static TSaveSystemCalls Posix();
};

// What a write to a path does with what is there (see the file comment).
enum class TWriteKind { Replace, Direct, Stdout, Folder, Special };

struct TWritePlan {
  TWriteKind Kind = TWriteKind::Replace;
  // Replace: the file replaced, links followed. Direct: the path opened.
  std::filesystem::path Real;
};

// Looks at the target without changing anything. Throws EFileError for a
// link loop or a link that cannot be read.
TWritePlan PlanWrite(const std::filesystem::path& target);

// The backup of a replaced file: its name + ".bak", beside it (the "*.vrs"
// filter of the dialogs does not list it).
std::filesystem::path BackupPath(const std::filesystem::path& real);

struct TAtomicFileOptions {
  // Keep the replaced content of a regular file at BackupPath.
  bool KeepBackup = false;
  TSaveSystemCalls Calls = TSaveSystemCalls::Posix();
};

class TAtomicFile {
 public:
  // Plans the write and creates the temporary file. Throws EFileError when
  // the target is refused or no temporary file can be made.
  explicit TAtomicFile(const std::filesystem::path& target, const TAtomicFileOptions& options = {});
  // Without Commit: removes the temporary files; the target is as it was.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  const TWritePlan& Plan() const { return Plan_; }
  // Appends bytes to the new content. Throws EFileError naming the target.
  void Write(std::string_view bytes);
  // Overwrites bytes already written at `offset` (a header patched once the
  // size is known). Throws EFileError naming the target.
  void WriteAt(uint64_t offset, std::string_view bytes);
  // Puts the new content in place (see the file comment). Throws EFileError.
  void Commit();

 private:
  class TTempFile;
  void CommitReplace();
  void CommitDirect();
  void KeepBackup(const std::filesystem::path& folder, const std::string& name, const struct ::stat& old);

  std::filesystem::path Target_;
  TAtomicFileOptions Options_;
  TWritePlan Plan_;
  std::unique_ptr<TTempFile> Temp_;
  bool Committed_ = false;
};

// The whole content in one call: TAtomicFile, Write, Commit.
void SaveFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                        const TAtomicFileOptions& options);
void SaveFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                        const TSaveSystemCalls& calls = TSaveSystemCalls::Posix());

// The file a save to `target` really replaces: target itself, or the end of
// its chain of symbolic links. Throws EFileError for a link loop.
std::filesystem::path ResolveSaveTarget(const std::filesystem::path& target);
