#include "services/hotkeys/THotkeyService.h"

#include <QGuiApplication>
#include <cstdlib>
#include <map>
#include <string_view>

#include "services/hotkeys/TXcbHotkeyService.h"

uint16_t GlobalAddAtom(const std::string& name) {
  static std::map<std::string, uint16_t> atoms;
  auto [it, added] = atoms.try_emplace(name, uint16_t(0xC000 + atoms.size()));
  return it->second;
}

bool OnWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (type && std::string_view(type) == "wayland") || (wayland && *wayland);
}

std::unique_ptr<THotkeyService> CreateDefaultHotkeyService() {
  const bool xcbPlatform = QGuiApplication::platformName() == QLatin1String("xcb");
  const char* display = std::getenv("DISPLAY");
  if (!xcbPlatform && (!display || !*display)) return std::make_unique<TNoHotkeyService>("nincs X11 kijelző");
  auto service = std::make_unique<TXcbHotkeyService>();
  if (!service->Connected()) return std::make_unique<TNoHotkeyService>("nem sikerült kapcsolódni az X11 kijelzőhöz");
  return service;
}
