#pragma once
// The one rule against a double GO: a press of the same action within
// kWindow of its previous press is dropped. The time is measured from the
// previous press, taken or not, so a key held down (a desktop repeating a
// media key) fires once however long it is held, and two quick presses of
// the play key start one announcement, not two with the first cut short.
// The hotkeys (THotkeyService) and the remote control (TMprisService) each
// keep one guard.
//
// Threads: one thread per guard (the GUI thread).

#include <chrono>
#include <functional>
#include <map>

class TPressGuard {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr std::chrono::milliseconds kWindow{300};

  // Reads `clock` (the steady clock when empty) once per press.
  explicit TPressGuard(TClock clock = {}) : Clock(std::move(clock)) {}
  void SetClock(TClock clock) { Clock = std::move(clock); }

  // True when this press of `action` counts; false when it comes within
  // kWindow of the previous press of the same action.
  [[nodiscard]] bool Take(int action);

 private:
  TClock Clock;
  std::map<int, std::chrono::steady_clock::time_point> LastPress;
};
