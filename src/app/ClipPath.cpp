#include "app/ClipPath.h"

#include <QString>
#include <system_error>

#include "model/Cp1250.h"

namespace fs = std::filesystem;

namespace {

// The single entry of `folder` whose name equals `part` ignoring letter case,
// or empty when there is none or more than one.
fs::path CaseInsensitiveMatch(const fs::path& folder, const std::string& part) {
  const QString wanted = QString::fromStdString(part);
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return {};
  fs::path found;
  int matches = 0;
  for (const fs::directory_entry& entry : it) {
    const QString name = QString::fromStdString(entry.path().filename().string());
    if (name.compare(wanted, Qt::CaseInsensitive) != 0) continue;
    found = entry.path();
    if (++matches > 1) return {};
  }
  return found;
}

}  // namespace

fs::path ClipFolder(const fs::path& base) {
  std::error_code ec;
  return (base.empty() ? fs::current_path(ec) : base) / "Hangok";
}

fs::path ClipPath(std::string_view cp1250Name, const fs::path& clipBase) {
  std::string name = Cp1250ToUtf8(cp1250Name);
  for (char& c : name)
    if (c == '\\') c = '/';
  std::error_code ec;
  const fs::path base = clipBase.empty() ? fs::current_path(ec) : clipBase;
  fs::path exact = base / "Hangok" / name;
  if (fs::exists(exact, ec)) return exact;

  // Walk the parts below the current folder, each matched exactly or by the
  // single case-insensitive match.
  fs::path at = base;
  for (const fs::path& part : fs::path("Hangok") / fs::path(name).relative_path()) {
    if (part.empty()) continue;
    fs::path next = at / part;
    if (!fs::exists(next, ec)) {
      next = CaseInsensitiveMatch(at, part.string());
      if (next.empty()) return exact;
    }
    at = next;
  }
  return at;
}

bool ClipExists(const fs::path& path) {
  // A name with a NUL byte names no file: the system would read it only up
  // to the NUL, which is another file than the one written.
  if (path.native().find('\0') != std::string::npos) return false;
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsWavName(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return QString::fromLatin1(ext.data(), qsizetype(ext.size())).compare(QLatin1String(".wav"), Qt::CaseInsensitive) == 0;
}
