#include "ui/WindowProgram.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "audio/core/TComponent.h"
#include "audio/output/TDXAudioOut.h"
#include "show/PlaybackSettings.h"
#include "ui/TFrm_Main.h"
#include "ui/TVomrellaApplication.h"

bool WindowPlatformAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int RunWindowProgram(int argc, char** argv, const std::string& firstArgument, bool fromDesktop,
                     const std::string& device) {
  if (!WindowPlatformAvailable()) {
    std::fprintf(stderr,
                 "vomrella: nincs grafikus kijelző (DISPLAY nincs beállítva); virtuális kijelzőn így indítható: "
                 "xvfb-run -a vomrella%s%s\n",
                 firstArgument.empty() ? "" : " ", firstArgument.c_str());
    return 1;
  }
  // The choice is checked before the window loads anything: an output of
  // its own, on the sound system the window then shares (started once).
  std::shared_ptr<TSoundSystem> sound = DefaultSoundSystem();
  {
    TComponentPtr<TDXAudioOut> probe(new TDXAudioOut(nullptr, sound));
    if (const TDeviceChoice choice = PlaybackSettings::SetUpOutput(*probe, device); !choice.Found()) {
      const std::string message = choice.Message + "\nA hangkimenetek listája: vomrella --devices";
      std::fprintf(stderr, "vomrella: %s\n", message.c_str());
      // Started from the desktop (VOMRELLA_DEVICE in the session), nobody
      // reads stderr: a box says why no window opens.
      if (fromDesktop) {
        TVomrellaApplication app(argc, argv);
        QMessageBox::critical(nullptr, QStringLiteral("Vomrella"), QString::fromStdString(message));
      }
      return 2;
    }
  }
  TVomrellaApplication app(argc, argv);
  TFrm_Main::TOptions options;
  options.SoundSystem = std::move(sound);
  options.Device = device;
  options.FirstArgument = firstArgument;
  options.ClipsBesideScript = fromDesktop;
  TFrm_Main window(std::move(options));
  window.show();
  return app.exec();
}
