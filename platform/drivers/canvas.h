// The "Canvas" display driver: the screen of a program built for a web
// page with Emscripten.  The program's main runs in a worker thread of its
// own (the build links with PROXY_TO_PTHREAD), where it may block and
// sleep as on the desktop; the page's own thread takes the window
// thread's part.  On each animation frame it takes the display lock,
// converts the dirty band of the framebuffer and puts it into the page's
// canvas, samples the held keys and hands the keys typed since the last
// tick to the key queue.  The page's thread never waits for the lock: when
// the program holds it, the tick is tried again a moment later.
//
// The canvas shows each framebuffer pixel as a whole number of the
// display's pixels (the device pixel ratio counted), sharp.  The page keeps
// the keyboard focus and stops the browser acting on the program's keys;
// losing the focus, or the page being hidden, releases every held key.
//
// The pointer over the canvas posts the events a window posts, in the
// program's pixels whatever the scale: moves (only when the pixel under
// it changes), presses, releases and double clicks of all five buttons,
// both wheels, entering and leaving; a press captures the pointer until
// its release, so a drag goes on outside the canvas.  The canvas opens no
// context menu.  GetMouse answers while the page has the focus and the
// pointer is over the canvas.  SetMouse only shows or hides the pointer
// over the canvas: a page can neither move the pointer nor confine it
// (pointer lock would hide it and report only motion), so its position
// and clip arguments do nothing.
//
// There is no close box.  The browser's tab is not the program's window:
// closing it, or leaving the page, ends the program at once, without its
// exit routines, and nothing can keep it open (the page may only have the
// browser ask "leave the site?", and would then ask at every reload).  So
// the driver puts no close key into the queue and posts no close event.
//
// For the page's tests the page's Module gets fbKeyDown(scancode),
// fbEvents() (the queue's events, taken out, and GetMouse's answer) and
// fbSetMouse(x, y, visible, clip), each a promise that the program's
// thread fulfils when it next sleeps.
#pragma once
#include <cstdint>
#include <string_view>

#include "../driver.h"

namespace fb {

extern const DisplayDriver CANVAS_DRIVER;

// --- Keys of the page (pure; any thread, any platform) ---

// Modifier bits of a key event, as the page passes them.
constexpr uint32_t WEB_KEY_SHIFT = 1;
constexpr uint32_t WEB_KEY_CTRL = 2;
constexpr uint32_t WEB_KEY_ALT = 4;
constexpr uint32_t WEB_KEY_ALT_GRAPH = 8;

// What a key event of the page gives the program, by the rules of window
// keys (platform/keyboard.h).
struct WebKeyEvent {
  int32_t virtualKey;  // VK_NONE when the key stands for none
  int32_t scancode;    // its set-1 scancode, 0 when it has none
  int32_t keyCode;     // TranslateKey's code: an extended key goes into the
                       // queue (above 255); KEY_CLOSE for Alt+F4; -1 none
  int32_t character;   // what it types: a code page 437 byte (128-255
                       // sign-extended), '?' when the code page lacks it
  bool typed;          // it types character (Ctrl+Space types 0)
  bool systemKey;      // pressed with Alt, or Alt or F10 itself: the queue
                       // gets nothing, the event is a release
};

// A key event of the page: code is its position ("KeyA", "Numpad7"), key
// what it types or its name ("a", "@", "Enter", "Home"), both UTF-8;
// modifiers WEB_KEY_* bits.  Letters and digits go by what the layout
// types, every other key by its position; keypad keys follow NumLock.
WebKeyEvent TranslateWebKey(std::string_view code, std::string_view key, uint32_t modifiers);

}  // namespace fb
