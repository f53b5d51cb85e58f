// The window-event queue: a ring of 128 records guarded by a binary
// semaphore of its own, so the window thread can post while the program's
// thread reads without either holding the display lock.
#include "events.h"

#include <new>
#include <semaphore>

#include "screen.h"

namespace fb {

struct EventQueue {
  Event slots[EVENT_QUEUE_SLOTS] = {};
  int readIndex = 0;   // guarded by guard
  int writeIndex = 0;  // guarded by guard
  std::binary_semaphore guard{1};
};
static_assert(sizeof(Event[EVENT_QUEUE_SLOTS]) == 2560);

EventQueue* CreateEventQueue() { return new (std::nothrow) EventQueue; }

void DestroyEventQueue(EventQueue* queue) { delete queue; }

void PostEvent(EventQueue* queue, const Event& event) {
  if (queue == nullptr) return;
  queue->guard.acquire();
  queue->slots[queue->writeIndex] = event;
  queue->writeIndex = (queue->writeIndex + 1) % EVENT_QUEUE_SLOTS;
  // A full ring drops its oldest record rather than the new one.
  if (queue->writeIndex == queue->readIndex) {
    queue->readIndex = (queue->readIndex + 1) % EVENT_QUEUE_SLOTS;
  }
  queue->guard.release();
}

bool TakeEvent(EventQueue* queue, Event* event) {
  if (queue == nullptr || event == nullptr) return false;
  queue->guard.acquire();
  bool taken = queue->readIndex != queue->writeIndex;
  if (taken) {
    *event = queue->slots[queue->readIndex];
    queue->readIndex = (queue->readIndex + 1) % EVENT_QUEUE_SLOTS;
  }
  queue->guard.release();
  return taken;
}

void PostEvent(int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d) {
  ScreenContext* screen = Screen();
  if (screen == nullptr) return;
  PostEvent(screen->events, Event{kind, {a, b, c, d}});
}

bool GetEvent(Event* event) {
  ScreenContext* screen = Screen();
  if (screen == nullptr) return false;
  return TakeEvent(screen->events, event);
}

}  // namespace fb
