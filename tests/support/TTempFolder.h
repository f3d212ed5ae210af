#pragma once
// A fresh folder under $TMPDIR (or /tmp) for one test, removed with
// everything in it when the object goes (folders the test made read-only
// included). The one temporary-folder helper of the test suites.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return FPath; }
  // The path of `name` in the folder.
  std::string File(const std::string& name) const { return FPath + "/" + name; }
  std::filesystem::path operator/(const std::string& name) const { return std::filesystem::path(FPath) / name; }
  // Writes `bytes` to `name` in the folder; returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string FPath;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), std::streamsize(bytes.size()));
}
