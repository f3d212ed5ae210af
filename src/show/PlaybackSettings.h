#pragma once
// How the program's sound output is set up, decided here for everything
// that plays as the window does (the window, --play, --run, --render).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "audio/output/TDeviceChoice.h"

class TDXAudioOut;

namespace PlaybackSettings {
inline constexpr int32_t kDeviceNumber = 0;         // the system's default output
inline constexpr uint32_t kFramesInBuffer = 65535;  // device buffer, in frames
inline constexpr uint32_t kPollingInterval = 800;   // ms between buffer refills
// The environment variable that chooses the sound output when no --device
// option does.
inline constexpr const char* kDeviceVariable = "VOMRELLA_DEVICE";

// The operator's choice of sound output, as TDeviceChoice.h reads it: the
// --device option's value when given (it wins), else VOMRELLA_DEVICE, else
// "" (the default output). There is no settings file. Any thread.
std::string DeviceChoice(const std::optional<std::string>& option);

// Gives `out` the buffer and polling interval above and the device `device`
// chooses (a number or a name; "" is the default output and never fails,
// even where there is no device at all). When the choice
// fits no device, or several, `out` keeps the default output and the
// result's Message says why: callers refuse to play then, never falling
// back in silence. GUI thread, while the output is idle.
TDeviceChoice SetUpOutput(TDXAudioOut& out, std::string_view device = {});
}  // namespace PlaybackSettings
