// Keyboard and pointer of the Wayland driver: the seat's devices as they
// come and go, keys through the compositor's xkbcommon keymap to key codes
// and window events, the client-side key repeat, pointer events.  Window
// thread, under the display lock (the listeners run in its tick).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "key_symbols.h"
#include "wayland_window.h"
#include "../driver_support.h"
#include "../events.h"
#include "../keyboard.h"
#include "../window_thread.h"

namespace fb::wl {

namespace {

// Continuous scrolling (a touchpad) counts a notch per this much travel,
// what one notch of a wheel reports.
constexpr double TRAVEL_PER_NOTCH = 10.0;
// Buttons as the kernel numbers them (its header's names would clash
// with our key codes).
constexpr uint32_t BUTTON_LEFT = 0x110, BUTTON_RIGHT = 0x111, BUTTON_MIDDLE = 0x112,
                   BUTTON_SIDE = 0x113, BUTTON_EXTRA = 0x114;
// Key codes past this are not kept (xkbcommon allows up to 0xFFFFFFFF;
// real and virtual keyboards stay far below).
constexpr uint32_t MAX_KEYCODE = 0xFFFF;

// --- Keyboard ---

void ForgetHeldKeys(WaylandWindow& w) {
  std::fill(w.keysDown.begin(), w.keysDown.end(), 0);
  std::fill(w.pressedSinceSample.begin(), w.pressedSinceSample.end(), 0);
  w.repeatingKey = 0;
  if (ScreenContext* screen = Screen()) std::memset(screen->keyState, 0, KEY_STATE_SIZE);
}

// Maps every key code of the keymap to its virtual key: the first symbol
// of the key that names one, the unshifted one of the first layout, or of
// a later one for keys that type only letters of another script there.
void BuildKeycodeTable(WaylandWindow& w) {
  const uint32_t last = std::min<uint32_t>(xkb_keymap_max_keycode(w.keymap), MAX_KEYCODE);
  w.keycodeKey.assign(last + 1, 0);
  if (w.keysDown.size() < last + 1) {
    w.keysDown.resize(last + 1, 0);
    w.pressedSinceSample.resize(last + 1, 0);
  }
  for (uint32_t code = xkb_keymap_min_keycode(w.keymap); code <= last; ++code) {
    int32_t key = VK_NONE;
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(w.keymap, code);
    for (xkb_layout_index_t layout = 0; layout < layouts && key == VK_NONE; ++layout) {
      const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(w.keymap, code, layout);
      for (xkb_level_index_t level = 0; level < levels && key == VK_NONE; ++level) {
        const xkb_keysym_t* symbols = nullptr;
        const int count =
            xkb_keymap_key_get_syms_by_level(w.keymap, code, layout, level, &symbols);
        for (int i = 0; i < count && key == VK_NONE; ++i) key = VirtualKeyOfKeysym(symbols[i]);
      }
    }
    w.keycodeKey[code] = uint8_t(key);
  }
}

void KeyboardKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
    close(fd);
    return;
  }
  void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (text == MAP_FAILED) return;
  if (!w.xkb) w.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  // The keymap is text, ended by a NUL inside the size.
  const char* chars = static_cast<const char*>(text);
  xkb_keymap* keymap =
      w.xkb ? xkb_keymap_new_from_buffer(w.xkb, chars, strnlen(chars, size),
                                         XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
            : nullptr;
  munmap(text, size);
  if (!keymap) return;
  xkb_state* state = xkb_state_new(keymap);
  if (!state) {
    xkb_keymap_unref(keymap);
    return;
  }
  if (w.keyState) xkb_state_unref(w.keyState);
  if (w.keymap) xkb_keymap_unref(w.keymap);
  w.keymap = keymap;
  w.keyState = state;
  BuildKeycodeTable(w);
}

bool Known(const WaylandWindow& w, uint32_t code) {
  return w.keymap && code < w.keysDown.size() && code < w.keycodeKey.size();
}

void KeyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  ForgetHeldKeys(w);
  // Keys already down as the keyboard arrives are held.
  const auto* held = static_cast<const uint32_t*>(keys->data);
  for (size_t i = 0; i < keys->size / sizeof(uint32_t); ++i)
    if (Known(w, held[i] + 8)) w.keysDown[held[i] + 8] = 1;
}

