#include "support/TTempFolder.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TTempFolder::TTempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vomrella-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  // A test may have taken away the write permission to check a failure.
  fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(FPath, ignored);
}

std::string TTempFolder::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string path = File(name);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::string> TTempFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FPath)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}
