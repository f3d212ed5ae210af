#pragma once
// The operator's choice of sound output, by number or by name, resolved
// against a device table in one place for every caller (command line,
// environment, the window's menu).
//
// A choice is:
// - empty: the system's default output (number 0);
// - all decimal digits: the device of that number in the table;
// - anything else: a name. The entry whose name is exactly the choice wins,
//   then one whose name equals it ignoring ASCII letter case, then the one
//   entry whose name contains it ignoring case. A name that fits none, or
//   fits several equally, is not resolved: never a silent fall-back.
// Blanks around the choice are ignored.

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/output/TDSWrapper.h"

enum class TDeviceChoiceResult { Found, NoSuchDevice, Ambiguous };

struct TDeviceChoice {
  TDeviceChoiceResult Result = TDeviceChoiceResult::NoSuchDevice;
  int32_t Number = -1;  // index into the device table, when found
  std::string Name;     // that entry's name, when found
  std::string Message;  // why not, in Hungarian, when not found

  bool Found() const { return Result == TDeviceChoiceResult::Found; }
};

// Any thread (the table is the caller's).
TDeviceChoice ResolveDeviceChoice(const TDeviceTable& Devices, int32_t DeviceCount, std::string_view Choice);
