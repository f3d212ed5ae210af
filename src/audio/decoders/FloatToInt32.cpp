#include "audio/decoders/FloatToInt32.h"

#include <cstring>

int32_t FloatSampleToInt32(double v) { return FloatSampleToInt32Inline(v); }

void SingleToInt32(uint8_t* buffer, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    float v;
    std::memcpy(&v, buffer + 4 * k, 4);
    const int32_t s = FloatSampleToInt32Inline(v);
    std::memcpy(buffer + 4 * k, &s, 4);
  }
}

void DoubleToInt32(uint8_t* buffer, size_t count) {
  // Ascending order is safe in place: sample k is read from 8k before 4k..4k+3 is written.
  for (size_t k = 0; k < count; ++k) {
    double v;
    std::memcpy(&v, buffer + 8 * k, 8);
    const int32_t s = FloatSampleToInt32Inline(v);
    std::memcpy(buffer + 4 * k, &s, 4);
  }
}
