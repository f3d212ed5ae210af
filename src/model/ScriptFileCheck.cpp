#include "model/ScriptFileCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::string WithSystemError(const char* what, int error) {
  return std::string(what) + " (" + std::strerror(error) + ")";
}

}  // namespace

std::string ScriptFileProblem(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? std::string("nincs ilyen fájl") : WithSystemError("nem érhető el", errno);
  if (S_ISDIR(st.st_mode)) return "ez egy mappa, nem fájl";
  if (!S_ISREG(st.st_mode)) return "nem közönséges fájl";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return WithSystemError("nem olvasható", errno);
  std::vector<unsigned char> head(64 * 1024);
  size_t got = 0;
  int error = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  if (error != 0) return WithSystemError("nem olvasható", error);
  if (got == 0) return "a script üres, nincs benne összeállítás";
  // A byte-order mark, or text whose first character is ASCII with a NUL
  // beside it ("[" as 5B 00 or 00 5B).
  const bool bom = got >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF));
  const bool wide = got >= 2 && ((head[0] >= 0x20 && head[0] < 0x7F && head[1] == 0) ||
                                 (head[0] == 0 && head[1] >= 0x20 && head[1] < 0x7F));
  if (bom || wide)
    return "UTF-16 kódolású szöveg, nem Windows-1250 script";
  if (std::memchr(head.data(), 0, got) != nullptr) return "nem szöveges fájl (bináris adat), nem script";
  return {};
}
