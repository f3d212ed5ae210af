#include "audio/decoders/ClipReader.h"

#include <algorithm>
#include <cctype>

#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

}  // namespace

TComponentPtr<TAuFileIn> CreateClipReader(const std::string& path, std::string* message) {
  const std::string ext = LowerExtension(path);
  if (ext == ".wav") {
    auto reader = MakeComponent<TWaveIn>();
    reader->SetFileName(path);
    return reader;
  }
  // Every other extension goes to the media-format reader, as the program
  // does for the clips of a loaded script.
  (void)message;
  auto reader = MakeComponent<TMP3In>();
  reader->SetFileName(path);
  return reader;
}
