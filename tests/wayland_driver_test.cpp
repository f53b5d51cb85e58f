// The Wayland driver against a real compositor: a headless sway of each
// test's own (tests/private_sway.h), where grim reads the window back,
// wtype plays the user at the keyboard and swaymsg plays the window
// manager (the close box, another workspace taking the focus).  The same
// suite as the X11 window's.  Skips without sway and its tools.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "forked_process.h"
#include "frame_pattern.h"
#include <fb/platform/driver.h>
#include <fb/platform/drivers/wayland.h>
#include <fb/platform/events.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>
#include "private_sway.h"

using namespace std::chrono_literals;

namespace fb {
namespace {

using framepattern::Pattern8;

// Generous: these bound waits for the compositor and the window thread,
// they are not speed requirements.
constexpr auto DEADLINE = 5s;
constexpr int WIDTH = 203;  // odd on purpose: rows are not a power of two
constexpr int HEIGHT = 151;
const char* const APP_ID = "wayland_driver_test";  // the window's title and app_id

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = DEADLINE) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::vector<Event> TakeEvents() {
  std::vector<Event> events;
  Event e;
  while (GetEvent(&e)) events.push_back(e);
  return events;
}

int CountEvents(const std::vector<Event>& events, int32_t kind, int32_t a = -1) {
  return int(std::count_if(events.begin(), events.end(), [&](const Event& e) {
    return e.kind == kind && (a < 0 || e.field[0] == a);
  }));
}

std::string ReadAll() {
  std::string all;
  for (std::string k = ReadKey(); !k.empty(); k = ReadKey()) all += k;
  return all;
}


void Fill(uint32_t colour) {
  ScreenContext& s = *Screen();
  auto* p = reinterpret_cast<uint32_t*>(s.framebuffer);
  std::fill(p, p + size_t(s.width) * size_t(s.height), colour);
}

class WaylandTest : public ::testing::Test {
 protected:
  void SetUp() override { StartSway(1); }
  void TearDown() override {
    CloseScreen();  // before the compositor goes: a lost window would end the test
    for (pid_t typist : typists) waitpid(typist, nullptr, 0);
    unsetenv("FB_SCALE");
  }

  void StartSway(int outputScale) {
    if (!testsway::PrivateSway::Available()) GTEST_SKIP() << "sway, wtype or grim is missing";
    ASSERT_TRUE(sway.Start(1280, 1024, outputScale)) << "sway did not start";
    sway.Use();
    unsetenv("SCRDRIVER");
    unsetenv("DISPLAY");  // nothing but the Wayland window can open
    ResetKeyQueue();
  }

  // Opens the screen and waits until sway shows its window.
  void Open(int depth, int flags = 0, int width = WIDTH, int height = HEIGHT) {
    SetWindowTitle(APP_ID);
    ASSERT_EQ(SetScreenMode(width, height, depth, 0, flags, 0), 0) << DisplayFailure();
    ASSERT_STREQ(Screen()->driver->name, "Wayland");
    ASSERT_TRUE(WaitFor([&] { return Window().width > 0; })) << "sway shows no window";
    ASSERT_TRUE(WaitFor([] { return WindowActive(); })) << "the new window has no focus";
    TakeEvents();
  }

  testsway::Rect Window() const { return sway.WindowRect(APP_ID); }

  // Whether the window shows rgb(x, y) at each framebuffer pixel, as a
  // scale x scale block of output pixels.
  bool WindowShows(const std::function<uint32_t(int, int)>& rgb, int scale = 1) {
    return WaitFor([&] {
      const testsway::Shot shot = sway.Screenshot(Window());
      if (shot.width != WIDTH * scale || shot.height != HEIGHT * scale) return false;
      for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
          if (shot.At(x, y) != rgb(x / scale, y / scale)) return false;
      return true;
    });
  }

  // Waits until the window thread has stopped presenting.
  void Settle() {
    WaylandPresentStats before = WaylandStats();
    for (int quiet = 0, i = 0; quiet < 15 && i < 500; ++i) {
      std::this_thread::sleep_for(10ms);
      const WaylandPresentStats now = WaylandStats();
      quiet = now.presents == before.presents ? quiet + 1 : 0;
      before = now;
    }
  }

  // Keys held while the test looks: wtype runs on in the background.
  void Hold(const std::string& args) { typists.push_back(sway.TypeInBackground(args)); }

