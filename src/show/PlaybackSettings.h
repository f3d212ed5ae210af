#pragma once
// The playback settings of the window's sound output, shared by everything
// that plays a composition as the window does.

#include <cstdint>

namespace PlaybackSettings {
inline constexpr int32_t kDeviceNumber = 0;         // the system's default output
inline constexpr uint32_t kFramesInBuffer = 65535;  // device buffer, in frames
inline constexpr uint32_t kPollingInterval = 800;   // ms between buffer refills
}  // namespace PlaybackSettings
