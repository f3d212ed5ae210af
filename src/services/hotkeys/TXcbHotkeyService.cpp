#include "services/hotkeys/TXcbHotkeyService.h"

#include <xcb/xcb_keysyms.h>

#include <QSocketNotifier>
#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kNumLockKeysym = 0xff7f;  // XK_Num_Lock
constexpr uint8_t kBadAccess = 10;

struct TFreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using TXcbReply = std::unique_ptr<T, TFreeDeleter>;

std::string XErrorText(const xcb_generic_error_t& error) {
  if (error.error_code == kBadAccess) return "egy másik program már lefoglalta ezt a billentyűkombinációt";
  return "X-hiba, kódja: " + std::to_string(error.error_code);
}

}  // namespace

TXcbHotkeyService::TXcbHotkeyService(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  if (!screens.rem) {
    xcb_disconnect(connection);
    return;
  }
  Connection = connection;
  Root = screens.data->root;
  KeySymbols = xcb_key_symbols_alloc(Connection);
  ReadNumLockMask();
  Notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(Connection), QSocketNotifier::Read);
  QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this] { ProcessEvents(); });
}

TXcbHotkeyService::~TXcbHotkeyService() {
  Notifier.reset();
  if (!Connection) return;
  UnregisterAll();
  xcb_flush(Connection);
  if (KeySymbols) xcb_key_symbols_free(KeySymbols);
  xcb_disconnect(Connection);
}

uint32_t TXcbHotkeyService::KeysymFor(QChar key) {
  const char16_t c = key.unicode();
  if (c >= u'A' && c <= u'Z') return uint32_t(c - u'A' + u'a');
  if ((c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0xff)) return uint32_t(c);
  return 0x1000000u + uint32_t(c);
}

void TXcbHotkeyService::ReadNumLockMask() {
  NumLockMask = 0;
  TXcbReply<xcb_get_modifier_mapping_reply_t> mapping(
      xcb_get_modifier_mapping_reply(Connection, xcb_get_modifier_mapping(Connection), nullptr));
  if (!mapping || !KeySymbols) return;
  TXcbReply<xcb_keycode_t> numLock(xcb_key_symbols_get_keycode(KeySymbols, kNumLockKeysym));
  if (!numLock) return;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
  const int perModifier = mapping->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier)
    for (int k = 0; k < perModifier; ++k) {
      const xcb_keycode_t code = codes[modifier * perModifier + k];
      if (code == XCB_NO_SYMBOL) continue;
      for (const xcb_keycode_t* n = numLock.get(); *n != XCB_NO_SYMBOL; ++n)
        if (*n == code) NumLockMask = uint16_t(1u << modifier);
    }
}