  testsway::PrivateSway sway;
  std::vector<pid_t> typists;
};

// --- Presentation ---

struct FrameCase {
  int depth;
  const char* scaleSetting;  // FB_SCALE, or nullptr for the automatic choice
  int outputScale;
  int scale;  // output pixels a framebuffer pixel takes each way
};

class WaylandFrame : public WaylandTest, public ::testing::WithParamInterface<FrameCase> {
 protected:
  void SetUp() override { StartSway(GetParam().outputScale); }
};

TEST_P(WaylandFrame, DrawnFrameAppearsPixelForPixel) {
  const FrameCase c = GetParam();
  if (c.scaleSetting) setenv("FB_SCALE", c.scaleSetting, 1);
  Open(c.depth);
  // The window's size in the layout: output pixels over the output's scale.
  EXPECT_EQ(Window().width, WIDTH * c.scale / c.outputScale);
  EXPECT_EQ(WaylandWindowGeometry().scale, c.scale);
  EXPECT_EQ(WaylandWindowGeometry().bufferScale, c.outputScale);
  EXPECT_TRUE(WaylandWindowGeometry().serverDecorations);

  ScreenLock();
  const framepattern::Expected expected = framepattern::DrawPattern(*Screen());
  ScreenUnlock(-1, -1);

  EXPECT_TRUE(WindowShows(expected, c.scale));

  if (c.depth == 8) {
    // A palette change repaints every pixel that uses the entry.
    Screen()->driver->SetPalette(Pattern8(0, 0), 0x12, 0x34, 0x56);
    EXPECT_TRUE(WaitFor([&] {
      const testsway::Shot shot = sway.Screenshot({Window().x, Window().y, 1, 1});
      return !shot.pixels.empty() && shot.At(0, 0) == 0x123456;
    }));
  }
}

INSTANTIATE_TEST_SUITE_P(DepthsAndScales, WaylandFrame,
                         ::testing::Values(FrameCase{32, "1", 1, 1}, FrameCase{16, "1", 1, 1},
                                           FrameCase{8, "1", 1, 1}, FrameCase{32, "3", 1, 3},
                                           FrameCase{8, "3", 1, 3},
                                           // HiDPI: sharp 2 x 2 blocks at the usual size.
                                           FrameCase{32, nullptr, 2, 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.depth) + "Scale" +
                                  std::to_string(info.param.scale) + "Output" +
                                  std::to_string(info.param.outputScale);
                         });

TEST_F(WaylandTest, OnlyTheDirtyBandIsSentAndNothingWhenClean) {
  Open(32);
  ScreenLock();
  Fill(0xFF102030);
  ScreenUnlock(-1, -1);
  ASSERT_TRUE(WindowShows([](int, int) { return 0x102030u; }));
  Settle();

  const WaylandPresentStats before = WaylandStats();
  ScreenLock();
  Fill(0xFFA0B0C0);  // the whole framebuffer changes ...
  ScreenUnlock(10, 20);  // ... but only rows 10 to 20 are marked
  EXPECT_TRUE(WindowShows([](int, int y) { return y >= 10 && y <= 20 ? 0xA0B0C0u : 0x102030u; }));
  const WaylandPresentStats after = WaylandStats();
  EXPECT_EQ(after.presents - before.presents, 1);
  EXPECT_EQ(after.rows - before.rows, 11);

  // A clean framebuffer sends nothing, tick after tick.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(WaylandStats().presents, after.presents);
}

TEST_F(WaylandTest, AHiddenWindowIsPacedAndShowsTheLastFrameOnItsReturn) {
  Open(32);
  ScreenLock();
  Fill(0xFF102030);
  ScreenUnlock(-1, -1);
  ASSERT_TRUE(WindowShows([](int, int) { return 0x102030u; }));
  Settle();
  // On another workspace the window is not shown: the compositor asks for
  // no frames, and the window sends at most the one it was asked for.
  sway.Message("workspace 2");
  ASSERT_TRUE(WaitFor([] { return !WindowActive(); }));
  std::this_thread::sleep_for(50ms);
  const WaylandPresentStats hidden = WaylandStats();
  for (uint32_t frame = 1; frame <= 10; ++frame) {
    ScreenLock();
    Fill(0xFF000000u | frame * 0x101010u);
    ScreenUnlock(-1, -1);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_LE(WaylandStats().presents - hidden.presents, 1);
  // Back on show, the last frame drawn is the one shown.
  sway.Message("workspace 1");
  EXPECT_TRUE(WindowShows([](int, int) { return 0xA0A0A0u; }));
}

// --- Keyboard ---

TEST_F(WaylandTest, HeldKeyIsDownUntilReleased) {
  Open(32);
  Hold("-P w -s 600 -p w -P shift_l -s 600 -p shift_l");
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == -1; }));
  EXPECT_EQ(KeyDown(30), 0);
  EXPECT_TRUE(WaitFor([] { return KeyDown(17) == 0; }));
  // Either Shift holds both Shift scancodes.
  EXPECT_TRUE(WaitFor([] { return KeyDown(42) == -1 && KeyDown(54) == -1; }));
  EXPECT_TRUE(WaitFor([] { return KeyDown(42) == 0; }));
  std::this_thread::sleep_for(30ms);
  const std::vector<Event> events = TakeEvents();
  EXPECT_EQ(CountEvents(events, EVENT_KEY_PRESS, 17), 1);
  EXPECT_EQ(CountEvents(events, EVENT_KEY_RELEASE, 17), 1);
  EXPECT_EQ(CountEvents(events, EVENT_KEY_PRESS, 42), 1);
  EXPECT_EQ(ReadAll().substr(0, 1), "w");  // Shift alone types nothing
}

