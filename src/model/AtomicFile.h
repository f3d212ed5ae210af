#pragma once
// Replaces a file's content so that a failure at any point leaves the old
// content in place: the bytes go to a new, uniquely named file in the same
// folder, which is flushed to disk and then renamed over the target.
//
// Steps: follow the target if it is a symbolic link (the link stays, its
// real target gets the new content); mkstemp in that folder; write every
// byte (short writes continue, every error counts); give the new file the
// old file's permission bits (or the usual 0666 minus umask for a new file)
// and, where allowed, its owner and group; fsync; close; rename over the
// target; fsync the folder so the rename itself is durable.
//
// The temporary file is named "." + target name + "." + six characters and
// is locked (flock) until the save ends. A save killed midway leaves its
// temporary file behind, unlocked; the next save of the same target removes
// such files (this user's regular files of that pattern that no running save
// holds locked) before it starts.
//
// On a failure before the rename the temporary file is removed, the target
// is untouched and EFileError is thrown naming the file and the system's
// error text. A failed fsync is never retried (the kernel may already have
// dropped the dirty pages, so a second fsync could falsely succeed). If only
// the final folder fsync fails, the new content is already in place; the
// error is still thrown because its durability is not assured.
//
// GUI thread (or any single thread): reads the umask by setting and
// restoring it when the target does not exist yet.

#include <filesystem>
#include <string_view>
#include <sys/types.h>

// The system calls a save goes through. Tests replace single entries to
// make a step fail the way a full disk or an I/O error would.
struct TSaveSystemCalls {
  ssize_t (*Write)(int fd, const void* data, size_t size);
  int (*Fsync)(int fd);
  int (*Close)(int fd);
  int (*Rename)(const char* from, const char* to);

  static TSaveSystemCalls Posix();
};

void SaveFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                        const TSaveSystemCalls& calls = TSaveSystemCalls::Posix());

// The file a save to `target` really replaces: target itself, or the end of
// its chain of symbolic links. Throws EFileError for a link loop.
std::filesystem::path ResolveSaveTarget(const std::filesystem::path& target);
