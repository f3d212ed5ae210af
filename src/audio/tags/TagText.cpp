#include "audio/tags/TagText.h"

#include <iconv.h>

#include <array>
#include <cctype>
#include <algorithm>

namespace tagtext {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Windows-1250 upper half, built once through iconv so the table is glibc's.
const std::array<wchar_t, 128>& Cp1250Table() {
  static const std::array<wchar_t, 128> table = [] {
    std::array<wchar_t, 128> t{};
    iconv_t cd = iconv_open("WCHAR_T", "WINDOWS-1250");
    for (int i = 0; i < 128; ++i) {
      t[i] = kReplacement;
      if (cd == reinterpret_cast<iconv_t>(-1)) continue;
      char in = static_cast<char>(0x80 + i);
      wchar_t out = 0;
      char* inp = &in;
      char* outp = reinterpret_cast<char*>(&out);
      size_t inLeft = 1, outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && outLeft == 0) t[i] = out;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return t;
  }();
  return table;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

template <typename Char>
bool IsTrimmed(Char c) {
  return static_cast<uint32_t>(c) <= 0x20;
}

}  // namespace

std::wstring NarrowToWide(std::string_view narrow) {
  const auto& table = Cp1250Table();
  std::wstring out;
  out.reserve(narrow.size());
  for (char ch : narrow) {
    auto b = static_cast<unsigned char>(ch);
    out += b < 0x80 ? static_cast<wchar_t>(b) : table[b - 0x80];
  }
  return out;
}

std::string WideToNarrow(std::wstring_view wide) {
  const auto& table = Cp1250Table();
  std::string out;
  out.reserve(wide.size());
  for (wchar_t c : wide) {
    if (static_cast<uint32_t>(c) < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 128; ++i) {
      if (table[i] == c && c != kReplacement) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view s) {
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  std::wstring out;
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    // Lead byte that starts no sequence, or a sequence cut by the end.
    if (extra < 0 || s.size() - i <= size_t(extra)) {
      out += kReplacement;
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = true;
    for (int k = 1; ok && k <= extra; ++k) {
      auto cont = static_cast<unsigned char>(s[i + k]);
      ok = (cont & 0xC0) == 0x80;
      c = (c << 6) | (cont & 0x3F);
    }
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += kReplacement;
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(c);
    i += size_t(extra) + 1;
  }
  return out;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t w : wide) {
    auto c = static_cast<char32_t>(w);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf16ToWide(const std::u16string& units) {
  std::wstring out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacement;
    } else {
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsTrimmed(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && IsTrimmed(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

std::wstring Trim(std::wstring_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsTrimmed(text[b])) ++b;
  while (e > b && IsTrimmed(text[e - 1])) --e;
  return std::wstring(text.substr(b, e - b));
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    i = 1;
  }
  if (i == t.size()) return std::nullopt;
  uint64_t value = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    uint64_t digit = uint64_t(t[i] - '0');
    if (value > (limit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (negative) return value == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

}  // namespace tagtext
