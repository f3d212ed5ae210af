#include "show/PlaybackSettings.h"

#include <cstdlib>

#include "audio/output/TDXAudioOut.h"

namespace PlaybackSettings {

std::string DeviceChoice(const std::optional<std::string>& option) {
  if (option) return *option;
  const char* value = std::getenv(kDeviceVariable);
  return value ? std::string(value) : std::string();
}

TDeviceChoice SetUpOutput(TDXAudioOut& out, std::string_view device) {
  out.SetDeviceNumber(kDeviceNumber);
  out.SetFramesInBuffer(kFramesInBuffer);
  out.SetPollingInterval(kPollingInterval);
  // No choice is never an error, even without any device: the first pass
  // then says there is none, as it always has.
  if (device.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    TDeviceChoice choice;
    choice.Result = TDeviceChoiceResult::Found;
    choice.Number = kDeviceNumber;
    if (out.DeviceCount() > kDeviceNumber) choice.Name = out.Devices(kDeviceNumber).Name.data();
    return choice;
  }
  return out.ChooseDevice(device);
}

}  // namespace PlaybackSettings
