#pragma once
// A temporary file with given bytes, opened read-write, removed at the end.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

class TagTestFile {
 public:
  explicit TagTestFile(const std::vector<unsigned char>& bytes, int flags = O_RDWR) {
    char name[] = "/tmp/vomrella-tags-XXXXXX";
    int fd = mkstemp(name);
    path_ = name;
    if (!bytes.empty()) (void)!write(fd, bytes.data(), bytes.size());
    close(fd);
    fd_ = open(path_.c_str(), flags);
  }
  ~TagTestFile() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  TagTestFile(const TagTestFile&) = delete;
  TagTestFile& operator=(const TagTestFile&) = delete;

  int fd() const { return fd_; }
  off_t Position() const { return lseek(fd_, 0, SEEK_CUR); }
  std::vector<unsigned char> Contents() const {
    std::vector<unsigned char> out;
    int fd = open(path_.c_str(), O_RDONLY);
    unsigned char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    close(fd);
    return out;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

inline std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
