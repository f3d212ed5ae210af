#pragma once
// In-place conversion of IEEE float samples to 32-bit integer PCM.
//
// Each value v maps, tested in this order: v >= 1.0 -> 2147483647; v not
// greater than -1.0 (NaN included) -> -2147483648; 0 -> 0; otherwise
// floor(v * 2147483647), computed in double precision for both widths.

#include <cstddef>
#include <cstdint>

int32_t FloatSampleToInt32(double v);

// count 4-byte floats at buffer become count 32-bit integers at the same place.
void SingleToInt32(uint8_t* buffer, size_t count);

// count 8-byte doubles at buffer become count 32-bit integers packed at its
// start (the result takes half the bytes).
void DoubleToInt32(uint8_t* buffer, size_t count);
