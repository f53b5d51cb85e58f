// Key, character, focus and mouse messages of the Win32 window.  The
// translation itself is platform-free (platform/keyboard.cpp); here the
// messages are taken apart and the results go to the key queue and the
// event queue with the same codes the X11 window gives.  Window thread,
// under the display lock.
#include <cstring>

#include "../driver_support.h"
#include "../events.h"
#include "../keyboard.h"
#include "../window_thread.h"
#include "keys.h"
#include "window_input.h"
#include "win32.h"

namespace fb::win32 {

namespace {

constexpr LPARAM PREVIOUSLY_DOWN = LPARAM(1) << 30;
constexpr LPARAM EXTENDED_KEY = LPARAM(1) << 24;
constexpr LPARAM ALT_HELD = LPARAM(1) << 29;

int RepeatCount(LPARAM lParam) { return int(lParam & 0xFFFF); }

int32_t ButtonOf(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: return 1;
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return 2;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return 4;
    case WM_XBUTTONDOWN: case WM_XBUTTONUP: case WM_XBUTTONDBLCLK:
      return HIWORD(wParam) == XBUTTON1 ? 8 : 16;
    default: return 0;
  }
}

// Watches for the mouse leaving the client area (event 10).
void StartTracking(Win32Window& w) {
  if (w.tracking || !w.user32.TrackMouseEvent) return;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = w.hwnd;
  if (w.user32.TrackMouseEvent(&track)) {
    w.tracking = true;
    PostEvent(EVENT_MOUSE_ENTER);
  }
}

void StopTracking(Win32Window& w) {
  if (!w.tracking) return;
  w.tracking = false;
  if (w.user32.TrackMouseEvent) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE | TME_CANCEL;
    track.hwndTrack = w.hwnd;
    w.user32.TrackMouseEvent(&track);
  }
  PostEvent(EVENT_MOUSE_LEAVE);
}

bool MouseInClient(HWND hwnd) {
  POINT point;
  RECT client;
  return GetCursorPos(&point) && ScreenToClient(hwnd, &point) && GetClientRect(hwnd, &client) &&
         PtInRect(&client, point);
}

}  // namespace

bool HandleKeyMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT virtualKey = UINT(wParam & 0xFF);
  const UINT scancode = UINT(lParam >> 16) & 0xFF;
  BYTE keyboard[256];
  if (!GetKeyboardState(keyboard)) std::memset(keyboard, 0, sizeof keyboard);
  uint32_t control = ControlStateOf(keyboard, (lParam & EXTENDED_KEY) != 0);
  // The system's default handling goes by the message's own Alt bit (a
  // posted message leaves the keyboard state alone); so does the
  // translation, or Alt+F4 could slip through to it and close the window.
  const bool systemKey = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
  if (systemKey && (lParam & ALT_HELD) &&
      !(control & (CTRL_STATE_LEFT_ALT | CTRL_STATE_RIGHT_ALT)))
    control |= CTRL_STATE_LEFT_ALT;
  const int32_t character = TypedCharacter(virtualKey, scancode, keyboard);
  const int32_t code =
      TranslateKey(character, int32_t(scancode), control, UnshiftedCharacter(virtualKey));

  // Alt held makes a key a system key: its key-down gives a release-kind
  // event and nothing in the queue.  Characters come as WM_CHAR.
  int32_t kind = EVENT_KEY_RELEASE;
  if (message == WM_KEYDOWN) {
    kind = (lParam & PREVIOUSLY_DOWN) ? EVENT_KEY_REPEAT : EVENT_KEY_PRESS;
    if (code > 255)
      for (int repeat = RepeatCount(lParam); repeat > 0; --repeat) PutKey(code);
  }
  // F10 and Alt would open the system menu, Alt+F4 would close the window:
  // all three are swallowed whole.
  if (virtualKey == VK_F10 || virtualKey == VK_MENU || code == KEY_CLOSE) return true;
  const int32_t eventCharacter = uint32_t(code) <= 255 ? code : 0;
  PostEvent(kind, ScancodeOfVirtualKey(int32_t(virtualKey)), eventCharacter);
  return false;
}

void HandleCharMessage(WPARAM wParam, LPARAM lParam) {
  if (wParam > 255) return;
  int32_t code = 0;
  if (wParam != 0) {
    const char byte = char(wParam);
    WCHAR wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) != 1) return;
    // A character code page 437 lacks types '?', as in the X11 window and
    // the console.
    code = fb::TypedCharacter(wide);
  }
  for (int repeat = RepeatCount(lParam); repeat > 0; --repeat) PutKey(code);
}

void HandleActivation(Win32Window& w, ScreenContext& screen, bool active) {
  SetWindowActive(active);
  if (w.flags & SCREEN_HIGH_PRIORITY)
    SetThreadPriority(GetCurrentThread(),
                      active ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_NORMAL);
  // Releases that happen while another window has the focus never reach
  // this one: forget every held key and button so none stays stuck.
  std::memset(screen.keyState, 0, KEY_STATE_SIZE);
  if (w.buttons) ReleaseCapture();
  w.buttons = 0;
  MarkAllRowsDirty(screen);
  if (!active) StopTracking(w);
  PostEvent(active ? EVENT_FOCUS_GAINED : EVENT_FOCUS_LOST);
  if (active && MouseInClient(w.hwnd)) StartTracking(w);
  if (w.clipCursor) ClipCursorTo(w, active);
}

void ClipCursorTo(Win32Window& w, bool clip) {
  RECT client;
  if (!clip || !w.hwnd || !GetClientRect(w.hwnd, &client)) {
    ClipCursor(nullptr);
    return;
  }
  MapWindowPoints(w.hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  ClipCursor(&client);
}

bool HandleMouseMessage(Win32Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int32_t x = int16_t(LOWORD(lParam)), y = int16_t(HIWORD(lParam));
  switch (message) {
    case WM_MOUSEMOVE:
      StartTracking(w);
      PostEvent(EVENT_MOUSE_MOVE, x, y, x - w.mouseX, y - w.mouseY);
      w.mouseX = x;
      w.mouseY = y;
      return true;
    case WM_MOUSELEAVE:
      w.tracking = false;
      PostEvent(EVENT_MOUSE_LEAVE);
      return true;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: case WM_XBUTTONDBLCLK: {
      // Held buttons keep the mouse, so their release is seen outside too.
      if (!w.buttons) SetCapture(w.hwnd);
      w.buttons |= ButtonOf(message, wParam);
      const bool twice = message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK ||
                         message == WM_MBUTTONDBLCLK || message == WM_XBUTTONDBLCLK;
      PostEvent(twice ? EVENT_MOUSE_DOUBLE_CLICK : EVENT_MOUSE_PRESS, ButtonOf(message, wParam));
      return true;
    }
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: case WM_XBUTTONUP:
      w.buttons &= ~ButtonOf(message, wParam);
      if (!w.buttons) ReleaseCapture();
      PostEvent(EVENT_MOUSE_RELEASE, ButtonOf(message, wParam));
      return true;
    case WM_MOUSEWHEEL:
      w.wheel += int16_t(HIWORD(wParam));
      PostEvent(EVENT_MOUSE_WHEEL, w.wheel);
      return true;
    case WM_MOUSEHWHEEL:
      w.horizontalWheel += int16_t(HIWORD(wParam));
      PostEvent(EVENT_MOUSE_HWHEEL, w.horizontalWheel);
      return true;
    default:
      return false;
  }
}

}  // namespace fb::win32
