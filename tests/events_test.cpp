// The window-event queue: a ring of 128 records that keeps the newest 127.
#include <fb/platform/events.h>

#include <gtest/gtest.h>

#include <fb/platform/driver_support.h>
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

// The pointer steps every window driver takes: what each posts, and how
// the state they keep answers GetMouse.
TEST(PointerEvents, PressesWheelsMovesAndTheirState) {
  ASSERT_EQ(SetScreenMode(16, 16, 32, 0, SCREEN_NULL, 0), 0);
  PointerState p;
  enum Step { PRESS, RELEASE, WHEEL, HWHEEL, MOVE };
  struct Case {
    Step step;
    int32_t a, b;  // button and time, notches, or x and y
    Event posted;
  };
  const Case cases[] = {
      {PRESS, 1, 1000, {EVENT_MOUSE_PRESS, {1}}},
      {PRESS, 1, 1499, {EVENT_MOUSE_DOUBLE_CLICK, {1}}},
      {PRESS, 1, 1500, {EVENT_MOUSE_PRESS, {1}}},  // a third press starts anew
      {PRESS, 1, 2000, {EVENT_MOUSE_PRESS, {1}}},  // 500 ms is too slow
      {PRESS, 2, 2001, {EVENT_MOUSE_PRESS, {2}}},  // another button
      {RELEASE, 1, 0, {EVENT_MOUSE_RELEASE, {1}}},
      {PRESS, 16, -200, {EVENT_MOUSE_PRESS, {16}}},
      {PRESS, 16, 100, {EVENT_MOUSE_DOUBLE_CLICK, {16}}},  // across the clock's wrap
      {WHEEL, 1, 0, {EVENT_MOUSE_WHEEL, {120}}},
      {WHEEL, -3, 0, {EVENT_MOUSE_WHEEL, {-240}}},
      {HWHEEL, 2, 0, {EVENT_MOUSE_HWHEEL, {240}}},
      {MOVE, 5, 7, {EVENT_MOUSE_MOVE, {5, 7, 5, 7}}},
      {MOVE, -2, 9, {EVENT_MOUSE_MOVE, {-2, 9, -7, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "step " << c.step << " " << c.a << " " << c.b);
    switch (c.step) {
      case PRESS: PressPointerButton(p, c.a, uint32_t(c.b)); break;
      case RELEASE: ReleasePointerButton(p, c.a); break;
      case WHEEL: case HWHEEL: TurnPointerWheel(p, c.step == HWHEEL, c.a); break;
      case MOVE: MovePointerTo(p, c.a, c.b); break;
    }
    Event e{};
    ASSERT_TRUE(GetEvent(&e));
    EXPECT_EQ(e.kind, c.posted.kind);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(e.field[i], c.posted.field[i]) << i;
    EXPECT_FALSE(GetEvent(&e));
  }
  EXPECT_EQ(p.buttons, 2 | 16);

  // GetMouse over a 16 x 16 picture: outside only when clipped, then at its edge.
  struct Where {
    int32_t x, y, clipped, result, answerX, answerY;
  };
  const Where places[] = {
      {3, 4, 0, 0, 3, 4}, {-1, 4, 0, -1, 9, 9}, {3, 16, 0, -1, 9, 9},
      {-5, 20, 1, 0, 0, 15}, {20, -5, 1, 0, 15, 0},
  };
  for (const Where& w : places) {
    int32_t x = 9, y = 9, wheel = 9, buttons = 9;
    EXPECT_EQ(AnswerGetMouse(p, w.x, w.y, 16, 16, w.clipped, &x, &y, &wheel, &buttons), w.result);
    EXPECT_EQ(x, w.answerX);
    EXPECT_EQ(y, w.answerY);
    EXPECT_EQ(wheel, w.result == 0 ? -240 : 9);
    EXPECT_EQ(buttons, w.result == 0 ? 2 | 16 : 9);
  }
  CloseScreen();
}

}  // namespace
}  // namespace fb
