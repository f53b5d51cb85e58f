// The X11 driver against a real X server (Xvfb in the test command).  A
// second connection of the test reads the window back with XGetImage and
// plays the other clients (the close box, another window taking the
// focus); xdotool plays the user at the keyboard.  Skips without DISPLAY.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "forked_process.h"
#include "frame_pattern.h"
#include <fb/platform/driver.h>
#include <fb/platform/drivers/x11.h>
#include <fb/platform/events.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>
#include "private_xvfb.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>

using namespace std::chrono_literals;

// Inside the library's namespace: its Screen() would otherwise clash with
// Xlib's Screen type.
namespace fb {
namespace {

using framepattern::Pattern32;
using framepattern::Pattern8;

// Generous: these bound a wait for the server and the window thread, they
// are not speed requirements.
constexpr auto DEADLINE = 2s;
constexpr int WIDTH = 203;  // odd on purpose: rows are not a power of two
constexpr int HEIGHT = 151;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = DEADLINE) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Runs a program from PATH with its output discarded; its exit status, or
// -1 when it could not run.
int RunProgram(std::vector<std::string> args) { return testprocess::RunQuietly(std::move(args)); }

bool HaveXdotool() { return RunProgram({"xdotool", "version"}) == 0; }

// Errors on the test's own connection are recorded, not fatal.
std::atomic<int> helperError{0};
int RecordHelperError(Display*, XErrorEvent* e) {
  helperError = e->error_code;
  return 0;
}

std::vector<Event> TakeEvents() {
  std::vector<Event> events;
  Event e;
  while (GetEvent(&e)) events.push_back(e);
  return events;
}

bool HasEvent(const std::vector<Event>& events, int32_t kind, int32_t a = -1) {
  for (const Event& e : events)
    if (e.kind == kind && (a < 0 || e.field[0] == a)) return true;
  return false;
}

// The window as the server holds it: 0xRRGGBB per pixel.
std::vector<uint32_t> ReadWindow(Display* d, Window w, int width, int height) {
  std::vector<uint32_t> out;
  XImage* image = XGetImage(d, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!image) return out;
  out.resize(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out[size_t(y) * size_t(width) + size_t(x)] =
        uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
  XDestroyImage(image);
  return out;
}

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set: no X server to test against";
    unsetenv("SCRDRIVER");
    unsetenv("WAYLAND_DISPLAY");  // in a Wayland session the Wayland window would open
    setenv("FB_SCALE", "1", 1);  // the read-back is pixel for pixel, whatever the screen
    helper = XOpenDisplay(nullptr);
    if (!helper) GTEST_SKIP() << "cannot connect to the X server " << display;
    XSetErrorHandler(RecordHelperError);
    Visual* visual = DefaultVisual(helper, DefaultScreen(helper));
    if (visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF)
      GTEST_SKIP() << "the read-back expects a 24-bit RGB visual";
    ResetKeyQueue();
  }

  void TearDown() override {
    CloseScreen();
    X11AllowShm(true);
    if (helper) XCloseDisplay(helper);
  }

  // Opens the screen on the X11 driver and waits until its window shows.
  void Open(int depth, bool shm = true, int flags = 0) {
    X11AllowShm(shm);
    ASSERT_EQ(SetScreenMode(WIDTH, HEIGHT, depth, 0, flags, 0), 0);
    ASSERT_STREQ(Screen()->driver->name, "X11");
    window = X11WindowId();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(WaitFor([&] {
      XWindowAttributes a;
      return XGetWindowAttributes(helper, window, &a) && a.map_state == IsViewable;
    }));
  }

  // Gives the window the keyboard focus, as a click of the user would.
  void Focus() {
    XSetInputFocus(helper, window, RevertToParent, CurrentTime);
    XSync(helper, False);
    ASSERT_TRUE(WaitFor([] { return WindowActive(); }));
    TakeEvents();
  }

  // Waits until the window thread has stopped presenting (focus changes
  // and exposures at start repaint a few times).
  void Settle() {
    X11PresentStats before = X11Stats();
    for (int quiet = 0, i = 0; quiet < 15 && i < 500; ++i) {
      std::this_thread::sleep_for(10ms);
      X11PresentStats now = X11Stats();
      quiet = now.presents == before.presents ? quiet + 1 : 0;
      before = now;
    }
  }