void KeyboardLeave(void* data, wl_keyboard*, uint32_t, wl_surface*) {
  // Releases that happen while another window has the keyboard never
  // reach this one.
  ForgetHeldKeys(*static_cast<WaylandWindow*>(data));
}

SymbolKeyMessage MessageOf(const WaylandWindow& w, uint32_t code, bool press, bool repeat) {
  SymbolKeyMessage m{};
  m.press = press;
  m.repeat = repeat;
  m.symbol = xkb_state_key_get_one_sym(w.keyState, code);
  const xkb_keysym_t* unshifted = nullptr;
  if (xkb_keymap_key_get_syms_by_level(w.keymap, code, xkb_state_key_get_layout(w.keyState, code),
                                       0, &unshifted) > 0)
    m.unshifted = unshifted[0];
  m.mappedKey = w.keycodeKey[code];
  auto active = [&](const char* name) {
    return xkb_state_mod_name_is_active(w.keyState, name, XKB_STATE_MODS_EFFECTIVE) > 0;
  };
  m.shift = active(XKB_MOD_NAME_SHIFT);
  m.ctrl = active(XKB_MOD_NAME_CTRL);
  m.alt = active(XKB_MOD_NAME_ALT);
  // What the lookup types, Ctrl's control characters included; 0 means
  // nothing, except for Ctrl+Space, which types the character 0.
  const uint32_t text = xkb_state_key_get_utf32(w.keyState, code);
  m.lookupText = text > 0 && text < 0x80 ? int32_t(text) : -1;
  if (text == 0 && m.ctrl && m.symbol == XKB_KEY_space) m.lookupText = 0;
  return m;
}

void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  const uint32_t code = key + 8;  // the keymap numbers keys 8 above the protocol
  if (!Known(w, code)) return;
  const bool press = state == WL_KEYBOARD_KEY_STATE_PRESSED;
  const SymbolKeyMessage message = MessageOf(w, code, press, press && w.keysDown[code]);
  w.keysDown[code] = press;
  if (press) w.pressedSinceSample[code] = 1;
  if (press && w.repeatRate > 0 && xkb_keymap_key_repeats(w.keymap, code)) {
    w.repeatingKey = code;
    w.nextRepeat = std::chrono::steady_clock::now() + std::chrono::milliseconds(w.repeatDelayMs);
  } else if (!press && code == w.repeatingKey) {
    w.repeatingKey = 0;
  }
  if (HandleSymbolKey(message) && !(w.flags & SCREEN_NO_SWITCH) && WindowActive())
    ToggleFullscreen(w);
}

void KeyboardModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                       uint32_t locked, uint32_t group) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (w.keyState) xkb_state_update_mask(w.keyState, depressed, latched, locked, 0, 0, group);
}

void KeyboardRepeatInfo(void* data, wl_keyboard*, int32_t rate, int32_t delay) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  w.repeatRate = std::max(rate, 0);
  w.repeatDelayMs = std::max(delay, 0);
}

const wl_keyboard_listener KEYBOARD_LISTENER = {KeyboardKeymap, KeyboardEnter, KeyboardLeave,
                                                KeyboardKey, KeyboardModifiers,
                                                KeyboardRepeatInfo};

// --- Pointer ---

// The framebuffer column (or row) under a surface coordinate; surface
// coordinates are the buffer's divided by its scale.
int32_t FramebufferPixel(const WaylandWindow& w, wl_fixed_t surface, int32_t offset) {
  return FramebufferCoordinate(int32_t(std::floor(wl_fixed_to_double(surface) * w.bufferScale)),
                               offset, w.scale);
}

// Sets the pointer's image over the surface it entered last.
void ApplyCursor(WaylandWindow& w, bool hidden) {
  if (!w.pointer) return;
  if (hidden) {
    wl_pointer_set_cursor(w.pointer, w.enterSerial, nullptr, 0, 0);
    return;
  }
  if (!w.cursorTheme) w.cursorTheme = wl_cursor_theme_load(nullptr, 24 * w.bufferScale, w.shm);
  wl_cursor* arrow = w.cursorTheme ? wl_cursor_theme_get_cursor(w.cursorTheme, "left_ptr") : nullptr;
  // Without a cursor theme the compositor's own cursor stays.
  if (!arrow || arrow->image_count == 0) return;
  wl_cursor_image* image = arrow->images[0];
  wl_buffer* buffer = wl_cursor_image_get_buffer(image);
  if (!buffer) return;
  if (!w.cursorSurface) w.cursorSurface = wl_compositor_create_surface(w.compositor);
  wl_surface_set_buffer_scale(w.cursorSurface, w.bufferScale);
  wl_surface_attach(w.cursorSurface, buffer, 0, 0);
  wl_surface_damage_buffer(w.cursorSurface, 0, 0, int32_t(image->width), int32_t(image->height));
  wl_surface_commit(w.cursorSurface);
  wl_pointer_set_cursor(w.pointer, w.enterSerial, w.cursorSurface,
                        int32_t(image->hotspot_x) / w.bufferScale,
                        int32_t(image->hotspot_y) / w.bufferScale);
}

