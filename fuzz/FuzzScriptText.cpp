// Any bytes as a script: the reader over bytes in memory and over a file
// must give the same lines as a plain split at CR LF, LF and CR followed by
// the line classifier, and every item's pause must be the one a separate
// parse of the text after the first bar gives.

#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/ScriptFormat.h"
#include "model/TScriptReader.h"

namespace {

// Optional sign, then one or more digits and nothing else, within int32.
int32_t ReferencePause(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');
    if (value > int64_t(INT32_MAX) + 1) return 0;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return 0;
  return int32_t(value);
}

std::vector<TScriptLine> ReferenceLines(std::string_view text) {
  std::vector<TScriptLine> lines;
  bool open = false;
  size_t number = 0, start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    ++number;
    const std::string_view raw = text.substr(start, end - start);
    TScriptLine line = ClassifyScriptLine(raw, open);
    if (line.IsHeader) open = true;
    if (line.IsItem) {
      const size_t bar = raw.find('|');
      FUZZ_CHECK(bar != std::string_view::npos);
      FUZZ_CHECK(line.FileName == raw.substr(0, bar));
      FUZZ_CHECK(line.Pause == ReferencePause(raw.substr(bar + 1)));
    }
    if (line.IsHeader || line.IsItem) {
      line.LineNumber = number;
      lines.push_back(line);
    }
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

bool Same(const TScriptLine& a, const TScriptLine& b) {
  return a.LineNumber == b.LineNumber && a.IsHeader == b.IsHeader && a.Name == b.Name && a.IsItem == b.IsItem &&
         a.FileName == b.FileName && a.Pause == b.Pause;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<TScriptLine> expected = ReferenceLines(text);
  const std::vector<TScriptLine> inMemory = TScriptReader::ReadText(text);
  FUZZ_CHECK(inMemory.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) FUZZ_CHECK(Same(inMemory[i], expected[i]));


  // The file reader reads in blocks; its lines must not depend on where a
  // block ends.
  const int fd = MemoryFile(data, size);
  if (fd < 0) return 0;
  const std::vector<TScriptLine> fromFile = TScriptReader::ReadFile("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);
  FUZZ_CHECK(fromFile.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) FUZZ_CHECK(Same(fromFile[i], expected[i]));
  return 0;
}
