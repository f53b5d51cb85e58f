// The "Canvas" driver (see canvas.h).  Two threads share it:
// - the program's thread (a worker) calls the driver's operations; Init
//   and Exit have the page's thread open and close the canvas, and wait
//   for it;
// - the page's thread runs the ticks (TryPresentTick with this file's
//   hooks) from canvas.js, on every animation frame and when the focus
//   changes, and records the page's key, pointer and focus events for
//   them.
// The window record belongs to the page's thread between Init and Exit;
// the program's thread touches it only before the canvas opens and after
// it has closed.  The page's side is canvas.js.
#include "canvas.h"

#include <emscripten.h>
#include <emscripten/threading.h>
#include <pthread.h>

#include <algorithm>
#include <bitset>
#include <cstring>
#include <string>
#include <vector>

#include "../driver_support.h"
#include "../events.h"
#include "../keyboard.h"
#include "../screen.h"
#include "../surface_convert.h"
#include "../window_thread.h"

// The page's side, in canvas.js.
extern "C" {
// Sized to the framebuffer, listening and ticking; 0, or -1 when the page
// has no canvas.  Runs on the page's thread; the caller waits.
int fb_canvas_open(int width, int height);
// Stops the ticks and the listeners; the picture stays.  Same thread rules.
void fb_canvas_close();
void fb_canvas_set_title(const char* title);
// Puts rows first..last of rgba (width pixels a row) into the canvas.
// Page's thread.
void fb_canvas_put(const uint8_t* rgba, int width, int first, int last);
// Switches the canvas between the page and full screen.  Page's thread,
// inside a key event's handler.
void fb_canvas_toggle_fullscreen();
// Shows (1) or hides (0) the pointer over the canvas.  Any thread.
void fb_canvas_show_pointer(int visible);
// Hands the answer to the page's question id to it (test hook): count
// values.  The program's thread, which waits until the page has them.
void fb_canvas_answer(int id, const int32_t* values, int count);
}

namespace fb {

namespace {

// The display format of a canvas's pixels: bytes R, G, B, A in memory.
constexpr DisplayPixelFormat CANVAS_FORMAT{32, true};
constexpr uint32_t OPAQUE = 0xFF000000u;

// What canvas.js tells of the pointer, in framebuffer pixels.
enum PointerAction : int32_t {
  POINTER_MOVE = 0,     // a, b: where it is (a drag may be outside the canvas)
  POINTER_ENTER = 1,    // a, b: where it entered
  POINTER_LEAVE = 2,
  POINTER_PRESS = 3,    // a: the button's bit; time: the page's clock in ms
  POINTER_RELEASE = 4,  // a: the button's bit
  POINTER_WHEEL = 5,    // a up, b right, in WHEEL_NOTCH units a notch
};

// What the page's handlers saw, waiting for the next tick, which applies
// it under the display lock.
struct PageEvent {
  enum class Kind { Key, Focus, Pointer } kind;
  bool press = false, repeat = false, active = false;
  std::string code, key;
  uint32_t modifiers = 0;
  PointerAction action = POINTER_MOVE;
  int32_t a = 0, b = 0;
  uint32_t time = 0;
};

struct CanvasWindow {
  int32_t width = 0, height = 0, flags = 0;
  pthread_t programThread{};
  RowConverter convert = nullptr;
  uint32_t palette[256] = {};  // palette index -> canvas pixel

