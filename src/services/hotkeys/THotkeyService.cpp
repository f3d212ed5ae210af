#include "services/hotkeys/THotkeyService.h"

#include <QGuiApplication>
#include <cstdlib>
#include <map>

#include "services/hotkeys/TXcbHotkeyService.h"

uint16_t GlobalAddAtom(const std::string& name) {
  static std::map<std::string, uint16_t> atoms;
  auto [it, added] = atoms.try_emplace(name, uint16_t(0xC000 + atoms.size()));
  return it->second;
}

std::unique_ptr<THotkeyService> CreateDefaultHotkeyService() {
  const bool xcbPlatform = QGuiApplication::platformName() == QLatin1String("xcb");
  const char* display = std::getenv("DISPLAY");
  if (!xcbPlatform && (!display || !*display)) return std::make_unique<TNoHotkeyService>("nincs X11 kijelző");
  auto service = std::make_unique<TXcbHotkeyService>();
  if (!service->Connected()) return std::make_unique<TNoHotkeyService>("cannot connect to the X11 display");
  return service;
}
