// Keyboard and mouse of the X11 driver: sampling the held keys, key events
// to key codes and window events, mouse events.  Window thread only.
#include <X11/XKBlib.h>

#include <cstring>

#include "x11.h"
#include "x11_window.h"
#include "../events.h"
#include "../keyboard.h"
#include "../window_thread.h"

namespace fb::x11 {

// --- Keyboard ---

void BuildKeycodeTable(X11Window& x) {
  std::memset(x.keycodeKey, 0, sizeof x.keycodeKey);
  int minCode = 0, maxCode = 0, perCode = 0;
  XDisplayKeycodes(x.display, &minCode, &maxCode);
  if (minCode < 0 || maxCode > 255 || minCode > maxCode) return;
  KeySym* symbols = XGetKeyboardMapping(x.display, KeyCode(minCode), maxCode - minCode + 1,
                                        &perCode);
  if (!symbols) return;
  // The first symbol of a key that names a virtual key wins: the
  // unshifted one of the first layout, or of a later one for keys that
  // type only letters of another script there.
  for (int code = minCode; code <= maxCode; ++code) {
    for (int i = 0; i < perCode; ++i) {
      const int32_t key = VirtualKeyOfKeysym(uint32_t(symbols[(code - minCode) * perCode + i]));
      if (key != VK_NONE) {
        x.keycodeKey[code] = uint8_t(key);
        break;
      }
    }
  }
  XFree(symbols);
}

void SetActive(X11Window& x, ScreenContext& screen, bool active) {
  if (active == WindowActive()) return;
  SetWindowActive(active);
  // Releases that happen while another window has the focus never reach
  // this one: forget every held key so none stays stuck.
  std::memset(screen.keyState, 0, KEY_STATE_SIZE);
  x.keysDown.reset();
  x.pressedSinceSample.reset();
  x.pointer.buttons = 0;
  MarkAllRowsDirty(screen);
  if (x.clipped) {
    if (active)
      XGrabPointer(x.display, x.window, True, 0, GrabModeAsync, GrabModeAsync, x.window, None,
                   CurrentTime);
    else
      XUngrabPointer(x.display, CurrentTime);
  }
  PostEvent(active ? EVENT_FOCUS_GAINED : EVENT_FOCUS_LOST);
}

namespace {

// Without detectable auto-repeat the server reports a held key as release
// and press pairs with one timestamp; the release is not a real one.
bool IsRepeatRelease(X11Window& x, const XKeyEvent& release) {
  if (x.detectableRepeat || !XEventsQueued(x.display, QueuedAfterReading)) return false;
  XEvent next;
  XPeekEvent(x.display, &next);
  return next.type == KeyPress && next.xkey.keycode == release.keycode &&
         next.xkey.time == release.time;
}

}  // namespace

void HandleKey(X11Window& x, ScreenContext& screen, XKeyEvent& key) {
  const bool press = key.type == KeyPress;
  if (!press && IsRepeatRelease(x, key)) return;

  char text[16];
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&key, text, int(sizeof text), &symbol, nullptr);
  SymbolKeyMessage message{};
  message.press = press;
  message.repeat = press && x.keysDown[key.keycode];
  message.symbol = uint32_t(symbol);
  message.unshifted = uint32_t(XLookupKeysym(&key, 0));
  message.mappedKey = x.keycodeKey[key.keycode & 0xFF];
  message.lookupText = length == 1 ? static_cast<unsigned char>(text[0]) : -1;
  message.shift = key.state & ShiftMask;
  message.ctrl = key.state & ControlMask;
  message.alt = key.state & Mod1Mask;

  x.keysDown[key.keycode] = press;
  if (press) x.pressedSinceSample[key.keycode] = true;
  if (HandleSymbolKey(message) && !(x.flags & SCREEN_NO_SWITCH) && WindowActive())
    ToggleFullscreen(x, screen);
}

// --- Mouse ---

namespace {

int32_t ButtonBit(unsigned button) {
  switch (button) {
    case Button1: return 1;
    case Button2: return 4;
    case Button3: return 2;
    case 8: return 8;
    case 9: return 16;
    default: return 0;
  }
}

}  // namespace

void HandleButton(X11Window& x, const XButtonEvent& event) {
  if (event.type == ButtonPress) {
    switch (event.button) {
      case Button4: case Button5:
        TurnPointerWheel(x.pointer, false, event.button == Button4 ? 1 : -1);
        return;
      case 6: case 7:
        TurnPointerWheel(x.pointer, true, event.button == 7 ? 1 : -1);
        return;
      default: break;
    }
  }
  const int32_t bit = ButtonBit(event.button);
  if (!bit) return;
  if (event.type == ButtonRelease)
    ReleasePointerButton(x.pointer, bit);
  else
    PressPointerButton(x.pointer, bit, uint32_t(event.time));  // the server's 32-bit clock
}

void HandleMotion(X11Window& x, int windowX, int windowY) {
  MovePointerTo(x.pointer, FramebufferCoordinate(windowX, x.offsetX, x.scale),
                FramebufferCoordinate(windowY, x.offsetY, x.scale));
}

void SampleKeyboard(X11Window& x, uint8_t* keyState) {
  char keys[32] = {};
  XQueryKeymap(x.display, keys);
  if (x.connectionLost) return;  // the answer never came
  uint8_t held[256] = {};
  // The keys held now, and those pressed since the last sample even if
  // already released: a tap shorter than a tick (or a press and release
  // that a remote server delivers together) is held for one sample.
  for (int code = 0; code < 256; ++code)
    if (((keys[code / 8] >> (code % 8)) & 1) || x.pressedSinceSample[size_t(code)])
      held[x.keycodeKey[code]] = 1;
  x.pressedSinceSample.reset();
  held[VK_NONE] = 0;  // keys without a virtual key
  SampleKeyState(keyState, held);
}

}  // namespace fb::x11
