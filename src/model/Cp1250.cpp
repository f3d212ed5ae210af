#include "model/Cp1250.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// One iconv conversion handle, closed with its owner.
class TIconv {
 public:
  TIconv(const char* to, const char* from) : Handle_(iconv_open(to, from)) {
    if (Handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("no iconv converter from ") + from + " to " + to);
  }
  ~TIconv() { iconv_close(Handle_); }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  // Converts `in`; `skip` tells how many input bytes to replace by one "?"
  // when the input at that point cannot be converted.
  template <typename Skip>
  std::string Convert(std::string_view in, Skip skip) {
    std::string out;
    out.reserve(in.size() * 2);
    char buffer[1024];
    char* src = const_cast<char*>(in.data());  // iconv's prototype; it does not write the input
    size_t srcLeft = in.size();
    iconv(Handle_, nullptr, nullptr, nullptr, nullptr);
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t rc = iconv(Handle_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, size_t(dst - buffer));
      if (rc != size_t(-1)) continue;
      if (errno == E2BIG) continue;  // buffer full: drained above, go on
      // EILSEQ (cannot be converted) or EINVAL (cut-off sequence at the end).
      size_t n = skip(std::string_view(src, srcLeft));
      if (n == 0 || n > srcLeft) n = 1;
      out.push_back('?');
      src += n;
      srcLeft -= n;
      iconv(Handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t Handle_;
};

// Length of the well-formed UTF-8 sequence at the front of s (the table of
// well-formed byte sequences: no overlong forms, no surrogates, nothing past
// U+10FFFF), else 1, so that each byte of a malformed one becomes a "?".
size_t Utf8SequenceLength(std::string_view s) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = byte(0);
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b >= 0xE0 && b <= 0xEF) n = 3, low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
  else if (b >= 0xF0 && b <= 0xF4) n = 4, low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
  if (n == 0 || n > s.size()) return 1;
  if (byte(1) < low || byte(1) > high) return 1;
  for (size_t i = 2; i < n; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 1;
  return n;
}

}  // namespace

std::string Cp1250ToUtf8(std::string_view cp1250) {
  TIconv converter("UTF-8", "WINDOWS-1250");
  return converter.Convert(cp1250, [](std::string_view) { return size_t(1); });
}

std::string Utf8ToCp1250(std::string_view utf8) {
  TIconv converter("WINDOWS-1250", "UTF-8");
  return converter.Convert(utf8, Utf8SequenceLength);
}
