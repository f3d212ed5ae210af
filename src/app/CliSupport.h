#pragma once
// What the command-line commands share: script text shown on a terminal,
// the checks every clip and output argument goes through, JSON strings,
// progress on a terminal's stderr, and the last flush of stdout.
//
// Main thread of the command only.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/AtomicFile.h"
#include "model/Cp1250.h"

namespace cli {

// Script text for the terminal: Windows-1250 to UTF-8, with control
// characters shown as "?" so a stray escape byte cannot drive the terminal.
inline std::string Printable(std::string_view cp1250) {
  std::string text(cp1250);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return Cp1250ToUtf8(text);
}

// Why the file at `path` cannot be read as a clip, in Hungarian; empty when
// it is a readable, non-empty regular file.
inline std::string FileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int error = errno;
    return error == ENOENT ? std::string("nincs ilyen fájl") : std::string("nem érhető el (") + std::strerror(error) + ")";
  }
  if (S_ISDIR(st.st_mode)) return "ez egy mappa, nem fájl";
  if (!S_ISREG(st.st_mode)) return "nem közönséges fájl";
  if (::access(path.c_str(), R_OK) != 0) return std::string("nem olvasható (") + std::strerror(errno) + ")";
  if (st.st_size == 0) return "a fájl üres";
  return {};
}

// Prints "vomrella: PATH: PROBLEM" and answers true when there is a problem.
inline bool Refuse(const std::string& path, const std::string& problem) {
  if (problem.empty()) return false;
  std::fprintf(stderr, "vomrella: %s: %s\n", path.c_str(), problem.c_str());
  return true;
}

// Why an output ("-o NAME") cannot be written, in Hungarian; empty when it
// may be tried. What is written where is TAtomicFile's decision
// (PlanWrite): this only words its refusals and checks the folder a new
// file goes to, before a long command starts its work.
inline std::string OutputProblem(const std::string& path) {
  TWritePlan plan;
  try {
    plan = PlanWrite(path);
  } catch (const std::exception& e) {
    return std::string("nem írható (") + e.what() + ")";
  }
  switch (plan.Kind) {
    case TWriteKind::Stdout:
    case TWriteKind::Direct:
      return {};
    case TWriteKind::Folder:
      return "ez egy mappa, nem írható fájlként";
    case TWriteKind::Special:
      return "különleges fájl (blokkeszköz vagy socket): nem írható bele, és nem cserélhető le";
    case TWriteKind::Replace:
      break;
  }
  const std::filesystem::path folder = plan.Real.parent_path();
  const std::string dir = folder.empty() ? std::string(".") : folder.string();
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return "a mappa nem létezik: " + dir;
  if (!S_ISDIR(st.st_mode)) return "nem mappa: " + dir;
  if (::access(dir.c_str(), W_OK) != 0) return "a mappa nem írható: " + dir + " (" + std::strerror(errno) + ")";
  return {};
}

// Where a command's own report goes: stdout, unless the output file itself
// is standard output ("-o -").
inline FILE* ReportStream(const std::string& output) { return output == "-" ? stderr : stdout; }

// A JSON string literal of UTF-8 text.
inline std::string Json(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

// Progress of a long command on stderr, only when stderr is a terminal:
// "LABEL: 40%" redrawn at most ten times a second, the line cleared at the
// end so that nothing of it stays between the command's own lines.
class TProgress {
 public:
  TProgress(const char* label, double total) : Label(label), Total(total), Shown(::isatty(STDERR_FILENO) == 1) {}
  ~TProgress() { Finish(); }
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  void Update(double done) {
    if (!Shown || Total <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (Drawn && now - Last < std::chrono::milliseconds(100)) return;
    Last = now;
    Drawn = true;
    const int percent = done >= Total ? 100 : int(done * 100 / Total);
    std::fprintf(stderr, "\r%s: %d%%\033[K", Label, percent);
    std::fflush(stderr);
  }
  void Finish() {
    if (!Drawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    Drawn = false;
  }

 private:
  const char* Label;
  double Total;
  bool Shown;
  bool Drawn = false;
  std::chrono::steady_clock::time_point Last;
};

// Flushes stdout; false (with a message) when what was printed did not all
// get out, e.g. to a full disk.
[[nodiscard]] inline bool FlushStdout() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "vomrella: a szabványos kimenet nem írható (%s)\n", std::strerror(errno));
  return false;
}

}  // namespace cli
