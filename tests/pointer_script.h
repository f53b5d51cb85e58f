// The user at the mouse, step by step: what the window posts for each
// step and what GetMouse says after it.  Shared by the X11 and the Wayland
// window's tests, which play the steps on a real server each in its own
// way: both windows must answer alike.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/events.h>
#include <fb/platform/screen.h>

namespace pointerscript {

using namespace std::chrono_literals;

// The user's hand, played by each test on its server; every call returns
// once the server has taken the input.  Buttons are numbered as X numbers
// them: 1 left, 2 middle, 3 right, 8 and 9 the side buttons.
struct Mouse {
  // To (x, y) of the framebuffer; LEAVE_X, LEAVE_Y is outside the window.
  std::function<bool(int32_t x, int32_t y)> moveTo;
  std::function<bool(int32_t button, bool down)> button;
  // count clicks of one button, the presses gapMs apart.
  std::function<bool(int32_t button, int32_t count, int32_t gapMs)> click;
  // Notch by notch; up and right are positive.
  std::function<bool(bool vertical, int32_t notches)> wheel;
};

// Where the pointer goes to leave: beyond the window's right and bottom
// edges, still on the screen.
constexpr int32_t LEAVE_X = 260, LEAVE_Y = 200;

enum class Act { MoveTo, Leave, Press, Release, Click, Wheel, HorizontalWheel };

struct Step {
  const char* what;
  Act act;
  // MoveTo: x, y.  Press, Release: the button.  Click: the button, the
  // count, the gap in ms.  The wheels: notches.
  int32_t a, b, c;
  std::vector<fb::Event> events;  // the pointer events posted, in order
  int32_t buttons, wheel;         // GetMouse's while the pointer is inside
};

// Steps follow each other quickly: presses of one button in a row are
// only those of a Click.  Moves count from the last position the window
// saw, (0, 0) at first.
inline const std::vector<Step>& Steps() {
  using E = fb::Event;
  using Events = std::vector<E>;
  auto move = [](int32_t x, int32_t y, int32_t dx, int32_t dy) {
    return E{fb::EVENT_MOUSE_MOVE, {x, y, dx, dy}};
  };
  auto press = [](int32_t bit) { return E{fb::EVENT_MOUSE_PRESS, {bit}}; };
  auto release = [](int32_t bit) { return E{fb::EVENT_MOUSE_RELEASE, {bit}}; };
  auto twice = [](int32_t bit) { return E{fb::EVENT_MOUSE_DOUBLE_CLICK, {bit}}; };
  auto wheel = [](int32_t position) { return E{fb::EVENT_MOUSE_WHEEL, {position}}; };
  auto sideways = [](int32_t position) { return E{fb::EVENT_MOUSE_HWHEEL, {position}}; };
  const E enter{fb::EVENT_MOUSE_ENTER, {}}, leave{fb::EVENT_MOUSE_LEAVE, {}};
  static const std::vector<Step> steps = {
      {"enter", Act::MoveTo, 10, 20, 0, Events{enter, move(10, 20, 10, 20)}, 0, 0},
      {"move", Act::MoveTo, 13, 16, 0, Events{move(13, 16, 3, -4)}, 0, 0},
      {"left down", Act::Press, 1, 0, 0, Events{press(1)}, 1, 0},
      {"right down too", Act::Press, 3, 0, 0, Events{press(2)}, 3, 0},
      {"left up", Act::Release, 1, 0, 0, Events{release(1)}, 2, 0},
      {"right up", Act::Release, 3, 0, 0, Events{release(2)}, 0, 0},
      {"middle down", Act::Press, 2, 0, 0, Events{press(4)}, 4, 0},
      {"middle up", Act::Release, 2, 0, 0, Events{release(4)}, 0, 0},
      {"first side button down", Act::Press, 8, 0, 0, Events{press(8)}, 8, 0},
      {"first side button up", Act::Release, 8, 0, 0, Events{release(8)}, 0, 0},
      {"second side button down", Act::Press, 9, 0, 0, Events{press(16)}, 16, 0},
      {"second side button up", Act::Release, 9, 0, 0, Events{release(16)}, 0, 0},
      {"double click", Act::Click, 1, 2, 30, Events{press(1), release(1), twice(1), release(1)},
       0, 0},
      {"three clicks: the third starts anew", Act::Click, 3, 3, 30,
       Events{press(2), release(2), twice(2), release(2), press(2), release(2)}, 0, 0},
      {"two clicks too far apart", Act::Click, 1, 2, 600,
       Events{press(1), release(1), press(1), release(1)}, 0, 0},
      {"wheel up", Act::Wheel, 1, 0, 0, Events{wheel(120)}, 0, 120},
      {"wheel down twice", Act::Wheel, -2, 0, 0, Events{wheel(0), wheel(-120)}, 0, -120},
      {"wheel right", Act::HorizontalWheel, 1, 0, 0, Events{sideways(120)}, 0, -120},
      {"wheel left twice", Act::HorizontalWheel, -2, 0, 0, Events{sideways(0), sideways(-120)},
       0, -120},
      {"leave", Act::Leave, 0, 0, 0, Events{leave}, 0, 0},
      {"back in", Act::MoveTo, 100, 50, 0, Events{enter, move(100, 50, 87, 34)}, 0, -120},
      {"leave again", Act::Leave, 0, 0, 0, Events{leave}, 0, 0},
  };
  return steps;
}

// The pointer events waiting, the others dropped.
inline std::vector<fb::Event> TakePointerEvents() {
  std::vector<fb::Event> events;
  fb::Event e;
  while (fb::GetEvent(&e))
    if ((e.kind >= fb::EVENT_MOUSE_MOVE && e.kind <= fb::EVENT_MOUSE_LEAVE) ||
        e.kind == fb::EVENT_MOUSE_HWHEEL)
      events.push_back(e);
  return events;
}

inline std::string Describe(const std::vector<fb::Event>& events) {
  std::string out;
  for (const fb::Event& e : events) {
    out += "{" + std::to_string(e.kind);
    for (int32_t f : e.field) out += " " + std::to_string(f);
    out += "} ";
  }
  return out;
}

// Plays every step on the open window, which has the focus.
inline void Play(const Mouse& mouse) {
  ASSERT_TRUE(mouse.moveTo(LEAVE_X, LEAVE_Y));
  std::this_thread::sleep_for(100ms);
  TakePointerEvents();
  bool inside = false;
  int32_t x = 0, y = 0;
  for (const Step& s : Steps()) {
    SCOPED_TRACE(s.what);
    bool taken = false;
    switch (s.act) {
      case Act::MoveTo:
        x = s.a;
        y = s.b;
        taken = mouse.moveTo(x, y);
        break;
      case Act::Leave: taken = mouse.moveTo(LEAVE_X, LEAVE_Y); break;
      case Act::Press: taken = mouse.button(s.a, true); break;
      case Act::Release: taken = mouse.button(s.a, false); break;
      case Act::Click: taken = mouse.click(s.a, s.b, s.c); break;
      case Act::Wheel: taken = mouse.wheel(true, s.a); break;
      case Act::HorizontalWheel: taken = mouse.wheel(false, s.a); break;
    }
    ASSERT_TRUE(taken) << "the server did not take the input";
    if (s.act == Act::MoveTo) inside = true;
    if (s.act == Act::Leave) inside = false;

    std::vector<fb::Event> seen;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (seen.size() < s.events.size() && std::chrono::steady_clock::now() < end) {
      for (const fb::Event& e : TakePointerEvents()) seen.push_back(e);
      std::this_thread::sleep_for(2ms);
    }
    std::this_thread::sleep_for(50ms);  // and nothing more
    for (const fb::Event& e : TakePointerEvents()) seen.push_back(e);
    EXPECT_EQ(Describe(seen), Describe(s.events));

    int32_t mx = -1, my = -1, wheel = -1, buttons = -1;
    const int result = fb::Screen()->driver->GetMouse(&mx, &my, &wheel, &buttons, 0);
    if (!inside) {
      EXPECT_EQ(result, -1);
      continue;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(mx, x);
    EXPECT_EQ(my, y);
    EXPECT_EQ(wheel, s.wheel);
    EXPECT_EQ(buttons, s.buttons);
  }
}

}  // namespace pointerscript