  // Page's thread only.
  std::vector<uint32_t> picture;  // what the canvas shows, as canvas pixels
  int putFirst = -1, putLast = -1;  // rows converted and not yet put
  std::vector<PageEvent> pending;  // events waiting for the display lock
  // Keys held, by the virtual key they stood for when pressed; and keys
  // pressed since the last sample, so that a tap between two samples
  // still counts as held in one.
  struct HeldKey {
    std::string code;
    int32_t virtualKey;
  };
  std::vector<HeldKey> held;
  std::bitset<256> pressedSinceSample;
  // The pointer; the program's thread reads it under the display lock.
  PointerState pointer;
  bool pointerInside = false;
  int32_t wheelTravel[2] = {};  // up, right: turned less than a notch
};

CanvasWindow* current = nullptr;

// --- The tick's hooks (page's thread, display lock held) ---

void LoadPalette(CanvasWindow& c, ScreenContext& screen) {
  for (int i = 0; i < 256; ++i) c.palette[i] = DisplayPixelOf(CANVAS_FORMAT, screen.devicePalette[i]);
  screen.paletteChanged = 0;
}

void PresentHook(void* user, int first, int last) {
  CanvasWindow& c = *static_cast<CanvasWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen || !c.convert) return;
  if (screen->paletteChanged) LoadPalette(c, *screen);
  for (int y = first; y <= last; ++y) {
    uint32_t* out = c.picture.data() + size_t(y) * size_t(c.width);
    c.convert(screen->framebuffer + size_t(y) * size_t(screen->pitch),
              reinterpret_cast<uint8_t*>(out), c.width, 1, c.palette);
    // The framebuffer's alpha is not the picture's: the canvas is opaque.
    for (int x = 0; x < c.width; ++x) out[x] |= OPAQUE;
  }
  c.putFirst = c.putFirst < 0 ? first : std::min(c.putFirst, first);
  c.putLast = std::max(c.putLast, last);
}

void SampleHook(void* user, uint8_t* keyState) {
  CanvasWindow& c = *static_cast<CanvasWindow*>(user);
  uint8_t held[256] = {};
  for (const CanvasWindow::HeldKey& k : c.held) held[k.virtualKey & 0xFF] = 1;
  for (size_t key = 0; key < 256; ++key)
    if (c.pressedSinceSample[key]) held[key] = 1;
  c.pressedSinceSample.reset();
  held[VK_NONE] = 0;
  SampleKeyState(keyState, held);
}

void SetActive(CanvasWindow& c, ScreenContext& screen, bool active) {
  if (active == WindowActive()) return;
  SetWindowActive(active);
  // Releases that happen while the page is not ours never arrive: forget
  // every held key so that none stays stuck.
  std::memset(screen.keyState, 0, KEY_STATE_SIZE);
  c.held.clear();
  c.pressedSinceSample.reset();
  c.pointer.buttons = 0;
  MarkAllRowsDirty(screen);
  PostEvent(active ? EVENT_FOCUS_GAINED : EVENT_FOCUS_LOST);
}

void HandleKey(CanvasWindow& c, const PageEvent& e) {
  const WebKeyEvent k = TranslateWebKey(e.code, e.key, e.modifiers);
  auto heldKey = c.held.begin();
  while (heldKey != c.held.end() && heldKey->code != e.code) ++heldKey;
  const bool repeat = e.press && (e.repeat || heldKey != c.held.end());
  if (e.press && heldKey == c.held.end()) c.held.push_back({e.code, k.virtualKey});
  if (!e.press && heldKey != c.held.end()) c.held.erase(heldKey);
  if (e.press) c.pressedSinceSample[size_t(k.virtualKey & 0xFF)] = true;

  int32_t kind = EVENT_KEY_RELEASE;
  if (e.press && !k.systemKey) {
    kind = repeat ? EVENT_KEY_REPEAT : EVENT_KEY_PRESS;
    if (k.keyCode > 255) PutKey(k.keyCode);
    if (k.typed) PutKey(k.character);
  }
  // F10, Alt and Alt+F4 are swallowed whole: no event.
  if (k.virtualKey == VK_F10 || k.virtualKey == VK_MENU || k.keyCode == KEY_CLOSE) return;
  PostEvent(kind, k.scancode, uint32_t(k.keyCode) <= 255 ? k.keyCode : 0);
}

void HandlePointer(CanvasWindow& c, const PageEvent& e) {
  PointerState& p = c.pointer;
  switch (e.action) {
    case POINTER_ENTER:
      c.pointerInside = true;
      p.x = e.a;
      p.y = e.b;
      PostEvent(EVENT_MOUSE_ENTER);
      break;
    case POINTER_LEAVE:
      c.pointerInside = false;
      PostEvent(EVENT_MOUSE_LEAVE);
      break;
    case POINTER_MOVE:
      if (e.a != p.x || e.b != p.y) MovePointerTo(p, e.a, e.b);
      break;
    case POINTER_PRESS: PressPointerButton(p, e.a, e.time); break;
    case POINTER_RELEASE: ReleasePointerButton(p, e.a); break;
    case POINTER_WHEEL:
      // A touchpad turns in small steps: whole notches count, the rest
      // waits for more.
      for (int axis = 0; axis < 2; ++axis) {
        c.wheelTravel[axis] += axis == 0 ? e.a : e.b;
        const int32_t notches = c.wheelTravel[axis] / WHEEL_NOTCH;
        c.wheelTravel[axis] -= notches * WHEEL_NOTCH;
        if (notches) TurnPointerWheel(p, axis == 1, notches);
      }
      break;
  }
}

void DispatchHook(void* user) {
  CanvasWindow& c = *static_cast<CanvasWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen) return;
  for (const PageEvent& e : c.pending) {
    if (e.kind == PageEvent::Kind::Focus)
      SetActive(c, *screen, e.active);
    else if (e.kind == PageEvent::Kind::Pointer)
      HandlePointer(c, e);  // the pointer speaks to a page without the focus too
    else if (WindowActive())
      HandleKey(c, e);
  }
  c.pending.clear();
}

