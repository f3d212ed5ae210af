#include "services/hotkeys/TPressGuard.h"

bool TPressGuard::Take(int action) {
  const auto now = Clock ? Clock() : std::chrono::steady_clock::now();
  const auto [last, first] = LastPress.try_emplace(action, now);
  if (first) return true;
  const bool again = now - last->second < kWindow;
  last->second = now;
  return !again;
}