TEST_F(WaylandTest, TypedKeysBecomeTheSameKeyCodesAsOnX11) {
  Open(32);
  struct Case {
    const char* keys;  // wtype's arguments
    const char* read;  // what ReadKey gives, key after key
  };
  // wtype numbers its keys as it likes and sends a keymap of its own:
  // only a driver that maps through the keymap gets these right.
  const Case cases[] = {
      {"a", "a"},
      {"A", "A"},  // wtype sends the symbol A itself: its keymap has no Shift level
      {"-k Up", "\xFFH"},
      {"-k F1", "\xFF;"},
      {"-M shift -k F1 -m shift", "\xFFT"},
      {"-M ctrl -k Right -m ctrl", "\xFFt"},
      {"-k Delete", "\xFFS"},
      {"-k Escape", "\x1B"},
      {"-k Return", "\r"},
      {"-M ctrl -k c -m ctrl", "\x03"},
      {"-M shift -k Tab -m shift", "\xFF\x0F\t"},  // the extended code, then the character
      {"\xC3\xA9", "\x82"},  // é, byte 0x82 of code page 437
      {"\xE2\x82\xAC", "?"},  // €, which code page 437 lacks
      {"-k F10 x", "x"},  // F10 types nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ASSERT_TRUE(sway.Type(c.keys));
    std::string seen;
    WaitFor([&] {
      seen += ReadAll();
      return seen.size() >= std::strlen(c.read);
    });
    std::this_thread::sleep_for(20ms);
    seen += ReadAll();
    EXPECT_EQ(seen, c.read);
  }
}

TEST_F(WaylandTest, HeldKeyRepeatsAtTheCompositorsRate) {
  Open(32);
  // sway repeats 25 keys a second after 600 ms; the client does the
  // repeating.
  ASSERT_TRUE(sway.Type("-P w -s 1000 -p w"));
  std::vector<Event> events;
  ASSERT_TRUE(WaitFor([&] {
    for (const Event& e : TakeEvents()) events.push_back(e);
    return CountEvents(events, EVENT_KEY_RELEASE, 17) > 0;
  }));
  const int repeats = CountEvents(events, EVENT_KEY_REPEAT, 17);
  EXPECT_GE(repeats, 5);   // 400 ms of repeating at 25 a second, give or take a tick
  EXPECT_LE(repeats, 12);
  EXPECT_EQ(CountEvents(events, EVENT_KEY_PRESS, 17), 1);
  EXPECT_EQ(CountEvents(events, EVENT_KEY_RELEASE, 17), 1);
  // One character per press and per repeat; the queue keeps the last 15.
  EXPECT_EQ(ReadAll(), std::string(size_t(std::min(repeats + 1, 15)), 'w'));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(CountEvents(TakeEvents(), EVENT_KEY_REPEAT), 0) << "repeating after the release";
}

