#include "model/TScriptReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/EFileError.h"

namespace {

constexpr size_t kBlockSize = 64 * 1024;

std::string SystemError(const std::string& what, const std::filesystem::path& file, int error) {
  return what + " " + file.string() + ": " + std::strerror(error);
}

}  // namespace

TScriptReader::TScriptReader(const std::filesystem::path& path) : Path_(path) {
  Fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd_ < 0) throw EFileError(SystemError("cannot open", path, errno));
  struct stat st {};
  int rc = ::fstat(Fd_, &st);
  if (rc != 0 || S_ISDIR(st.st_mode)) {
    int error = rc != 0 ? errno : EISDIR;
    ::close(Fd_);
    Fd_ = -1;
    throw EFileError(SystemError("cannot open", path, error));
  }
}

TScriptReader::TScriptReader(TInMemory, std::string_view bytes) : Buffer_(bytes), Eof_(true) {}

TScriptReader::~TScriptReader() {
  if (Fd_ >= 0) ::close(Fd_);
}

void TScriptReader::Fill() {
  Buffer_.erase(0, Pos_);
  Pos_ = 0;
  size_t old = Buffer_.size();
  Buffer_.resize(old + kBlockSize);
  for (;;) {
    ssize_t n = ::read(Fd_, Buffer_.data() + old, kBlockSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      Buffer_.resize(old);
      throw EFileError(SystemError("cannot read", Path_, error));
    }
    Buffer_.resize(old + size_t(n));
    if (n == 0) Eof_ = true;
    return;
  }
}

bool TScriptReader::NextRawLine(std::string& line) {
  size_t scanned = 0;  // bytes after Pos_ already known to hold no line end
  for (;;) {
    size_t end = Buffer_.find_first_of("\r\n", Pos_ + scanned);
    if (end != std::string::npos) {
      // A CR at the very end of what was read may be the first half of CR LF.
      if (Buffer_[end] == '\r' && end + 1 == Buffer_.size() && !Eof_) {
        scanned = end - Pos_;
        Fill();
        continue;
      }
      line.assign(Buffer_, Pos_, end - Pos_);
      Pos_ = end + 1;
      if (Buffer_[end] == '\r' && Pos_ < Buffer_.size() && Buffer_[Pos_] == '\n') ++Pos_;
      return true;
    }
    if (Eof_) {
      if (Pos_ >= Buffer_.size()) return false;
      line.assign(Buffer_, Pos_);
      Pos_ = Buffer_.size();
      return true;
    }
    scanned = Buffer_.size() - Pos_;
    Fill();
  }
}

bool TScriptReader::Next(TScriptLine& line) {
  while (NextRawLine(Raw_)) {
    ++LineNumber_;
    TScriptLine classified = ClassifyScriptLine(Raw_, CompositionOpen_);
    if (classified.IsHeader) CompositionOpen_ = true;
    if (!classified.IsHeader && !classified.IsItem) {
      if (!CompositionOpen_ && Raw_.find('|') != std::string::npos) BeforeFirstHeader_.push_back({LineNumber_, Raw_});
      continue;
    }
    classified.LineNumber = LineNumber_;
    line = std::move(classified);
    return true;
  }
  return false;
}

std::vector<TScriptLine> TScriptReader::ReadFile(const std::filesystem::path& path) {
  TScriptReader reader(path);
  std::vector<TScriptLine> lines;
  TScriptLine line;
  while (reader.Next(line)) lines.push_back(std::move(line));
  return lines;
}

std::vector<TScriptLine> TScriptReader::ReadText(std::string_view bytes) {
  TScriptReader reader(TInMemory{}, bytes);
  std::vector<TScriptLine> lines;
  TScriptLine line;
  while (reader.Next(line)) lines.push_back(std::move(line));
  return lines;
}
