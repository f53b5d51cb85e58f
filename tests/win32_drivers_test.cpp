// What only one of the Win32 drivers does, from inside the program: the
// full-screen fall-back, the keyboard device and the lost surfaces of
// "DirectX"; the window of "OpenGL", which has no window thread and so
// shows and hears nothing until the program flips.  The tests every windowed driver shares are in
// tests/win32_window_test.cpp.  Needs a display under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/drivers/win32_directx.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>
#include <fb/platform/win32/window.h>
#include <fb/platform/win32/win32.h>
#include "win32_window_support.h"

namespace fb {
namespace {

using fbtest::Eventually;
using fbtest::OpenThrough;
using fbtest::SendW;
using win32::CurrentPresentStats;
using win32::CurrentWindowHandle;

class Win32Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: Wine has no display to make windows on";
  }
  void TearDown() override { CloseScreen(); }
};

// Every row of the 32-bit framebuffer in a colour of its own.
uint32_t RowColour(int y) { return uint32_t((y * 3) & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x40; }

void DrawRows() {
  ScreenContext& s = *Screen();
  ScreenLock();
  for (int y = 0; y < s.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(s.framebuffer + size_t(y) * size_t(s.pitch));
    for (int x = 0; x < s.width; ++x) row[x] = 0xFF000000u | RowColour(y);
  }
  ScreenUnlock(-1, -1);
}

// --- DirectX ---

TEST_F(Win32Driver, DirectXFullScreenFallsBackToATallerModeWithThePictureCentred) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  const int heights[] = {240, 480, 600, 768, 1024};
  const int* own = std::find(std::begin(heights), std::end(heights), height);
  if (own == std::begin(heights) || own == std::end(heights))
    GTEST_SKIP() << "the display's height " << height << " is none of the fall-back heights";
  // The display's own modes of its height: all larger than the second
  // picture, whose own size and width are hidden from the driver.
  std::vector<DisplayMode> larger;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
    if (int(mode.dmPelsHeight) == height && int(mode.dmPelsWidth) == width)
      larger.push_back({width, height, int32_t(mode.dmBitsPerPel)});
  struct Case {
    int pictureWidth, pictureHeight;
    std::vector<DisplayMode> offered;  // empty: the display's own list
  } cases[] = {
      {width, height - 24, {}},     // 24 rows short of the display's mode
      {width - 256, own[-1], larger},  // the standard mode below it, 1024 x 768 on 1280 x 1024
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pictureWidth) + "x" + std::to_string(c.pictureHeight));
    DirectXOfferModes(c.offered);
    const int opened =
        OpenThrough("DirectX", c.pictureWidth, c.pictureHeight, 32, SCREEN_FULLSCREEN);
    DirectXOfferModes({});
    ASSERT_EQ(opened, 0);
    ASSERT_STREQ(Screen()->driver->name, "DirectX");
    const int left = (width - c.pictureWidth) / 2, top = (height - c.pictureHeight) / 2;
    DirectXSurfaceInfo info{};
    ASSERT_TRUE(DirectXSurface(&info));
    EXPECT_EQ(info.modeWidth, width);
    EXPECT_EQ(info.modeHeight, height);
    EXPECT_EQ(info.pictureLeft, left);
    EXPECT_EQ(info.pictureTop, top);
    DrawRows();
    const HWND hwnd = CurrentWindowHandle();
    std::vector<uint32_t> shown;
    auto at = [&](int x, int y) { return shown[size_t(y) * size_t(width) + size_t(x)]; };
    // Black around the picture; each row of the picture in its colour.
    const int right = left + c.pictureWidth, bottom = top + c.pictureHeight;
    auto expected = [&](int x, int y) {
      const bool inside = x >= left && x < right && y >= top && y < bottom;
      return inside ? RowColour(y - top) : 0u;
    };
    EXPECT_TRUE(Eventually([&] {
      shown = fbtest::ReadClient(hwnd, width, height);
      return at(width / 2, top) == RowColour(0) &&
             at(width / 2, top + c.pictureHeight - 1) == RowColour(c.pictureHeight - 1);
    }));
    for (int y = 0; y < height; ++y)
      for (int x : {0, left - 1, left, width / 2, right - 1, right}) {
        if (x < 0 || x >= width) continue;
        ASSERT_EQ(at(x, y), expected(x, y)) << "at " << x << ", " << y;
      }
    CloseScreen();
  }
}

TEST_F(Win32Driver, DirectXAcquiresTheKeyboardAgainWhenItIsTaken) {
  ASSERT_EQ(OpenThrough("DirectX", 320, 200, 32, SCREEN_WINDOWED), 0);
  ASSERT_STREQ(Screen()->driver->name, "DirectX");
  SetForegroundWindow(CurrentWindowHandle());
  SendW(true);
  const bool heard = Eventually([] { return KeyDown(17) == -1; });
  SendW(false);
  if (!heard) GTEST_SKIP() << "the window did not get the keyboard here";
  ASSERT_TRUE(Eventually([] { return KeyDown(17) == 0; }));

  DirectXReleaseKeyboard();
  // The device sees only the keys pressed once it has the keyboard back:
  // a few ticks for the window thread to take it.
  ::Sleep(100);
  SendW(true);
  EXPECT_TRUE(Eventually([] { return KeyDown(17) == -1; })) << "the device was not acquired again";
  SendW(false);
}