// The tick's steps, for the page's thread (which opens and closes nothing).
WindowHooks PageHooks(CanvasWindow& c) {
  return {nullptr, PresentHook, SampleHook, DispatchHook, nullptr, &c};
}

// Puts what the last tick converted into the canvas, outside the lock.
void PutConverted(CanvasWindow& c) {
  if (c.putFirst < 0) return;
  fb_canvas_put(reinterpret_cast<const uint8_t*>(c.picture.data()), c.width, c.putFirst,
                c.putLast);
  c.putFirst = c.putLast = -1;
}

// --- The page's tests ask, the program's thread answers ---

enum Question : int32_t {
  QUESTION_KEY_DOWN = 0,   // a scancode -> KeyDown's answer as 1 or 0
  QUESTION_EVENTS = 1,     // -> GetMouse(x, y, wheel, buttons) with its result first,
                           //    then each event taken from the queue: kind, 4 fields
  QUESTION_SET_MOUSE = 2,  // a, b, c, d: SetMouse's arguments -> nothing
};

void Answer(int id, int question, int a, int b, int c, int d) {
  std::vector<int32_t> answer;
  const ScreenContext* screen = Screen();
  const DisplayDriver* driver = screen ? screen->driver : nullptr;
  switch (question) {
    case QUESTION_KEY_DOWN:
      answer.push_back(KeyDown(a) ? 1 : 0);
      break;
    case QUESTION_EVENTS: {
      int32_t mouse[5] = {-1, 0, 0, 0, 0};
      if (driver && driver->GetMouse)
        mouse[0] = driver->GetMouse(&mouse[1], &mouse[2], &mouse[3], &mouse[4], 0);
      answer.assign(mouse, mouse + 5);
      Event e;
      while (GetEvent(&e)) {
        answer.push_back(e.kind);
        answer.insert(answer.end(), e.field, e.field + 4);
      }
      break;
    }
    case QUESTION_SET_MOUSE:
      if (driver && driver->SetMouse) driver->SetMouse(a, b, c, d);
      break;
    default: break;
  }
  fb_canvas_answer(id, answer.data(), int(answer.size()));
}

// --- The driver's operations (program's thread) ---

int CanvasInit(const char* title, int32_t width, int32_t height, int32_t depth, int32_t,
               int32_t flags) {
  // The page cannot take the display without the user's say (a key or a
  // click); full screen is refused, and the search retries in the page.
  if (flags < 0 || (flags & (SCREEN_FULLSCREEN | SCREEN_OPENGL))) return -1;
  ScreenContext* screen = Screen();
  if (!screen || current) return -1;
  auto* c = new CanvasWindow;
  c->width = width;
  c->height = height;
  c->flags = flags;
  c->programThread = pthread_self();
  c->convert = ChooseRowConverter((depth + 7) / 8, CANVAS_FORMAT);
  c->picture.assign(size_t(width) * size_t(height), OPAQUE);
  LoadPalette(*c, *screen);
  screen->refreshRate = 0;  // the page does not say
  current = c;
  if (fb_canvas_open(width, height) != 0) {
    current = nullptr;
    delete c;
    SetDisplayFailure("the page has no canvas");
    return -1;
  }
  fb_canvas_set_title(title ? title : "");
  return 0;
}

