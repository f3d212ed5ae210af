#pragma once
// The developer tools of the command line: pictures for review by eye.

#include "cli/CliCommand.h"

extern const CliCommand kWidgetGalleryCommand;  // CliWidgetGallery.cpp
extern const CliCommand kWindowShotCommand;     // CliWindowShot.cpp