  // Whether the window shows rgb(x, y) at each framebuffer pixel, as a
  // scale x scale block.
  bool WindowShows(const std::function<uint32_t(int, int)>& rgb, int scale = 1) {
    const int w = WIDTH * scale, h = HEIGHT * scale;
    return WaitFor([&] {
      std::vector<uint32_t> seen = ReadWindow(helper, window, w, h);
      if (seen.empty()) return false;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (seen[size_t(y) * size_t(w) + size_t(x)] != rgb(x / scale, y / scale)) return false;
      return true;
    });
  }

  Display* helper = nullptr;
  Window window = 0;
};

// --- Presentation ---

struct FrameCase {
  int depth;
  bool shm;
  int scale;
};

class X11Frame : public X11Test, public ::testing::WithParamInterface<FrameCase> {};


TEST_P(X11Frame, DrawnFrameAppearsPixelForPixel) {
  const FrameCase c = GetParam();
  setenv("FB_SCALE", std::to_string(c.scale).c_str(), 1);
  Open(c.depth, c.shm);
  const bool serverShm = XShmQueryExtension(helper);
  EXPECT_EQ(X11UsingShm(), c.shm && serverShm);

  ScreenLock();
  const framepattern::Expected expected = framepattern::DrawPattern(*Screen());
  ScreenUnlock(-1, -1);

  EXPECT_TRUE(WindowShows(expected, c.scale));

  if (c.depth == 8) {
    // A palette change repaints every pixel that uses the entry.
    Screen()->driver->SetPalette(Pattern8(0, 0), 0x12, 0x34, 0x56);
    EXPECT_TRUE(WaitFor([&] { return ReadWindow(helper, window, 1, 1) ==
                                     std::vector<uint32_t>{0x123456}; }));
  }
}

INSTANTIATE_TEST_SUITE_P(DepthsAndPaths, X11Frame,
                         ::testing::Values(FrameCase{32, true, 1}, FrameCase{32, false, 1},
                                           FrameCase{16, true, 1}, FrameCase{16, false, 1},
                                           FrameCase{8, true, 1}, FrameCase{8, false, 1},
                                           FrameCase{32, true, 3}, FrameCase{32, false, 3},
                                           FrameCase{16, true, 3}, FrameCase{16, false, 3},
                                           FrameCase{8, true, 3}, FrameCase{8, false, 3}),
                         [](const auto& info) {
                           return std::to_string(info.param.depth) +
                                  (info.param.shm ? "Shm" : "PutImage") +
                                  (info.param.scale > 1
                                       ? "Scale" + std::to_string(info.param.scale)
                                       : "");
                         });

class X11Band : public X11Test, public ::testing::WithParamInterface<bool> {};

void Fill(uint32_t colour) {
  ScreenContext& s = *Screen();
  auto* p = reinterpret_cast<uint32_t*>(s.framebuffer);
  std::fill(p, p + size_t(s.width) * size_t(s.height), colour);
}

TEST_P(X11Band, OnlyTheDirtyBandIsSentAndNothingWhenClean) {
  Open(32, GetParam());
  ScreenLock();
  Fill(0xFF102030);
  ScreenUnlock(-1, -1);
  ASSERT_TRUE(WindowShows([](int, int) { return 0x102030u; }));
  Settle();

  const X11PresentStats before = X11Stats();
  ScreenLock();
  Fill(0xFFA0B0C0);  // the whole framebuffer changes ...
  ScreenUnlock(10, 20);  // ... but only rows 10 to 20 are marked
  EXPECT_TRUE(WindowShows([](int, int y) { return y >= 10 && y <= 20 ? 0xA0B0C0u : 0x102030u; }));
  const X11PresentStats after = X11Stats();
  EXPECT_EQ(after.presents - before.presents, 1);
  EXPECT_EQ(after.rows - before.rows, 11);

  // A clean framebuffer sends nothing, tick after tick.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(X11Stats().presents, after.presents);
}

