#pragma once
// Bounds past which a length in a script is almost surely a typo (an extra
// digit or two in a pause), named once for the pre-show check and the
// window's item editor.

#include <cstdint>

// A pause after a clip of more than an hour: the check warns, the window's
// add refuses it.
inline constexpr int32_t kLongPauseMs = 3600 * 1000;
// A composition of more than three hours: the check warns.
inline constexpr double kLongCompositionSeconds = 3 * 3600.0;
