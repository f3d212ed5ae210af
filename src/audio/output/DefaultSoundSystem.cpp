#include <cstdlib>
#include <mutex>
#include <string_view>

#include "audio/output/TPortAudioSystem.h"
#include "audio/output/TSoundSystem.h"
#include "audio/output/TVirtualSoundSystem.h"

namespace {

std::shared_ptr<TSoundSystem> MakeSoundSystem() {
  const char* choice = std::getenv("VOMRELLA_AUDIO");
  const std::string_view value = choice ? choice : "";
  if (value == "virtual") return std::make_shared<TVirtualSoundSystem>();
  if (value.starts_with("virtual:")) {
    TVirtualOptions options;
    options.CaptureFile = std::string(value.substr(8));
    return std::make_shared<TVirtualSoundSystem>(options);
  }
  return std::make_shared<TPortAudioSystem>();
}

}  // namespace

std::shared_ptr<TSoundSystem> DefaultSoundSystem() {
  static std::mutex SharedLock;  // guards Shared
  static std::weak_ptr<TSoundSystem> Shared;
  std::lock_guard lock(SharedLock);
  std::shared_ptr<TSoundSystem> system = Shared.lock();
  if (!system) {
    system = MakeSoundSystem();
    Shared = system;
  }
  return system;
}
