#pragma once
// What the sound output says to the operator when a device cannot be chosen,
// opened or kept: Hungarian texts that name the device and the cause. The
// causes come from TSoundSystem::ResultText. Any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio/output/TSoundSystem.h"

namespace SoundMessages {

// A device number outside the table (DeviceCount entries, maybe none).
std::string NoDeviceNumber(int64_t Number, int32_t DeviceCount);
// A name that matches no device, or more than one.
std::string NoDeviceName(std::string_view Name, int32_t DeviceCount);
std::string AmbiguousDeviceName(std::string_view Name, const std::vector<std::string>& Matches);
// The device (or its output buffer) cannot be opened for a pass.
std::string CannotOpen(std::string_view Device, std::string_view Cause, TSoundResult Code);
// A pass that was playing on Device has stopped for Cause.
std::string PlaybackBroke(std::string_view Device, std::string_view Cause);
// The cause when a device takes no sound for many polls without an error.
inline constexpr const char* kDeviceNotTaking = "a hangeszköz nem veszi át a hangot";
// The chosen device could not be opened, so the pass plays on the default.
std::string FellBackToDefault(std::string_view Chosen, std::string_view Cause, std::string_view Default);

}  // namespace SoundMessages
