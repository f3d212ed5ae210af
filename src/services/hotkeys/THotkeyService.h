#pragma once
// System-wide hotkeys: CTRL plus one key, registered for the main window
// under an id, removed again by that id, each press delivered on the GUI
// thread with the id. A held combination fires once; the next press fires
// again, unless it comes within TPressGuard::kWindow of the previous press
// of the same combination (a double press is one GO).
//
// Threads: GUI thread only, presses included.

#include <QChar>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "services/hotkeys/TPressGuard.h"

class THotkeyService {
 public:
  using TPressHandler = std::function<void(uint16_t id)>;

  virtual ~THotkeyService() = default;

  // Registers CTRL+key under id (replacing what id held). False, with the
  // reason in *why (in Hungarian: the window shows it as it is), when the combination cannot be had: another program
  // holds it, the key is on no key of the keyboard, or there is no display.
  [[nodiscard]] virtual bool Register(uint16_t id, QChar key, std::string* why = nullptr) = 0;
  // Removes id's combination; nothing when id holds none.
  virtual void Unregister(uint16_t id) = 0;
  // Removes every combination (the window closes).
  virtual void UnregisterAll() = 0;

  void SetPressHandler(TPressHandler handler) { PressHandler = std::move(handler); }
  // Replaces the clock the double-press rule reads (tests).
  void SetClock(TPressGuard::TClock clock) { Guard.SetClock(std::move(clock)); }

 protected:
  // A press of id's combination (not a held key's repeat): delivered unless
  // it repeats the previous press of id within the guard's window.
  void Pressed(uint16_t id) {
    if (!Guard.Take(id)) return;
    if (PressHandler) PressHandler(id);
  }

 private:
  TPressHandler PressHandler;
  TPressGuard Guard;
};

// The program-wide atom table: the same name gives the same 16-bit value
// (0xC000 upwards) for the life of the process; never 0. GUI thread.
uint16_t GlobalAddAtom(const std::string& name);

// True on a Wayland session (XDG_SESSION_TYPE=wayland, or WAYLAND_DISPLAY
// set): there X11 key grabs see a key only while an X11 window has the
// focus, not while a Wayland program has it. Any thread; reads the
// environment at each call.
bool OnWaylandSession();

// The service the window uses when none is given: X11 when Qt runs on the
// xcb platform (or a display is set), else one whose registrations fail.
std::unique_ptr<THotkeyService> CreateDefaultHotkeyService();

// A service that registers nothing, for the reason given (shown to the operator).
class TNoHotkeyService : public THotkeyService {
 public:
  explicit TNoHotkeyService(std::string reason) : Reason(std::move(reason)) {}
  bool Register(uint16_t, QChar, std::string* why) override {
    if (why) *why = Reason;
    return false;
  }
  void Unregister(uint16_t) override {}
  void UnregisterAll() override {}

 private:
  std::string Reason;
};
