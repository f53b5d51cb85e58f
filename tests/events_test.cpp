// The window-event queue: a ring of 128 records that keeps the newest 127.
#include <fb/platform/events.h>

#include <gtest/gtest.h>

#include <fb/platform/screen.h>

namespace fb {
namespace {

Event Numbered(int i) { return Event{EVENT_KEY_PRESS, {i, i + 1, i + 2, i + 3}}; }

TEST(EventQueue, TakesInOrderThenReportsEmpty) {
  EventQueue* queue = CreateEventQueue();
  ASSERT_NE(queue, nullptr);
  Event e{};
  EXPECT_FALSE(TakeEvent(queue, &e));
  PostEvent(queue, Event{EVENT_MOUSE_MOVE, {10, 20, -1, 2}});
  PostEvent(queue, Event{EVENT_CLOSE, {}});
  ASSERT_TRUE(TakeEvent(queue, &e));
  EXPECT_EQ(e.kind, EVENT_MOUSE_MOVE);
  EXPECT_EQ(e.field[0], 10);
  EXPECT_EQ(e.field[1], 20);
  EXPECT_EQ(e.field[2], -1);
  EXPECT_EQ(e.field[3], 2);
  ASSERT_TRUE(TakeEvent(queue, &e));
  EXPECT_EQ(e.kind, EVENT_CLOSE);
  EXPECT_FALSE(TakeEvent(queue, &e));
  DestroyEventQueue(queue);
}

TEST(EventQueue, DropsTheOldestWhenFull) {
  // Posts of 127, 128 and 300 records: the newest 127 survive, in order,
  // whether or not the ring has wrapped.
  for (int posts : {127, 128, 300}) {
    SCOPED_TRACE(posts);
    EventQueue* queue = CreateEventQueue();
    ASSERT_NE(queue, nullptr);
    for (int i = 0; i < posts; i++) PostEvent(queue, Numbered(i));
    const int first = posts - (EVENT_QUEUE_SLOTS - 1);
    Event e{};
    for (int i = first; i < posts; i++) {
      ASSERT_TRUE(TakeEvent(queue, &e));
      EXPECT_EQ(e.field[0], i);
      EXPECT_EQ(e.field[3], i + 3);
    }
    EXPECT_FALSE(TakeEvent(queue, &e));
    DestroyEventQueue(queue);
  }
}

TEST(EventQueue, MissingQueueOrRecordDoesNothing) {
  Event e{};
  PostEvent(nullptr, Numbered(1));
  EXPECT_FALSE(TakeEvent(nullptr, &e));
  EventQueue* queue = CreateEventQueue();
  PostEvent(queue, Numbered(1));
  EXPECT_FALSE(TakeEvent(queue, nullptr));
  EXPECT_TRUE(TakeEvent(queue, &e));  // the record was not consumed
  DestroyEventQueue(queue);
  DestroyEventQueue(nullptr);
}

TEST(ScreenEvents, GoToTheOpenScreensQueue) {
  CloseScreen();
  Event e{};
  PostEvent(EVENT_FOCUS_GAINED);
  EXPECT_FALSE(GetEvent(&e));

  ASSERT_EQ(SetScreenMode(16, 16, 32, 0, SCREEN_NULL, 0), 0);
  EXPECT_FALSE(GetEvent(&e));
  PostEvent(EVENT_KEY_PRESS, 30, 'a');
  ASSERT_TRUE(GetEvent(&e));
  EXPECT_EQ(e.kind, EVENT_KEY_PRESS);
  EXPECT_EQ(e.field[0], 30);
  EXPECT_EQ(e.field[1], 'a');
  EXPECT_EQ(e.field[2], 0);
  EXPECT_EQ(e.field[3], 0);

  // A new screen starts with an empty queue.
  PostEvent(EVENT_FOCUS_LOST);
  ASSERT_EQ(SetScreenMode(16, 16, 32, 0, SCREEN_NULL, 0), 0);
  EXPECT_FALSE(GetEvent(&e));
  CloseScreen();
}

}  // namespace
}  // namespace fb
