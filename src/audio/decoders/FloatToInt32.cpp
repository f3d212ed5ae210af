#include "audio/decoders/FloatToInt32.h"

#include <cstring>

int32_t FloatSampleToInt32(double v) { return FloatSampleToInt32Inline(v); }

namespace {

// Ascending order is safe in place: sample k is read from sizeof(Float) * k
// before 4k..4k+3 is written, and no later sample lies below that.
template <class Float>
void ToInt32InPlace(uint8_t* buffer, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    Float v;
    std::memcpy(&v, buffer + sizeof(Float) * k, sizeof(Float));
    const int32_t s = FloatSampleToInt32Inline(v);
    std::memcpy(buffer + 4 * k, &s, 4);
  }
}

}  // namespace

void SingleToInt32(uint8_t* buffer, size_t count) { ToInt32InPlace<float>(buffer, count); }

void DoubleToInt32(uint8_t* buffer, size_t count) { ToInt32InPlace<double>(buffer, count); }