void CanvasExit() {
  if (!current) return;
  // The program may be ending in the middle of a frame.
  ReleaseProgramScreenLock();
  fb_canvas_close();
  SetWindowActive(false);
  delete current;
  current = nullptr;
}

void CanvasSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
  if (!current) return;
  StorePaletteEntryLocked(index, red, green, blue);
}

void CanvasWaitVSync() { emscripten_thread_sleep(RefreshPeriodMs(Screen())); }

int CanvasGetMouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t clipped) {
  if (!current) return -1;
  const CanvasWindow& c = *current;
  LockDisplay();
  const int result = WindowActive() && c.pointerInside
                         ? AnswerGetMouse(c.pointer, c.pointer.x, c.pointer.y, c.width, c.height,
                                          clipped, x, y, wheel, buttons)
                         : -1;
  UnlockDisplay();
  return result;
}

void CanvasSetMouse(int32_t, int32_t, int32_t visible, int32_t) {
  if (current && visible >= 0) fb_canvas_show_pointer(visible > 0 ? 1 : 0);
}

void CanvasSetWindowTitle(const char* title) {
  if (current) fb_canvas_set_title(title ? title : "");
}

}  // namespace

const DisplayDriver CANVAS_DRIVER = {
    "Canvas",
    CanvasInit,
    CanvasExit,
    LockDisplay,
    UnlockDisplay,
    CanvasSetPalette,
    CanvasWaitVSync,
    CanvasGetMouse,
    CanvasSetMouse,
    CanvasSetWindowTitle,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace fb

// --- Called by canvas.js on the page's thread ---

using fb::current;

extern "C" {

// One tick: 1 when done (or nothing to do), 0 when the program held the
// display lock and the tick must be tried again.
EMSCRIPTEN_KEEPALIVE int fb_canvas_tick() {
  fb::ScreenContext* screen = fb::Screen();
  if (!current || !screen) return 1;
  if (!fb::TryPresentTick(fb::PageHooks(*current), *screen)) return 0;
  fb::PutConverted(*current);
  return 1;
}

EMSCRIPTEN_KEEPALIVE void fb_canvas_key(int press, int repeat, const char* code, const char* key,
                                        int modifiers) {
  if (!current) return;
  fb::PageEvent e{.kind = fb::PageEvent::Kind::Key, .press = press != 0, .repeat = repeat != 0,
                  .code = code, .key = key, .modifiers = uint32_t(modifiers)};
  // Alt+Enter switches to full screen and back; the browser allows it
  // only here, inside the key's own handler.
  const fb::WebKeyEvent k = fb::TranslateWebKey(e.code, e.key, e.modifiers);
  if (e.press && !e.repeat && (e.modifiers & fb::WEB_KEY_ALT) && k.virtualKey == fb::VK_RETURN &&
      !(current->flags & fb::SCREEN_NO_SWITCH))
    fb_canvas_toggle_fullscreen();
  current->pending.push_back(std::move(e));
}

EMSCRIPTEN_KEEPALIVE void fb_canvas_pointer(int action, int a, int b, int time) {
  if (!current) return;
  current->pending.push_back({.kind = fb::PageEvent::Kind::Pointer,
                              .action = fb::PointerAction(action), .a = a, .b = b,
                              .time = uint32_t(time)});
}

EMSCRIPTEN_KEEPALIVE void fb_canvas_focus(int active) {
  if (!current) return;
  current->pending.push_back({.kind = fb::PageEvent::Kind::Focus, .active = active != 0});
}

// A question of the page's tests (Question): the program's thread answers
// it when it next sleeps, through fb_canvas_answer.
EMSCRIPTEN_KEEPALIVE void fb_canvas_ask(int id, int question, int a, int b, int c, int d) {
  if (!current) return;
  emscripten_dispatch_to_thread_async(current->programThread, EM_FUNC_SIG_VIIIIII,
                                      reinterpret_cast<void*>(fb::Answer), nullptr, id, question,
                                      a, b, c, d);
}

}  // extern "C"