INSTANTIATE_TEST_SUITE_P(Paths, X11Band, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Shm" : "PutImage"; });

// --- Keyboard ---

class X11Keys : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    if (IsSkipped()) return;
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed: nobody to press the keys";
    Open(32);
    Focus();
  }
  void TearDown() override {
    if (helper && HaveXdotool()) RunProgram({"xdotool", "keyup", "w", "shift"});
    X11Test::TearDown();
  }
  std::string ReadAll() {
    std::string all;
    for (std::string k = ReadKey(); !k.empty(); k = ReadKey()) all += k;
    return all;
  }
};

TEST_F(X11Keys, HeldKeyIsDownUntilReleased) {
  ASSERT_EQ(RunProgram({"xdotool", "keydown", "w"}), 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == -1; }));
  EXPECT_EQ(KeyDown(30), 0);
  ASSERT_EQ(RunProgram({"xdotool", "keyup", "w"}), 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == 0; }));

  // Either Shift holds both Shift scancodes.
  ASSERT_EQ(RunProgram({"xdotool", "keydown", "shift"}), 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(42) == -1 && KeyDown(54) == -1; }));
  ASSERT_EQ(RunProgram({"xdotool", "keyup", "shift"}), 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(42) == 0; }));

  EXPECT_TRUE(WaitFor([] { return KeyHit(); }));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(ReadAll(), "w");  // Shift alone types nothing
  const std::vector<Event> events = TakeEvents();
  EXPECT_TRUE(HasEvent(events, EVENT_KEY_PRESS, 17));
  EXPECT_TRUE(HasEvent(events, EVENT_KEY_RELEASE, 17));
  EXPECT_TRUE(HasEvent(events, EVENT_KEY_PRESS, 42));
}

TEST_F(X11Keys, TypedKeysBecomeKeyCodes) {
  struct Case {
    const char* keys;  // xdotool key names
    const char* read;  // what ReadKey gives, key after key
  };
  const Case cases[] = {
      {"a", "a"},
      {"shift+a", "A"},
      {"Up", "\xFFH"},
      {"F1", "\xFF;"},
      {"shift+F1", "\xFFT"},
      {"ctrl+Right", "\xFFt"},
      {"Delete", "\xFFS"},
      {"Escape", "\x1B"},
      {"Return", "\r"},
      {"ctrl+c", "\x03"},
      {"shift+Tab", "\xFF\x0F\t"},  // the extended code, then the character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ASSERT_EQ(RunProgram({"xdotool", "key", c.keys}), 0);
    std::string seen;
    WaitFor([&] {
      for (std::string k = ReadKey(); !k.empty(); k = ReadKey()) seen += k;
      return seen.size() >= std::strlen(c.read);
    });
    std::this_thread::sleep_for(20ms);
    seen += ReadAll();
    EXPECT_EQ(seen, c.read);
  }
}

