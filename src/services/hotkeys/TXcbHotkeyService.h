#pragma once
// System-wide hotkeys on X11. Each combination is grabbed on the root window
// with CTRL and every mix of the NumLock and CapsLock masks (NumLock's mask
// read from the modifier mapping), as checked requests: an X error (another
// client holds the combination) fails the registration and undoes its
// grabs. The service keeps a connection of its own and reads it from a
// socket notifier on the GUI thread, so it works under any Qt platform
// plugin. A keyboard mapping change grabs everything again.
//
// Auto-repeat: X delivers a held key as repeated presses (with or without
// a release of the same time stamp between them); only the first fires.
//
// Threads: GUI thread only.

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "services/hotkeys/THotkeyService.h"

class QSocketNotifier;
struct _XCBKeySymbols;

class TXcbHotkeyService : public THotkeyService {
 public:
  // Connects to `display` (the DISPLAY variable when empty). Check
  // Connected(); a service without a connection fails every registration.
  explicit TXcbHotkeyService(const std::string& display = {});
  ~TXcbHotkeyService() override;
  TXcbHotkeyService(const TXcbHotkeyService&) = delete;
  TXcbHotkeyService& operator=(const TXcbHotkeyService&) = delete;

  bool Connected() const { return Connection != nullptr; }
  [[nodiscard]] bool Register(uint16_t id, QChar key, std::string* why = nullptr) override;
  void Unregister(uint16_t id) override;
  void UnregisterAll() override;

  // Reads and handles every event waiting on the connection (the socket
  // notifier calls it; tests may too).
  void ProcessEvents();

  // The key symbol a typed character stands for: letters by their lower-case
  // symbol, every other Latin-1 character by its code, the rest as Unicode
  // symbols (0x1000000 + code point).
  static uint32_t KeysymFor(QChar key);

  // Presses taken as auto-repeat of a held combination and not delivered.
  int RepeatsIgnored() const { return FRepeatsIgnored; }

 private:
  struct THotkey {
    QChar Key;
    std::vector<uint8_t> Keycodes;  // grabbed keycodes
  };
  // Grabs key's keycodes with every lock mix; false (nothing left grabbed)
  // on any X error.
  bool Grab(THotkey& hotkey, std::string* why);
  void Ungrab(const THotkey& hotkey);
  void ReadNumLockMask();
  void Regrab();
  void HandleKey(const xcb_generic_event_t* event);

  xcb_connection_t* Connection = nullptr;
  xcb_window_t Root = 0;
  _XCBKeySymbols* KeySymbols = nullptr;
  uint16_t NumLockMask = 0;
  std::unique_ptr<QSocketNotifier> Notifier;
  std::map<uint16_t, THotkey> Hotkeys;
  std::set<uint8_t> Held;                  // keycodes pressed and not released
  std::map<uint8_t, uint32_t> ReleasedAt;  // last release time per keycode
  int FRepeatsIgnored = 0;
};