void PointerEnter(void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                  wl_fixed_t y) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (surface && surface == w.barSurface) {
    w.enterSerial = serial;
    w.pointerOnBar = true;
    w.barPointerX = wl_fixed_to_double(x);
    w.barPointerY = wl_fixed_to_double(y);
    ApplyCursor(w, false);  // over the bar the arrow shows, always
    return;
  }
  if (surface != w.surface) return;
  w.enterSerial = serial;
  w.pointerInside = true;
  ApplyCursor(w, w.cursorHidden);
  PostEvent(EVENT_MOUSE_ENTER);
  // The compositor tells where the pointer came in only here, not with a
  // motion as an X server does: the move is ours to post.
  MovePointerTo(w.pointerState, FramebufferPixel(w, x, w.offsetX),
                FramebufferPixel(w, y, w.offsetY));
}

void PointerLeave(void* data, wl_pointer*, uint32_t, wl_surface* surface) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (surface && surface == w.barSurface) {
    w.pointerOnBar = false;
    w.closeBoxPressed = false;
  }
  if (surface != w.surface || !w.pointerInside) return;
  w.pointerInside = false;
  PostEvent(EVENT_MOUSE_LEAVE);
}

void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (w.pointerOnBar) {
    w.barPointerX = wl_fixed_to_double(x);
    w.barPointerY = wl_fixed_to_double(y);
  }
  if (!w.pointerInside) return;
  MovePointerTo(w.pointerState, FramebufferPixel(w, x, w.offsetX),
                FramebufferPixel(w, y, w.offsetY));
}

int32_t ButtonBit(uint32_t button) {
  switch (button) {
    case BUTTON_LEFT: return 1;
    case BUTTON_RIGHT: return 2;
    case BUTTON_MIDDLE: return 4;
    case BUTTON_SIDE: return 8;
    case BUTTON_EXTRA: return 16;
    default: return 0;
  }
}

void PointerButton(void* data, wl_pointer*, uint32_t serial, uint32_t time, uint32_t button,
                   uint32_t state) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (w.pointerOnBar) {
    FramePointerButton(w, serial, button, state == WL_POINTER_BUTTON_STATE_PRESSED);
    return;
  }
  const int32_t bit = ButtonBit(button);
  if (!bit || !w.pointerInside) return;
  if (state == WL_POINTER_BUTTON_STATE_RELEASED)
    ReleasePointerButton(w.pointerState, bit);
  else
    PressPointerButton(w.pointerState, bit, time);
}

void PointerAxis(void* data, wl_pointer*, uint32_t, uint32_t axis, wl_fixed_t value) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (axis <= WL_POINTER_AXIS_HORIZONTAL_SCROLL) w.wheelTravel[axis] += wl_fixed_to_double(value);
}

void PointerAxisDiscrete(void* data, wl_pointer*, uint32_t axis, int32_t discrete) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if (axis <= WL_POINTER_AXIS_HORIZONTAL_SCROLL) w.wheelSteps[axis] += discrete;
}

// The end of a group of pointer events: the wheel's notches are counted.
// Scrolling down or left is negative, as a wheel turned towards the user.
void PointerFrame(void* data, wl_pointer*) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  for (uint32_t axis = 0; axis < 2; ++axis) {
    int32_t steps = w.wheelSteps[axis];
    if (steps != 0) {
      w.wheelTravel[axis] = 0;  // the same turn, told twice
    } else {
      steps = int32_t(w.wheelTravel[axis] / TRAVEL_PER_NOTCH);
      w.wheelTravel[axis] -= steps * TRAVEL_PER_NOTCH;
    }
    w.wheelSteps[axis] = 0;
    if (steps == 0 || !w.pointerInside) continue;
    const bool horizontal = axis == WL_POINTER_AXIS_HORIZONTAL_SCROLL;
    TurnPointerWheel(w.pointerState, horizontal, horizontal ? steps : -steps);
  }
}