TEST_F(Win32Driver, DirectXRedrawsEveryRowOfARestoredSurface) {
  ASSERT_EQ(OpenThrough("DirectX", 320, 200, 32, SCREEN_WINDOWED), 0);
  ASSERT_STREQ(Screen()->driver->name, "DirectX");
  DrawRows();
  const HWND hwnd = CurrentWindowHandle();
  std::vector<uint32_t> shown;
  auto rowShown = [&](int y) { return shown[size_t(y) * 320 + 160]; };
  auto showsRows = [&](int changed, uint32_t colour) {
    shown = fbtest::ReadClient(hwnd, 320, 200);
    for (int y = 0; y < 200; ++y)
      if (rowShown(y) != (y == changed ? colour : RowColour(y))) return false;
    return true;
  };
  ASSERT_TRUE(Eventually([&] { return showsRows(-1, 0); }));

  // The surface is lost while one row changes: only that row is dirty,
  // but the restored surface needs them all.
  DirectXLoseSurfaces();
  ScreenContext& s = *Screen();
  ScreenLock();
  auto* row = reinterpret_cast<uint32_t*>(s.framebuffer + 7 * size_t(s.pitch));
  std::fill_n(row, 320, 0xFF0080C0u);
  ScreenUnlock(7, 7);
  EXPECT_TRUE(Eventually([&] { return showsRows(7, 0x0080C0); }))
      << "row 0 shows " << std::hex << rowShown(0) << ", row 7 " << rowShown(7);
}

TEST_F(Win32Driver, DirectXRefusesShapedAndOpenGlScreens) {
  EXPECT_EQ(fbtest::TryInit("DirectX", 320, 200, SCREEN_SHAPED_WINDOW | SCREEN_NO_FRAME), -1);
  EXPECT_EQ(fbtest::TryInit("DirectX", 320, 200, SCREEN_OPENGL), -1);
  EXPECT_EQ(fbtest::TryInit("DirectX", 320, 200, SCREEN_WINDOWED), 0);
}

// --- OpenGL ---

TEST_F(Win32Driver, OpenGlTakesOnlyScreensThatAskForIt) {
  EXPECT_EQ(fbtest::TryInit("OpenGL", 320, 200, SCREEN_WINDOWED), -1);
  EXPECT_EQ(fbtest::TryInit("OpenGL", 320, 200, SCREEN_FULLSCREEN), -1);
  // Named without the flag, it is passed over for the others.
  ASSERT_EQ(OpenThrough("OpenGL", 320, 200, 32, SCREEN_WINDOWED), 0);
  EXPECT_STREQ(Screen()->driver->name, "DirectX");
}

TEST_F(Win32Driver, OpenGlWindowIsTheProgramsOwnAndWaitsForItsFlips) {
  ASSERT_EQ(OpenThrough("OpenGL", 320, 200, 8, SCREEN_OPENGL), 0);
  ASSERT_STREQ(Screen()->driver->name, "OpenGL");
  EXPECT_EQ(Screen()->depth, 16) << "depths below 16 are raised";
  const HWND hwnd = CurrentWindowHandle();
  ASSERT_NE(hwnd, nullptr);
  RECT client;
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 200);
  EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId()) << "no window thread";
  EXPECT_EQ(GetClassLongA(hwnd, GCL_STYLE), DWORD(CS_DBLCLKS));
  CopyPage(0, 0);  // the messages of the window's start
  while (!ReadKey().empty()) {
  }

  ASSERT_TRUE(PostMessageA(hwnd, WM_CHAR, 'a', fbtest::KeyData(30, 1)));
  ASSERT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
  ::Sleep(50);
  EXPECT_EQ(ReadKey(), "") << "nobody dispatched the messages yet";
  const int64_t presents = CurrentPresentStats().presents;
  EXPECT_EQ(CopyPage(0, 0), 0);
  EXPECT_EQ(CurrentPresentStats().presents, presents + 1) << "the flip presented";
  EXPECT_EQ(ReadKey(), "a");
  EXPECT_EQ(ReadKey(), "\xFFk") << "the close box's key";
  EXPECT_TRUE(IsWindow(hwnd)) << "and the window stays";
}

TEST_F(Win32Driver, OpenGlEndingInsideAFrameFreesTheDisplayLock) {
  ASSERT_EQ(OpenThrough("OpenGL", 320, 200, 32, SCREEN_OPENGL), 0);
  ASSERT_STREQ(Screen()->driver->name, "OpenGL");
  const HWND hwnd = CurrentWindowHandle();
  ScreenLock();
  ScreenLock();
  CloseScreen();  // what the exit routine does
  EXPECT_FALSE(IsWindow(hwnd));
  std::atomic<bool> locked{false};
  std::thread other([&] {
    LockDisplay();
    locked = true;
    UnlockDisplay();
  });
  const bool free = Eventually([&] { return locked.load(); });
  EXPECT_TRUE(free) << "the program's thread still holds the display lock";
  if (free)
    other.join();
  else
    other.detach();  // blocked for good; the process ends it
}

}  // namespace
}  // namespace fb
