#pragma once
// Windows-1250 <-> UTF-8. Names and clip file names are held as
// Windows-1250 bytes everywhere in the program; they are converted only at
// the edges (the window's text, file-system paths, terminal output).
//
// Both directions write "?" for what the other side cannot hold: a
// character Windows-1250 has no byte for, a byte Windows-1250 leaves
// undefined (0x81, 0x83, 0x88, 0x90, 0x98) and each byte of malformed UTF-8.
// They never throw for bad input. Thread-safe (each call uses its own
// converter); throws std::runtime_error only if the C library has no
// Windows-1250 converter at all.

#include <string>
#include <string_view>

std::string Cp1250ToUtf8(std::string_view cp1250);
std::string Utf8ToCp1250(std::string_view utf8);