void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}

const wl_pointer_listener POINTER_LISTENER = {
    .enter = PointerEnter,
    .leave = PointerLeave,
    .motion = PointerMotion,
    .button = PointerButton,
    .axis = PointerAxis,
    .frame = PointerFrame,
    .axis_source = PointerAxisSource,
    .axis_stop = PointerAxisStop,
    .axis_discrete = PointerAxisDiscrete,
    .axis_value120 = nullptr,  // version 8; the seat is bound at 5
};

// --- Seat ---

void ReleaseKeyboard(WaylandWindow& w) {
  if (!w.keyboard) return;
  wl_keyboard_release(w.keyboard);
  w.keyboard = nullptr;
  // Its releases can no longer arrive.
  ForgetHeldKeys(w);
}

void ReleasePointer(WaylandWindow& w) {
  if (!w.pointer) return;
  wl_pointer_release(w.pointer);
  w.pointer = nullptr;
  w.pointerInside = false;
  w.pointerState.buttons = 0;
}

void SeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !w.keyboard) {
    w.keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(w.keyboard, &KEYBOARD_LISTENER, &w);
  } else if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD)) {
    ReleaseKeyboard(w);
  }
  if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !w.pointer) {
    w.pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(w.pointer, &POINTER_LISTENER, &w);
  } else if (!(capabilities & WL_SEAT_CAPABILITY_POINTER)) {
    ReleasePointer(w);
  }
}

void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener SEAT_LISTENER = {SeatCapabilities, SeatName};

}  // namespace

void ListenToSeat(WaylandWindow& w) { wl_seat_add_listener(w.seat, &SEAT_LISTENER, &w); }

void ReleaseInput(WaylandWindow& w) {
  ReleaseKeyboard(w);
  ReleasePointer(w);
  if (w.cursorSurface) wl_surface_destroy(w.cursorSurface);
  if (w.cursorTheme) wl_cursor_theme_destroy(w.cursorTheme);
  w.cursorSurface = nullptr;
  w.cursorTheme = nullptr;
  if (w.keyState) xkb_state_unref(w.keyState);
  if (w.keymap) xkb_keymap_unref(w.keymap);
  if (w.xkb) xkb_context_unref(w.xkb);
  w.keyState = nullptr;
  w.keymap = nullptr;
  w.xkb = nullptr;
}

void SetActive(WaylandWindow& w, ScreenContext& screen, bool active) {
  if (active == WindowActive()) return;
  SetWindowActive(active);
  ForgetHeldKeys(w);
  w.pointerState.buttons = 0;
  MarkAllRowsDirty(screen);
  PostEvent(active ? EVENT_FOCUS_GAINED : EVENT_FOCUS_LOST);
}

void SampleKeyboard(WaylandWindow& w, uint8_t* keyState) {
  uint8_t held[256] = {};
  for (size_t code = 0; code < w.keysDown.size() && code < w.keycodeKey.size(); ++code)
    if (w.keysDown[code] || w.pressedSinceSample[code]) held[w.keycodeKey[code]] = 1;
  std::fill(w.pressedSinceSample.begin(), w.pressedSinceSample.end(), 0);
  held[VK_NONE] = 0;  // keys without a virtual key
  SampleKeyState(keyState, held);
}

void RepeatKeys(WaylandWindow& w) {
  const uint32_t code = w.repeatingKey;
  if (!code || !Known(w, code) || !w.keysDown[code] || w.repeatRate <= 0) return;
  const auto period = std::chrono::microseconds(1000000 / w.repeatRate);
  const auto now = std::chrono::steady_clock::now();
  // A tick that came late sends the repeats it missed, but not a flood.
  for (int sent = 0; now >= w.nextRepeat && sent < 4; ++sent) {
    HandleSymbolKey(MessageOf(w, code, true, true));
    w.nextRepeat += period;
  }
  if (now >= w.nextRepeat) w.nextRepeat = now + period;
}

void ShowCursor(WaylandWindow& w, bool visible) {
  w.cursorHidden = !visible;
  if (w.pointerInside) ApplyCursor(w, w.cursorHidden);
}

}  // namespace fb::wl
