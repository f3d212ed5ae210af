#pragma once
// In-place conversion of IEEE float samples to 32-bit integer PCM.
//
// Each value v maps, tested in this order: v >= 1.0 -> 2147483647; v not
// greater than -1.0 (NaN included) -> -2147483648; 0 -> 0; otherwise
// floor(v * 2147483647), computed in double precision for both widths.

#include <cstddef>
#include <cstdint>

int32_t FloatSampleToInt32(double v);

inline int32_t FloatSampleToInt32Inline(double v) {
  if (v >= 1.0) return INT32_MAX;
  if (!(v > -1.0)) return INT32_MIN;
  // floor without a library call: |x| < 2^31 here, so truncation is exact
  // and only negative non-integers need one step down.
  const double x = v * 2147483647.0;
  int64_t t = int64_t(x);
  if (x < double(t)) --t;
  return int32_t(t);
}

// count 4-byte floats at buffer become count 32-bit integers at the same place.
void SingleToInt32(uint8_t* buffer, size_t count);

// count 8-byte doubles at buffer become count 32-bit integers packed at its
// start (the result takes half the bytes).
void DoubleToInt32(uint8_t* buffer, size_t count);