bool TXcbHotkeyService::Grab(THotkey& hotkey, std::string* why) {
  hotkey.Keycodes.clear();
  TXcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(KeySymbols, KeysymFor(hotkey.Key)));
  if (codes)
    for (const xcb_keycode_t* c = codes.get(); *c != XCB_NO_SYMBOL; ++c)
      if (std::find(hotkey.Keycodes.begin(), hotkey.Keycodes.end(), *c) == hotkey.Keycodes.end())
        hotkey.Keycodes.push_back(*c);
  if (hotkey.Keycodes.empty()) {
    if (why) *why = "a billentyűzet egyik billentyűje sem adja ezt a karaktert";
    return false;
  }
  const uint16_t locks[] = {0, NumLockMask, XCB_MOD_MASK_LOCK, uint16_t(NumLockMask | XCB_MOD_MASK_LOCK)};
  std::vector<xcb_void_cookie_t> cookies;
  for (uint8_t code : hotkey.Keycodes)
    for (uint16_t lock : locks)
      cookies.push_back(xcb_grab_key_checked(Connection, 1, Root, uint16_t(XCB_MOD_MASK_CONTROL | lock), code,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  bool ok = true;
  for (xcb_void_cookie_t cookie : cookies) {
    TXcbReply<xcb_generic_error_t> error(xcb_request_check(Connection, cookie));
    if (error && ok) {
      ok = false;
      if (why) *why = XErrorText(*error);
    }
  }
  if (!ok) {
    // Ungrabbing what another client holds does nothing to its grab.
    Ungrab(hotkey);
    hotkey.Keycodes.clear();
  }
  return ok;
}

void TXcbHotkeyService::Ungrab(const THotkey& hotkey) {
  const uint16_t locks[] = {0, NumLockMask, XCB_MOD_MASK_LOCK, uint16_t(NumLockMask | XCB_MOD_MASK_LOCK)};
  for (uint8_t code : hotkey.Keycodes)
    for (uint16_t lock : locks) xcb_ungrab_key(Connection, code, Root, uint16_t(XCB_MOD_MASK_CONTROL | lock));
  xcb_flush(Connection);
}

bool TXcbHotkeyService::Register(uint16_t id, QChar key, std::string* why) {
  if (!Connection) {
    if (why) *why = "nincs kapcsolat az X11 kijelzővel";
    return false;
  }
  Unregister(id);
  THotkey hotkey{key, {}};
  if (!Grab(hotkey, why)) return false;
  Hotkeys[id] = std::move(hotkey);
  return true;
}

void TXcbHotkeyService::Unregister(uint16_t id) {
  const auto it = Hotkeys.find(id);
  if (it == Hotkeys.end()) return;
  const THotkey hotkey = std::move(it->second);
  Hotkeys.erase(it);
  // A keycode another id still uses stays grabbed.
  THotkey release{hotkey.Key, {}};
  for (uint8_t code : hotkey.Keycodes) {
    const bool shared = std::any_of(Hotkeys.begin(), Hotkeys.end(), [&](const auto& other) {
      const auto& codes = other.second.Keycodes;
      return std::find(codes.begin(), codes.end(), code) != codes.end();
    });
    if (!shared) release.Keycodes.push_back(code);
  }
  Ungrab(release);
}

void TXcbHotkeyService::UnregisterAll() {
  while (!Hotkeys.empty()) Unregister(Hotkeys.begin()->first);
}

void TXcbHotkeyService::Regrab() {
  for (auto& [id, hotkey] : Hotkeys) Ungrab(hotkey);
  ReadNumLockMask();
  for (auto it = Hotkeys.begin(); it != Hotkeys.end();) {
    // A combination lost to another client on the new mapping is dropped.
    if (Grab(it->second, nullptr))
      ++it;
    else
      it = Hotkeys.erase(it);
  }
  Held.clear();
}

void TXcbHotkeyService::HandleKey(const xcb_generic_event_t* event) {
  const uint8_t type = event->response_type & 0x7f;
  if (type == XCB_KEY_RELEASE) {
    const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
    Held.erase(release->detail);
    ReleasedAt[release->detail] = release->time;
    return;
  }
  const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
  if (!(press->state & XCB_MOD_MASK_CONTROL)) return;
  // Auto-repeat: a press while held, or one with the time stamp of the
  // release just before it, is the key still held.
  const bool repeat = Held.count(press->detail) > 0 ||
                      (ReleasedAt.count(press->detail) && ReleasedAt[press->detail] == press->time);
  Held.insert(press->detail);
  if (repeat) {
    ++FRepeatsIgnored;
    return;
  }
  std::vector<uint16_t> ids;
  for (const auto& [id, hotkey] : Hotkeys)
    if (std::find(hotkey.Keycodes.begin(), hotkey.Keycodes.end(), press->detail) != hotkey.Keycodes.end())
      ids.push_back(id);
  for (uint16_t id : ids) Pressed(id);
}

void TXcbHotkeyService::ProcessEvents() {
  if (!Connection) return;
  while (xcb_generic_event_t* raw = xcb_poll_for_event(Connection)) {
    TXcbReply<xcb_generic_event_t> event(raw);
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE:
        HandleKey(event.get());
        break;
      case XCB_MAPPING_NOTIFY: {
        auto* notify = reinterpret_cast<xcb_mapping_notify_event_t*>(event.get());
        if (notify->request == XCB_MAPPING_POINTER) break;
        xcb_refresh_keyboard_mapping(KeySymbols, notify);
        Regrab();
        break;
      }
      default:
        break;
    }
  }
  if (xcb_connection_has_error(Connection)) Notifier->setEnabled(false);
}
