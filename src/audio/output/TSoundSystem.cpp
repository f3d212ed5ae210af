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

std::string TSoundSystem::ResultText(TSoundResult result) const {
  switch (result) {
    case srOk: return "";
    case srInvalidArgument: return "a hangeszköz nem fogadja el ezt a beállítást (pufferméret)";
    case srOutOfMemory: return "nincs elég memória";
    case srBadFormat: return "a hangeszköz nem tudja lejátszani ezt a hangformátumot";
    case srNoDevice: return "az eszköz nem érhető el";
    case srStreamEnded: return "a hangeszköz vagy a hangszerver leállította a lejátszást";
    default: return "a hangrendszer hibát jelzett";
  }
}
