#include "audio/decoders/ImaAdpcm.h"

#include "audio/decoders/WaveHeader.h"

TImaChannel ReadImaChannelHeader(const uint8_t* header) {
  TImaChannel c;
  c.Predictor = int16_t(LoadLE16(header));
  c.StepIndex = header[2] > kImaMaxStepIndex ? kImaMaxStepIndex : header[2];
  return c;
}

