// The window-event queue of the open screen: 128 records, at most 127
// waiting (the oldest is dropped), guarded by its own semaphore so that it
// can be read without the display lock.  The window thread posts; any
// thread may read.
#pragma once
#include <cstdint>

namespace fb {

enum EventKind : int32_t {
  EVENT_KEY_PRESS = 1,    // scancode, character
  EVENT_KEY_RELEASE = 2,  // scancode, character
  EVENT_KEY_REPEAT = 3,   // scancode, character
  EVENT_MOUSE_MOVE = 4,   // x, y, dx, dy
  EVENT_MOUSE_PRESS = 5,  // button
  EVENT_MOUSE_RELEASE = 6,
  EVENT_MOUSE_DOUBLE_CLICK = 7,
  EVENT_MOUSE_WHEEL = 8,  // wheel position
  EVENT_MOUSE_ENTER = 9,
  EVENT_MOUSE_LEAVE = 10,
  EVENT_FOCUS_GAINED = 11,
  EVENT_FOCUS_LOST = 12,
  EVENT_CLOSE = 13,
  EVENT_MOUSE_HWHEEL = 14,
};

struct Event {
  int32_t kind;
  int32_t field[4];
};
static_assert(sizeof(Event) == 20);

constexpr int EVENT_QUEUE_SLOTS = 128;

struct EventQueue;

EventQueue* CreateEventQueue();
void DestroyEventQueue(EventQueue* queue);
void PostEvent(EventQueue* queue, const Event& event);
// Takes the oldest event; false when none waits.
bool TakeEvent(EventQueue* queue, Event* event);

// The same on the open screen's queue (no screen: nothing posted, false).
void PostEvent(int32_t kind, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0);
bool GetEvent(Event* event);

}  // namespace fb
