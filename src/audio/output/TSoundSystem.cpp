#include "audio/output/TSoundSystem.h"

bool IsPlayableFormat(const TWaveFormat& format) {
  if (format.FormatTag == kWaveFormatExtensible) {
    if (format.ExtraSize < kWaveFormatExtensibleExtraSize || format.SubFormat != kPcmSubFormat) return false;
  } else if (format.FormatTag != kWaveFormatPcm) {
    return false;
  }
  const uint32_t bits = format.BitsPerSample;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (format.Channels < 1 || format.Channels > 32) return false;
  if (format.SamplesPerSec < 1 || format.SamplesPerSec > 768000) return false;
  return format.BlockAlign == format.Channels * bits / 8;
}
