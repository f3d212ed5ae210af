#include "app/WindowProgram.h"

#include <cstdio>
#include <cstdlib>

#include "app/TFrm_Main.h"
#include "app/TVomrellaApplication.h"

bool WindowPlatformAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int RunWindowProgram(int argc, char** argv, const std::string& firstArgument, bool fromDesktop) {
  if (!WindowPlatformAvailable()) {
    std::fprintf(stderr,
                 "vomrella: nincs grafikus kijelző (DISPLAY nincs beállítva); virtuális kijelzőn így indítható: "
                 "xvfb-run -a vomrella%s%s\n",
                 firstArgument.empty() ? "" : " ", firstArgument.c_str());
    return 1;
  }
  TVomrellaApplication app(argc, argv);
  TFrm_Main::TOptions options;
  options.FirstArgument = firstArgument;
  options.ClipsBesideScript = fromDesktop;
  TFrm_Main window(std::move(options));
  window.show();
  return app.exec();
}