TEST_F(WaylandTest, FocusLossClearsHeldKeys) {
  Open(32);
  Hold("-P w -s 3000 -p w");
  ASSERT_TRUE(WaitFor([] { return KeyDown(17) == -1; }));
  sway.Message("workspace 2");  // another workspace takes the focus while w is held
  EXPECT_TRUE(WaitFor([] { return !WindowActive() && KeyDown(17) == 0; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(KeyDown(17), 0);  // still held on the keyboard, but not ours
  const std::vector<Event> events = TakeEvents();
  EXPECT_EQ(CountEvents(events, EVENT_FOCUS_LOST), 1);
  EXPECT_EQ(CountEvents(events, EVENT_KEY_REPEAT), 0) << "a key repeating for another window";
  sway.Message("workspace 1");
  EXPECT_TRUE(WaitFor([] { return WindowActive(); }));
  EXPECT_EQ(CountEvents(TakeEvents(), EVENT_FOCUS_GAINED), 1);
}

TEST_F(WaylandTest, AltEnterSwitchesBetweenWindowAndFullScreen) {
  Open(32);
  ScreenLock();
  Fill(0xFF336699);
  ScreenUnlock(-1, -1);
  ASSERT_TRUE(WindowShows([](int, int) { return 0x336699u; }));

  ASSERT_TRUE(sway.Type("-M alt -k Return -m alt"));
  const testsway::Rect full{0, 0, 1280, 1024};
  ASSERT_TRUE(WaitFor([&] { return Window() == full; }));
  // The picture sits in the middle of the screen, black around it.
  const int left = (1280 - WIDTH) / 2, top = (1024 - HEIGHT) / 2;
  EXPECT_TRUE(WaitFor([&] {
    const testsway::Shot s = sway.Screenshot(full);
    return s.width == 1280 && s.At(0, 0) == 0 && s.At(left, top) == 0x336699 &&
           s.At(left + WIDTH - 1, top + HEIGHT - 1) == 0x336699 &&
           s.At(left + WIDTH, top + HEIGHT) == 0 && s.At(left - 1, top) == 0;
  }));

  ASSERT_TRUE(sway.Type("-M alt -k Return -m alt"));
  ASSERT_TRUE(WaitFor([&] { return Window().width == WIDTH && Window().height == HEIGHT; }));
  EXPECT_TRUE(WindowShows([](int, int) { return 0x336699u; }));
  EXPECT_EQ(ReadKey(), "");  // a system key: nothing in the queue

  // Under SCREEN_NO_SWITCH the window keeps its size.
  CloseScreen();
  Open(32, SCREEN_NO_SWITCH);
  ASSERT_TRUE(sway.Type("-M alt -k Return -m alt"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Window().width, WIDTH);
}

// --- The close box and the window's life ---

TEST_F(WaylandTest, CloseRequestPutsTheCloseKeyAndKeepsTheWindow) {
  Open(32);
  sway.Message(std::string("'[app_id=\"") + APP_ID + "\"] kill'");
  ASSERT_TRUE(WaitFor([] { return KeyHit(); }));
  EXPECT_EQ(ReadKey(), "\xFFk");
  EXPECT_EQ(CountEvents(TakeEvents(), EVENT_CLOSE), 1);
  std::this_thread::sleep_for(100ms);
  EXPECT_GT(Window().width, 0) << "the window is still there";
  EXPECT_EQ(Screen()->driver, &WAYLAND_DRIVER);
}

TEST_F(WaylandTest, OwnTitleBarWhereTheCompositorDrawsNone) {
  WaylandAllowServerDecorations(false);
  Open(32);
  WaylandAllowServerDecorations(true);
  EXPECT_FALSE(WaylandWindowGeometry().serverDecorations);
  ScreenLock();
  Fill(0xFF336699);
  ScreenUnlock(-1, -1);
  // The bar sits above the picture, in the window's size; its close box
  // is a square at the right end, with a cross from corner to corner.
  ASSERT_TRUE(WaitFor([&] { return Window().height == HEIGHT + WAYLAND_BAR_HEIGHT; }))
      << Window().height;
  const int box = WIDTH - WAYLAND_BAR_HEIGHT, middle = WAYLAND_BAR_HEIGHT / 2;
  EXPECT_TRUE(WaitFor([&] {
    const testsway::Shot s = sway.Screenshot(Window());
    return s.width == WIDTH && s.At(2, 2) == 0x2E3440 && s.At(box - 1, middle) == 0x2E3440 &&
           s.At(box + 1, 0) == 0x434C5E && s.At(box + middle, middle) == 0xECEFF4 &&
           s.At(0, WAYLAND_BAR_HEIGHT) == 0x336699 && s.At(WIDTH - 1, s.height - 1) == 0x336699;
  }));
  struct Case {
    double x, y;
    WaylandFramePart part;
  };
  const Case cases[] = {
      {0, 0, WaylandFramePart::Bar},         {box - 0.5, 23.9, WaylandFramePart::Bar},
      {box, 0, WaylandFramePart::CloseBox},  {WIDTH - 0.1, 23.9, WaylandFramePart::CloseBox},
      {-0.1, 5, WaylandFramePart::None},     {WIDTH, 5, WaylandFramePart::None},
      {5, WAYLAND_BAR_HEIGHT, WaylandFramePart::None}, {5, -1, WaylandFramePart::None},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WaylandFramePartAt(WIDTH, c.x, c.y), c.part) << c.x << ", " << c.y;
}

TEST_F(WaylandTest, ClosingWhileTheProgramHoldsTheLockEndsTheWindow) {
  Open(32);
  ScreenLock();
  ScreenLock();
  CloseScreen();
  EXPECT_EQ(Screen(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return Window().width == 0; })) << "the window is still shown";
  // ... and a new one can start.
  Open(32);
}

TEST_F(WaylandTest, TitleModesAndWhatWaylandCannotDo) {
  Open(32);
  const DisplayDriver& d = *Screen()->driver;
  SetWindowTitle("wayland test window");
  EXPECT_TRUE(WaitFor([&] {
    return sway.Message("-t get_tree").find("\"name\": \"wayland test window\"") != std::string::npos;
  }));
  int32_t count = 0;
  const int32_t* modes = d.FetchModes(32, &count);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(modes[0], 1280 << 16 | 1024);
  EXPECT_EQ(d.FetchModes(12, &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Screen()->refreshRate, 60);  // the headless output's
  // No client may place its window, nor knows where it is.
  EXPECT_EQ(d.SetWindowPosition(100, 60), 0);
  const testsway::Rect before = Window();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Window(), before);
  // With no pointer on the seat there is no position to report.
  int32_t x = -1, y = -1;
  EXPECT_EQ(d.GetMouse(&x, &y, nullptr, nullptr, 0), -1);
}

// --- Losing the compositor ---

// A program that draws frames and looks at Escape, as the game does, until
// the library ends it; it gives up after 10 s with status 98.  Writes one
// byte once its window is up.
int DrawUntilStopped(int report) {
  if (SetScreenMode(WIDTH, HEIGHT, 32, 0, 0, 0) != 0) return 97;
  if (std::strcmp(Screen()->driver->name, "Wayland") != 0) return 96;
  if (write(report, "o", 1) != 1) return 95;
  const auto end = std::chrono::steady_clock::now() + 10s;
  for (uint32_t frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
    ScreenLock();
    Fill(0xFF000000u | frame * 0x010203u);
    ScreenUnlock(-1, -1);
    if (KeyDown(1)) return 94;
    std::this_thread::sleep_for(16ms);
  }
  return 98;  // ran on without a window
}

TEST_F(WaylandTest, KilledCompositorEndsTheProgramWithOneLineAndStatusOne) {
  testprocess::ForkedProcess program(DrawUntilStopped);
  ASSERT_TRUE(program.Started());
  char opened = 0;
  ASSERT_TRUE(program.Receive(&opened, 1, 10s))
      << "the program did not open its window: " << program.StandardError();
  std::this_thread::sleep_for(100ms);  // a few frames on show
  sway.Kill();
  EXPECT_TRUE(program.Wait(10s)) << "the program went on without its window";
  EXPECT_TRUE(program.ExitedWith(WINDOW_LOST_EXIT_STATUS)) << program.Describe();
  EXPECT_EQ(program.StandardError(), ProgramName() + ": lost the connection to the Wayland display \"" +
                                         sway.Display() + "\"\n");
}

// --- No compositor ---

TEST(WaylandNoDisplay, SetScreenModeSaysWhy) {
  struct Case {
    const char* wayland;  // WAYLAND_DISPLAY, nullptr: unset
    const char* x11;      // DISPLAY
    const char* preferred;
    std::string why;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
      {nullptr, nullptr, "wayland", "neither WAYLAND_DISPLAY nor DISPLAY is set"},
      {"", nullptr, nullptr, "WAYLAND_DISPLAY is empty"},
      {"fb-test-nowhere", nullptr, nullptr,
       "cannot connect to the Wayland display \"fb-test-nowhere\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    for (auto [name, value] : {std::pair{"WAYLAND_DISPLAY", c.wayland}, {"DISPLAY", c.x11},
                               {"SCRDRIVER", c.preferred}}) {
      if (value)
        setenv(name, value, 1);
      else
        unsetenv(name);
    }
    EXPECT_EQ(SetScreenMode(64, 48, 32, 0, 0, 0), 1);
    EXPECT_EQ(Screen(), nullptr);
    EXPECT_EQ(DisplayFailure(), c.why);
  }
  unsetenv("SCRDRIVER");
}

}  // namespace
}  // namespace fb
