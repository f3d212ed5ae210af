#pragma once
// Text helpers shared by the tag containers: single-byte (Windows-1250) and
// wide text conversion, UTF-8/UTF-16 decoding of tag frames, trimming and
// decimal parsing. Narrow text is the program's single-byte text; wide text
// holds one Unicode code point per wchar_t.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tagtext {

// Windows-1250 bytes to wide text (bytes with no character become U+FFFD).
std::wstring NarrowToWide(std::string_view narrow);
// Wide text to Windows-1250; characters it cannot hold become '?'.
std::string WideToNarrow(std::wstring_view wide);

// Decodes UTF-8; malformed sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// Decodes UTF-16 code units (surrogate pairs joined, lone ones become U+FFFD).
std::wstring Utf16ToWide(const std::u16string& units);

// Removes leading and trailing blanks and control characters (bytes <= 0x20).
std::string Trim(std::string_view text);
std::wstring Trim(std::wstring_view text);

// A whole decimal integer with optional sign and surrounding blanks; nullopt
// for anything else (empty text, other characters, out of int64 range).
std::optional<int64_t> ParseInteger(std::string_view text);

// Compares ASCII letters without regard to case.
bool EqualNoCase(std::string_view a, std::string_view b);
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace tagtext
