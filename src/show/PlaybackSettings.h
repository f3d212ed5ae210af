#pragma once
// How the program's sound output is set up, decided here for everything
// that plays as the window does (the window, --play, --run, --render).

#include <cstdint>

class TDXAudioOut;

namespace PlaybackSettings {
inline constexpr int32_t kDeviceNumber = 0;         // the system's default output
inline constexpr uint32_t kFramesInBuffer = 65535;  // device buffer, in frames
inline constexpr uint32_t kPollingInterval = 800;   // ms between buffer refills

// Gives `out` the device, buffer and polling interval above. GUI thread,
// while the output is idle.
void SetUpOutput(TDXAudioOut& out);
}  // namespace PlaybackSettings
