#include "show/PlaybackSettings.h"

#include "audio/output/TDXAudioOut.h"

namespace PlaybackSettings {

void SetUpOutput(TDXAudioOut& out) {
  out.SetDeviceNumber(kDeviceNumber);
  out.SetFramesInBuffer(kFramesInBuffer);
  out.SetPollingInterval(kPollingInterval);
}

}  // namespace PlaybackSettings
