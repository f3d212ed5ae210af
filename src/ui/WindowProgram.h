#pragma once
// Running the window as the program does.

#include <string>

// True when Qt can show a window here: a display is set, or a platform was
// chosen through QT_QPA_PLATFORM.
bool WindowPlatformAvailable();

// The option the desktop entry's Exec line puts before the document
// ("vomrella --from-desktop %f"): the program was started by the desktop
// (file manager, "Open with", the menu), in a folder that means nothing to
// the operator, so clips are looked up beside each script it loads.
inline constexpr const char* kFromDesktopOption = "--from-desktop";

// Creates the application and the main window (loading `firstArgument` as a
// script when it is not empty; with `fromDesktop`, clips beside the script;
// playing on the sound output `device` chooses, PlaybackSettings), shows it
// and runs the event loop; returns the exit status. Without a display it
// prints one line saying how to run the program under a virtual display and
// returns 1; a device choice that fits no output, or several, is refused
// with its reason on stderr and 2, before the window opens.
int RunWindowProgram(int argc, char** argv, const std::string& firstArgument, bool fromDesktop = false,
                     const std::string& device = {});