TEST_F(X11Keys, TypedCharactersBecomeCodePageBytesOrAQuestionMark) {
  // Give a spare key each symbol in turn, as a French or Russian layout
  // would, so that xdotool presses a real key for it.
  int minCode = 0, maxCode = 0, perCode = 0;
  XDisplayKeycodes(helper, &minCode, &maxCode);
  KeySym* map = XGetKeyboardMapping(helper, KeyCode(minCode), maxCode - minCode + 1, &perCode);
  int spare = 0;
  for (int code = maxCode; code >= minCode && !spare; --code) {
    bool empty = true;
    for (int i = 0; i < perCode; ++i) empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
    if (empty) spare = code;
  }
  XFree(map);
  if (!spare) GTEST_SKIP() << "no unused key code to put the characters on";
  struct Case {
    KeySym symbol;
    const char* name;  // for xdotool
    const char* read;
  };
  const Case cases[] = {
      {XK_eacute, "eacute", "\x82"},
      {XK_EuroSign, "EuroSign", "?"},          // not in code page 437
      {XK_Cyrillic_zhe, "Cyrillic_zhe", "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KeySym symbols[1] = {c.symbol};
    XChangeKeyboardMapping(helper, spare, 1, symbols, 1);
    XSync(helper, False);
    std::this_thread::sleep_for(50ms);  // the window thread refreshes its map
    ASSERT_EQ(RunProgram({"xdotool", "key", c.name}), 0);
    EXPECT_TRUE(WaitFor([] { return KeyHit(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ReadAll(), c.read);
  }
  KeySym none[1] = {NoSymbol};
  XChangeKeyboardMapping(helper, spare, 1, none, 1);
  XSync(helper, False);
}

TEST_F(X11Keys, TapBetweenTwoSamplesIsHeldInTheNextOne) {
  // While the program holds the lock the window thread cannot sample: the
  // press and the release both arrive between two samples.
  ScreenLock();
  ASSERT_EQ(RunProgram({"xdotool", "key", "w"}), 0);
  std::this_thread::sleep_for(50ms);
  ScreenUnlock(1, 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == -1; })) << "the tap was never seen as held";
  // ... and it does not stick.
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == 0; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(KeyDown(17), 0);
}

TEST_F(X11Keys, HeldKeyRepeatsWithoutFalseReleases) {
  ASSERT_EQ(RunProgram({"xdotool", "keydown", "w"}), 0);
  std::this_thread::sleep_for(900ms);  // past the server's repeat delay
  ASSERT_EQ(RunProgram({"xdotool", "keyup", "w"}), 0);
  std::vector<Event> events;
  ASSERT_TRUE(WaitFor([&] {
    for (const Event& e : TakeEvents()) events.push_back(e);
    return HasEvent(events, EVENT_KEY_RELEASE, 17);
  }));
  int presses = 0, repeats = 0, releases = 0;
  for (const Event& e : events) {
    if (e.field[0] != 17) continue;
    EXPECT_EQ(releases, 0) << "a key event after the release";
    presses += e.kind == EVENT_KEY_PRESS;
    repeats += e.kind == EVENT_KEY_REPEAT;
    releases += e.kind == EVENT_KEY_RELEASE;
  }
  if (repeats == 0) GTEST_SKIP() << "the server does not auto-repeat synthetic key presses";
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(releases, 1);
  // One character per press and per repeat; the queue keeps the last 15.
  EXPECT_EQ(ReadAll(), std::string(size_t(std::min(repeats + 1, 15)), 'w'));
}

TEST_F(X11Keys, FocusLossClearsHeldKeys) {
  ASSERT_EQ(RunProgram({"xdotool", "keydown", "w"}), 0);
  ASSERT_TRUE(WaitFor([] { return KeyDown(17) == -1; }));

  // Another client's window takes the focus while w is still held.
  XSetWindowAttributes a{};
  a.override_redirect = True;
  Window other = XCreateWindow(helper, DefaultRootWindow(helper), 0, 0, 50, 50, 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect, &a);
  XMapWindow(helper, other);
  XSync(helper, False);
  ASSERT_TRUE(WaitFor([&] {
    XWindowAttributes wa;
    return XGetWindowAttributes(helper, other, &wa) && wa.map_state == IsViewable;
  }));
  XSetInputFocus(helper, other, RevertToParent, CurrentTime);
  XSync(helper, False);

  EXPECT_TRUE(WaitFor([] { return !WindowActive() && KeyDown(17) == 0; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(KeyDown(17), 0);  // still held on the keyboard, but not ours
  EXPECT_TRUE(HasEvent(TakeEvents(), EVENT_FOCUS_LOST));

  ASSERT_EQ(RunProgram({"xdotool", "keyup", "w"}), 0);
  XDestroyWindow(helper, other);
  XSync(helper, False);
}

TEST_F(X11Keys, AltEnterSwitchesBetweenWindowAndFullScreen) {
  const int screen = DefaultScreen(helper);
  const int fullWidth = DisplayWidth(helper, screen), fullHeight = DisplayHeight(helper, screen);
  auto size = [&] {
    XWindowAttributes a{};
    XGetWindowAttributes(helper, window, &a);
    return std::pair(a.width, a.height);
  };
  ScreenLock();
  Fill(0xFF336699);
  ScreenUnlock(-1, -1);
  ASSERT_TRUE(WindowShows([](int, int) { return 0x336699u; }));

  ASSERT_EQ(RunProgram({"xdotool", "key", "alt+Return"}), 0);
  ASSERT_TRUE(WaitFor([&] { return size() == std::pair(fullWidth, fullHeight); }));
  // The picture sits in the middle of the screen, black around it.
  const int left = (fullWidth - WIDTH) / 2, top = (fullHeight - HEIGHT) / 2;
  auto pixel = [&](int x, int y) {
    XImage* image = XGetImage(helper, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0u;
    const uint32_t rgb = uint32_t(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return rgb;
  };
  EXPECT_TRUE(WaitFor([&] {
    return pixel(0, 0) == 0 && pixel(left, top) == 0x336699 &&
           pixel(left + WIDTH - 1, top + HEIGHT - 1) == 0x336699 &&
           pixel(left + WIDTH, top + HEIGHT) == 0;
  }));

  ASSERT_EQ(RunProgram({"xdotool", "key", "alt+Return"}), 0);
  ASSERT_TRUE(WaitFor([&] { return size() == std::pair(WIDTH, HEIGHT); }));
  EXPECT_TRUE(WindowShows([](int, int) { return 0x336699u; }));
  EXPECT_EQ(ReadKey(), "");  // a system key: nothing in the queue

  // Under SCREEN_NO_SWITCH the window keeps its size.
  CloseScreen();
  Open(32, true, SCREEN_NO_SWITCH);
  Focus();
  ASSERT_EQ(RunProgram({"xdotool", "key", "alt+Return"}), 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(size(), std::pair(WIDTH, HEIGHT));
}

// --- The close box and the window's life ---

TEST_F(X11Test, CloseRequestPutsTheCloseKeyAndKeepsTheWindow) {
  Open(32);
  TakeEvents();
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(helper, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(helper, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(helper, window, False, NoEventMask, &e);
  XSync(helper, False);

  ASSERT_TRUE(WaitFor([] { return KeyHit(); }));
  EXPECT_EQ(ReadKey(), "\xFFk");
  EXPECT_TRUE(HasEvent(TakeEvents(), EVENT_CLOSE));
  std::this_thread::sleep_for(50ms);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(helper, window, &a));
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(Screen()->driver, &X11_DRIVER);
}

TEST_F(X11Test, ClosingWhileTheProgramHoldsTheLockEndsTheWindow) {
  Open(32);
  ScreenLock();
  ScreenLock();
  CloseScreen();
  EXPECT_EQ(Screen(), nullptr);
  // The window thread destroyed its window before it ended ...
  helperError = 0;
  XWindowAttributes a;
  XGetWindowAttributes(helper, window, &a);
  XSync(helper, False);
  EXPECT_EQ(helperError, BadWindow);
  // ... and a new one can start.
  ASSERT_EQ(SetScreenMode(64, 48, 32, 0, 0, 0), 0);
  EXPECT_STREQ(Screen()->driver->name, "X11");
}

TEST_F(X11Test, TitleMousePositionAndModes) {
  Open(32);
  Focus();
  const DisplayDriver& d = *Screen()->driver;

  SetWindowTitle("x11 test window");
  EXPECT_TRUE(WaitFor([&] {
    char* name = nullptr;
    XFetchName(helper, window, &name);
    const bool set = name && std::strcmp(name, "x11 test window") == 0;
    if (name) XFree(name);
    return set;
  }));

  d.SetMouse(12, 34, -1, -1);
  int32_t x = -1, y = -1, wheel = -1, buttons = -1;
  EXPECT_TRUE(WaitFor([&] { return d.GetMouse(&x, &y, &wheel, &buttons, 0) == 0 && x == 12; }));
  EXPECT_EQ(y, 34);
  EXPECT_EQ(buttons, 0);
  d.SetMouse(5000, 5000, -1, -1);  // clamped to the client area
  EXPECT_TRUE(WaitFor([&] { return d.GetMouse(&x, &y, &wheel, &buttons, 0) == 0 && x == WIDTH - 1; }));
  EXPECT_EQ(y, HEIGHT - 1);

  d.SetWindowPosition(100, 60);
  EXPECT_TRUE(WaitFor([&] { return d.SetWindowPosition(INT32_MIN, INT32_MIN) == (60 << 16 | 100); }));

  int32_t count = 0;
  const int32_t* modes = d.FetchModes(32, &count);
  ASSERT_EQ(count, 1);
  const int screen = DefaultScreen(helper);
  EXPECT_EQ(modes[0], DisplayWidth(helper, screen) << 16 | DisplayHeight(helper, screen));
  EXPECT_EQ(d.FetchModes(12, &count), nullptr);
  EXPECT_EQ(count, 0);
}

// --- Scaled window ---

// A screen of the test's own, large enough for a 2048 x 1536 window.
class X11Scaled : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!xvfb.Start("2304x1792x24")) GTEST_SKIP() << "Xvfb could not be started";
    display.emplace(xvfb.Display());
    unsetenv("SCRDRIVER");
    unsetenv("WAYLAND_DISPLAY");
    setenv("FB_SCALE", "2", 1);
    other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    X11AllowShm(GetParam());
  }
  void TearDown() override {
    CloseScreen();  // before the server goes: a lost window would end the test
    X11AllowShm(true);
    unsetenv("FB_SCALE");
    if (other) XCloseDisplay(other);
  }
  testxvfb::PrivateXvfb xvfb;
  std::optional<testxvfb::DisplayVariable> display;
  Display* other = nullptr;
};

TEST_P(X11Scaled, EveryPixelShowsAsATwoByTwoBlock) {
  constexpr int W = 1024, H = 768;
  ASSERT_EQ(SetScreenMode(W, H, 32, 0, 0, 0), 0);
  ASSERT_STREQ(Screen()->driver->name, "X11");
  EXPECT_EQ(X11UsingShm(), GetParam());
  const Window window = X11WindowId();
  XWindowAttributes a{};
  ASSERT_TRUE(WaitFor([&] {
    return XGetWindowAttributes(other, window, &a) && a.map_state == IsViewable;
  }));
  EXPECT_EQ(a.width, 2 * W);
  EXPECT_EQ(a.height, 2 * H);
  // The program's own pixels keep its size.
  EXPECT_EQ(Screen()->width, W);
  EXPECT_EQ(Screen()->height, H);

  ScreenLock();
  ScreenContext& s = *Screen();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint32_t v = Pattern32(x, y);
      std::memcpy(s.framebuffer + size_t(y) * size_t(s.pitch) + size_t(x) * 4, &v, 4);
    }
  ScreenUnlock(-1, -1);
  std::vector<uint32_t> seen;
  auto doubled = [&](const std::function<uint32_t(int, int)>& rgb) {
    return WaitFor([&] {
      seen = ReadWindow(other, window, 2 * W, 2 * H);
      if (seen.empty()) return false;
      for (int y = 0; y < 2 * H; ++y)
        for (int x = 0; x < 2 * W; ++x)
          if (seen[size_t(y) * 2 * W + size_t(x)] != rgb(x / 2, y / 2)) return false;
      return true;
    });
  };
  EXPECT_TRUE(doubled([](int x, int y) { return Pattern32(x, y) & 0xFFFFFF; }));

  // Only the dirty band is sent: rows 10 to 20 of the frame, 20 to 41 of
  // the window.
  X11PresentStats before = X11Stats();
  for (int quiet = 0, i = 0; quiet < 15 && i < 500; ++i) {  // let start-up repaints pass
    std::this_thread::sleep_for(10ms);
    const X11PresentStats now = X11Stats();
    quiet = now.presents == before.presents ? quiet + 1 : 0;
    before = now;
  }
  ScreenLock();
  Fill(0xFFA0B0C0);
  ScreenUnlock(10, 20);
  EXPECT_TRUE(doubled([](int x, int y) {
    return y >= 10 && y <= 20 ? 0xA0B0C0u : Pattern32(x, y) & 0xFFFFFF;
  }));
  EXPECT_EQ(X11Stats().rows - before.rows, 11);

  // The mouse speaks in the program's pixels too.
  XSetInputFocus(other, window, RevertToParent, CurrentTime);
  XSync(other, False);
  ASSERT_TRUE(WaitFor([] { return WindowActive(); }));
  const DisplayDriver& d = *Screen()->driver;
  d.SetMouse(100, 50, -1, -1);
  int32_t mx = -1, my = -1;
  EXPECT_TRUE(WaitFor([&] { return d.GetMouse(&mx, &my, nullptr, nullptr, 0) == 0 && mx == 100; }));
  EXPECT_EQ(my, 50);
  Window root, child;
  int rootX, rootY, windowX = -1, windowY = -1;
  unsigned mask;
  XQueryPointer(other, window, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
  EXPECT_EQ(windowX / 2, 100);
  EXPECT_EQ(windowY / 2, 50);
}

INSTANTIATE_TEST_SUITE_P(Paths, X11Scaled, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Shm" : "PutImage"; });

TEST(X11WindowScale, ChosenFromTheSettingOrTheScreen) {
  using V = SettingVerdict;
  struct Case {
    const char* setting;
    int32_t screenWidth, screenHeight, width, height;
    int32_t scale;
    V verdict;
  };
  const Case cases[] = {
      // Automatic: full-HD screens held, no more than fits.
      {nullptr, 1920, 1080, 1024, 768, 1, V::Unset},
      {nullptr, 2560, 1440, 1024, 768, 1, V::Unset},
      {nullptr, 3840, 2160, 1024, 768, 2, V::Unset},
      {nullptr, 5120, 2880, 1024, 768, 2, V::Unset},
      {nullptr, 7680, 4320, 1024, 768, 4, V::Unset},
      {nullptr, 7680, 4320, 2048, 1536, 2, V::Unset},  // 3 would not fit
      {nullptr, 1280, 1024, 203, 151, 1, V::Unset},    // a small window on an ordinary screen
      {nullptr, 1280, 1024, 2048, 1536, 1, V::Unset},  // larger than the screen already
      {"", 3840, 2160, 1024, 768, 2, V::Unset},
      // Set: taken as it is while the picture fits, else the largest that fits.
      {"1", 3840, 2160, 1024, 768, 1, V::Taken},
      {"2", 3840, 2160, 1024, 768, 2, V::Taken},
      {"1", 1280, 1024, 2048, 1536, 1, V::Taken},  // nothing smaller to take
      {"2", 1280, 1024, 1024, 768, 1, V::Capped},
      {"3", 1280, 1024, 1024, 768, 1, V::Capped},
      {"99", 1280, 1024, 1024, 768, 1, V::Capped},
      {"3", 1280, 1024, 64, 48, 3, V::Taken},
      {"16", 1280, 1024, 64, 48, 16, V::Taken},
      {"17", 1280, 1024, 64, 48, 16, V::Capped},  // never above 16
      {"99999999999999999999", 1280, 1024, 64, 48, 16, V::Capped},
      {"9", 40000, 1024, 4000, 100, 4, V::Capped},  // at most 16384 pixels a side
      // Not a scale: the automatic choice.
      {"0", 3840, 2160, 1024, 768, 2, V::Unusable},
      {"-2", 3840, 2160, 1024, 768, 2, V::Unusable},
      {"2x", 1920, 1080, 1024, 768, 1, V::Unusable},
      {"abc", 3840, 2160, 1024, 768, 2, V::Unusable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.setting ? c.setting : "(unset)") << " on "
                                    << c.screenWidth << "x" << c.screenHeight);
    V verdict = V::Refused;
    EXPECT_EQ(WindowScale(c.setting, c.screenWidth, c.screenHeight, c.width, c.height, &verdict),
              c.scale);
    EXPECT_EQ(verdict, c.verdict);
  }
}

// --- Losing the window ---

using testxvfb::Loss;

class X11Loss : public ::testing::TestWithParam<testxvfb::LossCase> {};

// What the program sends once its window is up.
struct Opened {
  unsigned long window;
  bool shm;
};

// A program that draws frames and looks at Escape, as the game does,
// on the display given, until the library ends it; it gives up after
// 10 s with status 98.  Reports Opened once its window is up.  meetBreak
// first kills the server itself while holding the screen lock, and makes
// a driver call that talks to the server, so that its own thread, not the
// window thread, is the one to find the connection broken.
int DrawUntilStopped(int report, const std::string& display, pid_t meetBreak = 0) {
  setenv("DISPLAY", display.c_str(), 1);
  unsetenv("SCRDRIVER");
  unsetenv("WAYLAND_DISPLAY");
  if (SetScreenMode(WIDTH, HEIGHT, 32, 0, 0, 0) != 0) return 97;
  const Opened opened{X11WindowId(), X11UsingShm()};
  if (write(report, &opened, sizeof opened) != sizeof opened) return 96;
  if (meetBreak) {
    ScreenLock();
    kill(meetBreak, SIGKILL);
    std::this_thread::sleep_for(200ms);
    Screen()->driver->SetWindowPosition(INT32_MIN, INT32_MIN);  // a round trip
    ScreenUnlock(1, 0);
  }
  const auto end = std::chrono::steady_clock::now() + 10s;
  for (uint32_t frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
    ScreenLock();
    Fill(0xFF000000u | frame * 0x010203u);
    ScreenUnlock(-1, -1);
    if (KeyDown(1)) return 95;
    std::this_thread::sleep_for(16ms);
  }
  return 98;  // ran on without a window
}

// The program must end on its own, with one line on standard error and
// status 1; today's fault was an abort (a killed server) or running on
// unseen (a destroyed window).
TEST_P(X11Loss, ProgramEndsWithOneLineAndStatusOne) {
  const testxvfb::LossCase c = GetParam();
  testxvfb::PrivateXvfb xvfb;
  if (!xvfb.Start("640x480x24", c.shm)) GTEST_SKIP() << "Xvfb could not be started";
  testprocess::ForkedProcess program(
      [&](int report) { return DrawUntilStopped(report, xvfb.Display()); });
  ASSERT_TRUE(program.Started());
  Opened opened{};
  ASSERT_TRUE(program.Receive(&opened, sizeof opened, 10s))
      << "the program did not open its window: " << program.StandardError();
  EXPECT_EQ(opened.shm, c.shm);
  std::this_thread::sleep_for(100ms);  // a few frames on show

  std::string reason;
  if (c.loss == Loss::ServerKilled) {
    xvfb.Kill();
    reason = "lost the connection to the X display \"" + xvfb.Display() + "\"";
  } else {
    Display* other = XOpenDisplay(xvfb.Display().c_str());
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, Window(opened.window));
    XSync(other, False);
    XCloseDisplay(other);
    reason = "the window on the X display \"" + xvfb.Display() + "\" was destroyed by another program";
  }
  EXPECT_TRUE(program.Wait(10s)) << "the program went on without its window";
  EXPECT_TRUE(program.ExitedWith(WINDOW_LOST_EXIT_STATUS)) << program.Describe();
  EXPECT_EQ(program.StandardError(), ProgramName() + ": " + reason + "\n");
}

// Xlib hangs a thread that calls it after another thread has met the
// break; the window thread must leave the connection alone from then on.
TEST(X11LossOnTheProgramsThread, ProgramEndsWithOneLineAndStatusOne) {
  testxvfb::PrivateXvfb xvfb;
  if (!xvfb.Start("640x480x24")) GTEST_SKIP() << "Xvfb could not be started";
  testprocess::ForkedProcess program(
      [&](int report) { return DrawUntilStopped(report, xvfb.Display(), xvfb.Pid()); });
  Opened opened{};
  ASSERT_TRUE(program.Receive(&opened, sizeof opened, 10s)) << program.StandardError();
  EXPECT_TRUE(program.Wait(10s)) << "the program hung or went on without its window";
  EXPECT_TRUE(program.ExitedWith(WINDOW_LOST_EXIT_STATUS)) << program.Describe();
  EXPECT_EQ(program.StandardError(),
            ProgramName() + ": lost the connection to the X display \"" + xvfb.Display() + "\"\n");
}

INSTANTIATE_TEST_SUITE_P(Losses, X11Loss, ::testing::ValuesIn(testxvfb::LOSS_CASES),
                         [](const auto& info) { return testxvfb::LossCaseName(info.param); });

// --- No display ---

TEST(X11NoDisplay, SetScreenModeFailsCleanly) {
  const char* saved = std::getenv("DISPLAY");
  const std::string before = saved ? saved : "";
  struct stat st;
  if (stat("/tmp/.X11-unix/X99", &st) == 0) GTEST_SKIP() << "something listens on display :99";
  unsetenv("SCRDRIVER");
  for (const char* display : {"", ":99"}) {
    SCOPED_TRACE(display);
    if (*display)
      setenv("DISPLAY", display, 1);
    else
      unsetenv("DISPLAY");
    EXPECT_EQ(SetScreenMode(64, 48, 32, 0, 0, 0), 1);
    EXPECT_EQ(Screen(), nullptr);
  }
  if (saved)
    setenv("DISPLAY", before.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
}  // namespace fb
