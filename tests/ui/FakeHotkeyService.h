#pragma once
// Hotkeys for the offscreen window tests: registrations are recorded, a test
// presses a registered combination with Press, and combinations listed in
// Taken fail as if another program held them. The double-press rule reads
// the fake's own clock, which each press moves on.

#include <QChar>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "services/hotkeys/THotkeyService.h"

class TFakeHotkeyService : public THotkeyService {
 public:
  struct TCall {
    std::string What;  // "register" or "unregister"
    uint16_t Id = 0;
    QChar Key;
  };

  TFakeHotkeyService() {
    SetClock([this] { return Now; });
  }

  std::set<QChar> Taken;
  std::chrono::steady_clock::time_point Now{std::chrono::hours(1)};
  std::map<uint16_t, QChar> Registered;
  std::vector<TCall> Calls;

  bool Register(uint16_t id, QChar key, std::string* why) override {
    Calls.push_back({"register", id, key});
    if (Taken.count(key)) {
      if (why) *why = "taken";
      return false;
    }
    Registered[id] = key;
    return true;
  }
  void Unregister(uint16_t id) override {
    Calls.push_back({"unregister", id, {}});
    Registered.erase(id);
  }
  void UnregisterAll() override { Registered.clear(); }

  // A press of CTRL+key `after` the previous press (by default a new press,
  // not a double one): delivered with the id the key is registered under
  // unless the double-press rule drops it; false when no id holds it.
  bool Press(QChar key, std::chrono::milliseconds after = std::chrono::seconds(1)) {
    Now += after;
    for (const auto& [id, registered] : Registered)
      if (registered == key) {
        Pressed(id);
        return true;
      }
    return false;
  }
};
