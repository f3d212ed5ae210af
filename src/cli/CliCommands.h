#pragma once
// The commands that need no window, each defined in its Cli*.cpp.

#include "cli/CliCommand.h"

extern const CliCommand kCheckCommand;   // CliCheck.cpp
extern const CliCommand kDecodeCommand;  // CliDecode.cpp
extern const CliCommand kDevicesCommand;  // CliDevices.cpp
extern const CliCommand kListCommand;    // CliList.cpp
extern const CliCommand kPlayCommand;    // CliPlay.cpp
extern const CliCommand kProbeCommand;   // CliProbe.cpp
extern const CliCommand kRemoteCommand;  // CliRemote.cpp
extern const CliCommand kRenderCommand;  // CliRender.cpp
extern const CliCommand kRunCommand;     // CliRun.cpp
