// The built game when its display is missing or goes away: it must say
// why on one line of standard error and end with status 1, never abort,
// hang or run on unseen.  Settings it cannot take as given are named
// there too.  The display it loses is an Xvfb of the test's
// own, killed or robbed of the game's window while the game is playing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "forked_process.h"
#include "game_support.h"
#include "private_xvfb.h"

// Xlib last: its macros (None, Status, Bool) clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#ifndef FB_SHOOTER_PATH
#error "FB_SHOOTER_PATH must name the built game"
#endif

namespace {

using namespace std::chrono_literals;

constexpr uint32_t GAUGE_BLUE = 0x0000FF;
constexpr uint32_t INTRO_GREEN = 0x00AA00;

void SetOrUnset(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

// Runs the game with DISPLAY, FB_SCALE and SCRDRIVER as given (nullptr:
// unset).
int StartGame(const char* display, const char* scale = "1", const char* driver = nullptr) {
  SetOrUnset("DISPLAY", display);
  SetOrUnset("FB_SCALE", scale);
  SetOrUnset("SCRDRIVER", driver);
  unsetenv("WAYLAND_DISPLAY");  // in a Wayland session the game would open there
  execl(FB_SHOOTER_PATH, "shooter", static_cast<char*>(nullptr));
  return 121;
}

// Runs xdotool on the given display.
int Xdotool(const std::string& display, std::vector<std::string> args) {
  args.insert(args.begin(), {"env", "DISPLAY=" + display, "xdotool"});
  return testprocess::RunQuietly(std::move(args));
}

// The visible top-level window named "shooter" (0 when none).
Window FindGameWindow(Display* display) {
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    XWindowAttributes a;
    if (XFetchName(display, children[i], &name) && name && std::string(name) == "shooter" &&
        XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
      found = children[i];
    if (name) XFree(name);
  }
  if (children) XFree(children);
  return found;
}

// How many pixels of the window's area are colour (0xRRGGBB); 0 when the
// area cannot be read.
int CountColour(Display* display, Window window, int left, int top, int width, int height,
                uint32_t colour) {
  XImage* image =
      XGetImage(display, window, left, top, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!image) return 0;
  int count = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) count += (XGetPixel(image, x, y) & 0xFFFFFF) == colour;
  XDestroyImage(image);
  return count;
}

bool Poll(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 15s) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

TEST(GameWithoutDisplay, SaysWhyOnOneLineAndFails) {
  // A display number nothing listens on.
  int nowhere = 150;
  struct stat st;
  while (stat(("/tmp/.X11-unix/X" + std::to_string(nowhere)).c_str(), &st) == 0 ||
         stat(("/tmp/.X" + std::to_string(nowhere) + "-lock").c_str(), &st) == 0)
    ++nowhere;
  const std::string nowhereName = ":" + std::to_string(nowhere);
  struct Case {
    const char* display;  // nullptr: unset
    std::string why;
  };
  const Case cases[] = {
#ifdef FB_HAVE_WAYLAND
      {nullptr, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
#else
      {nullptr, "DISPLAY is not set"},
#endif
      {"", "DISPLAY is empty"},
      {nowhereName.c_str(), "cannot open the X display \"" + nowhereName + "\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display ? c.display : "(unset)");
    testprocess::ForkedProcess game([&](int) { return StartGame(c.display); });
    ASSERT_TRUE(game.Wait(15s)) << "the game went on without a screen";
    EXPECT_TRUE(game.ExitedWith(1)) << game.Describe();
    EXPECT_EQ(game.StandardError(), "shooter: no screen could be opened: " + c.why + "\n");
  }
}

// The drivers of this build, in their order outside a Wayland session.
#ifdef FB_HAVE_WAYLAND
const char* const DRIVER_NAMES = "X11, Wayland, Null";
#else
const char* const DRIVER_NAMES = "X11, Null";
#endif

// Settings the game cannot take as given are named on standard error,
// one line each, and the game goes on with what was chosen instead: a
// scale capped to fit the 1280 x 1024 screen, or chosen by the screen;
// the usual driver in place of an unknown one.
TEST(GameSettings, EachOneNotTakenIsNamedOnOneLine) {
  testxvfb::PrivateXvfb xvfb;
  if (!xvfb.Start("1280x1024x24")) GTEST_SKIP() << "Xvfb could not be started";
  gametest::ScratchDir dir;
  gametest::WriteGamePictures();
  const std::string capped = " does not fit the screen: scale 1 is used\n";
  const std::string unusable = " is not a whole number from 1 up: scale 1 is used\n";
  struct Case {
    const char* scale;
    const char* driver;
    std::string said;
  };
  const Case cases[] = {
      {"1", nullptr, ""},
      {"99", nullptr, "shooter: FB_SCALE=99" + capped},
      {"17", nullptr, "shooter: FB_SCALE=17" + capped},
      {"3", nullptr, "shooter: FB_SCALE=3" + capped},
      {"0", nullptr, "shooter: FB_SCALE=0" + unusable},
      {"-1", nullptr, "shooter: FB_SCALE=-1" + unusable},
      {"abc", "bogus",
       "shooter: SCRDRIVER=bogus names no display driver (" + std::string(DRIVER_NAMES) +
           "): X11 is used\n"
       "shooter: FB_SCALE=abc" + unusable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("FB_SCALE=") + c.scale + " SCRDRIVER=" + (c.driver ? c.driver : ""));
    testprocess::ForkedProcess game(
        [&](int) { return StartGame(xvfb.Display().c_str(), c.scale, c.driver); });
    Display* other = XOpenDisplay(xvfb.Display().c_str());
    ASSERT_NE(other, nullptr);
    Window window = 0;
    XWindowAttributes a{};
    // The intro's first green letter comes after every note is written.
    const bool typing = Poll([&] {
      if (!window && !(window = FindGameWindow(other))) return false;
      return CountColour(other, window, 250, 256, 8, 8, INTRO_GREEN) > 5;
    });
    if (window) XGetWindowAttributes(other, window, &a);
    XCloseDisplay(other);
    EXPECT_TRUE(typing) << "the game did not reach its intro at scale 1";
    EXPECT_EQ(a.width, 1024);
    EXPECT_EQ(a.height, 768);
    EXPECT_EQ(game.StandardError(), c.said);
  }
}

using testxvfb::Loss;

class GameDisplayLoss : public ::testing::TestWithParam<testxvfb::LossCase> {};

TEST_P(GameDisplayLoss, EndsWithOneLineAndStatusOne) {
  const testxvfb::LossCase c = GetParam();
  if (testprocess::RunQuietly({"xdotool", "version"}) != 0)
    GTEST_SKIP() << "xdotool is not installed: it plays the player and the other program";
  testxvfb::PrivateXvfb xvfb;
  if (!xvfb.Start("1280x1024x24", c.shm)) GTEST_SKIP() << "Xvfb could not be started";
  gametest::ScratchDir dir;
  gametest::WriteGamePictures();
  testprocess::ForkedProcess game([&](int) { return StartGame(xvfb.Display().c_str()); });

  Display* other = XOpenDisplay(xvfb.Display().c_str());
  ASSERT_NE(other, nullptr);
  Window window = 0;
  const bool shown = Poll([&] { return (window = FindGameWindow(other)) != 0; });
  // Past the intro and into the frames: the gauge is drawn.
  const std::string id = std::to_string(window);
  if (shown) Xdotool(xvfb.Display(), {"windowfocus", "--sync", id, "key", "x"});
  const bool playing =
      shown && Poll([&] { return CountColour(other, window, 200, 10, 401, 11, GAUGE_BLUE) > 3000; });
  XCloseDisplay(other);  // before the server goes, or this process would lose it too
  ASSERT_TRUE(shown) << "no game window: " << game.StandardError();
  ASSERT_TRUE(playing) << "the game did not start playing";

  std::string reason;
  if (c.loss == Loss::ServerKilled) {
    xvfb.Kill();
    reason = "lost the connection to the X display \"" + xvfb.Display() + "\"";
  } else {
    EXPECT_EQ(Xdotool(xvfb.Display(), {"windowclose", id}), 0);
    reason = "the window on the X display \"" + xvfb.Display() + "\" was destroyed by another program";
  }
  EXPECT_TRUE(game.Wait(10s)) << "the game went on without its window";
  EXPECT_TRUE(game.ExitedWith(1)) << game.Describe();
  EXPECT_EQ(game.StandardError(), "shooter: " + reason + "\n");
}

INSTANTIATE_TEST_SUITE_P(Losses, GameDisplayLoss, ::testing::ValuesIn(testxvfb::LOSS_CASES),
                         [](const auto& info) { return testxvfb::LossCaseName(info.param); });

}  // namespace
