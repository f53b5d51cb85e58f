// The Win32 window drivers from inside the program: the window procedure
// fed with messages posted to the window, the picture read back from the
// window's device context for every framebuffer depth the drivers convert,
// the ScreenFlags styles, switching, and the operations that must not wait
// on the window thread while the program holds the screen lock.  Each test
// runs for every driver of the list below; the X side (real keys, the X
// window's pixels) is covered by tests/wine_window_test.cpp; what only one
// driver does, by tests/win32_drivers_test.cpp.
// Needs a display under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/drivers/win32_directx.h>
#include <fb/platform/drivers/win32_gdi.h>
#include <fb/platform/events.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>
#include <fb/platform/win32/window.h>
#include <fb/platform/win32/win32.h>
#include "win32_window_support.h"

namespace fb {
namespace {

using win32::CurrentPresentStats;
using win32::CurrentWindowHandle;

using fbtest::Eventually;
using fbtest::KeyData;
using fbtest::TakeEvents;

class Win32Window : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: Wine has no display to make windows on";
  }
  void TearDown() override { CloseScreen(); }

  // Opens a screen through the driver under test only.
  void Open(int width, int height, int depth, int flags = SCREEN_WINDOWED) {
    const int result = fbtest::OpenThrough(GetParam(), width, height, depth, flags);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(SameDriverName(Screen()->driver->name, GetParam()))
        << "opened " << Screen()->driver->name;
    hwnd_ = CurrentWindowHandle();
    ASSERT_NE(hwnd_, nullptr);
    // Presentations of the opening, activation and first paint are over.
    WaitPresented();
    TakeEvents();
    while (!ReadKey().empty()) {
    }
  }

  // Marks every row and waits until the window thread has presented.
  void WaitPresented() {
    const int64_t before = CurrentPresentStats().presents;
    ScreenUnlock(-1, -1);
    ASSERT_TRUE(Eventually([&] { return CurrentPresentStats().presents > before; }));
  }

  void Post(UINT message, WPARAM wParam, LPARAM lParam) {
    ASSERT_TRUE(PostMessageA(hwnd_, message, wParam, lParam));
  }

  std::vector<uint32_t> ReadClient(int width, int height) {
    return fbtest::ReadClient(hwnd_, width, height);
  }
  int TryInit(int width, int height, int flags) {
    return fbtest::TryInit(GetParam(), width, height, flags);
  }

  bool IsDirectX() const { return std::strcmp(GetParam(), "DirectX") == 0; }
  // DirectDraw draws no layered windows.
  bool RefusesShapedWindows() const { return IsDirectX(); }

  HWND hwnd_ = nullptr;
};

// --- Keys and the window procedure ---

TEST_P(Win32Window, KeyAndCharacterMessagesFillTheQueueAndTheEvents) {
  Open(320, 200, 32);
  Post(WM_KEYDOWN, VK_RIGHT, KeyData(0x4D, 3, true));  // auto-repeat count 3
  Post(WM_CHAR, 'a', KeyData(30, 2));
  Post(WM_CHAR, 0xE9, KeyData(3, 1));  // e acute in the Western code page
  Post(WM_CHAR, 0xA9, KeyData(46, 1));  // the copyright sign, which code page 437 lacks
  Post(WM_CHAR, 0x20AC, KeyData(18, 1));  // beyond a byte: ignored
  Post(WM_KEYDOWN, VK_F1, KeyData(59, 1));
  Post(WM_KEYUP, VK_F1, KeyData(59, 1, false, true));
  Post(WM_KEYDOWN, 'W', KeyData(17, 1, false, true));  // held: a repeat
  ASSERT_TRUE(Eventually([] { return KeyHit(); }));
  ::Sleep(100);
  std::vector<std::string> keys;
  for (std::string k = ReadKey(); !k.empty(); k = ReadKey()) keys.push_back(k);
  const std::string right = "\xFFM";
  // The last one is the character the system makes of the held W.
  EXPECT_EQ(keys, (std::vector<std::string>{right, right, right, "a", "a", "\x82", "?", "\xFF;", "w"}));

  // Focus and mouse events may come from the window manager at any time;
  // only the keys' are counted.
  std::vector<Event> events;
  for (const Event& e : TakeEvents())
    if (e.kind == EVENT_KEY_PRESS || e.kind == EVENT_KEY_RELEASE || e.kind == EVENT_KEY_REPEAT)
      events.push_back(e);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].kind, EVENT_KEY_PRESS);
  EXPECT_EQ(events[0].field[0], 77);  // the keyboard map's scancode of Right
  EXPECT_EQ(events[0].field[1], 0);   // extended keys carry no character
  EXPECT_EQ(events[1].kind, EVENT_KEY_PRESS);
  EXPECT_EQ(events[1].field[0], 59);
  EXPECT_EQ(events[2].kind, EVENT_KEY_RELEASE);
  EXPECT_EQ(events[3].kind, EVENT_KEY_REPEAT);
  EXPECT_EQ(events[3].field[0], 17);
  EXPECT_EQ(events[3].field[1], 'w');
}

TEST_P(Win32Window, F10AltAndAltF4AreSwallowedWhole) {
  Open(320, 200, 32);
  Post(WM_SYSKEYDOWN, VK_F10, KeyData(68, 1));
  Post(WM_SYSKEYDOWN, VK_MENU, KeyData(56, 1, false, false, true));
  // Alt+F4 as the system sends it: the Alt bit of the key data set.
  Post(WM_SYSKEYDOWN, VK_F4, KeyData(62, 1, false, false, true));
  Post(WM_SYSKEYUP, VK_F4, KeyData(62, 1, false, true, true));
  Post(WM_KEYDOWN, 'Q', KeyData(16, 1));  // a marker after them
  ASSERT_TRUE(Eventually([] {
    Event e;
    return GetEvent(&e) && e.kind == EVENT_KEY_PRESS && e.field[0] == 16;
  })) << "no event before the marker's";
  EXPECT_EQ(ReadKey(), "q") << "nothing in the queue before the marker, no close key";
  EXPECT_EQ(ReadKey(), "");
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_EQ(CurrentWindowHandle(), hwnd_);
}

TEST_P(Win32Window, CloseBoxPutsTheCloseKeyAndTheWindowStays) {
  Open(320, 200, 32);
  Post(WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(Eventually([] { return KeyHit(); }));
  EXPECT_EQ(ReadKey(), "\xFFk");
  EXPECT_EQ(ReadKey(), "");
  int closes = 0;
  for (const Event& e : TakeEvents()) closes += e.kind == EVENT_CLOSE;
  EXPECT_EQ(closes, 1);
  ::Sleep(50);
  EXPECT_TRUE(IsWindow(hwnd_));
}

TEST_P(Win32Window, ActivationClearsHeldKeysAndMarksEveryRow) {
  Open(320, 200, 32);
  SetForegroundWindow(hwnd_);
  fbtest::SendW(true);
  if (!Eventually([] { return KeyDown(17) == -1; })) {
    fbtest::SendW(false);
    GTEST_SKIP() << "the window did not get the keyboard here";
  }
  const int64_t before = CurrentPresentStats().presents;
  Post(WM_ACTIVATE, WA_INACTIVE, 0);  // W still held: only the clearing lets it go
  ASSERT_TRUE(Eventually([&] { return CurrentPresentStats().presents > before; }));
  EXPECT_EQ(KeyDown(17), 0);
  ::Sleep(50);
  EXPECT_EQ(KeyDown(17), 0) << "not sampled again while inactive";
  fbtest::SendW(false);
  const win32::PresentStats stats = CurrentPresentStats();
  EXPECT_EQ(stats.lastFirstRow, 0);
  EXPECT_EQ(stats.lastLastRow, 199);
  bool focusLost = false;
  for (const Event& e : TakeEvents()) focusLost = focusLost || e.kind == EVENT_FOCUS_LOST;
  EXPECT_TRUE(focusLost);
}

// --- Presentation ---

TEST_P(Win32Window, TheDirtyBandGoesInOneCopy) {
  Open(640, 768, 32);
  const win32::PresentStats before = CurrentPresentStats();
  ScreenContext& s = *Screen();
  auto paintRow = [&](int row, uint32_t colour) {
    ScreenLock();
    auto* pixels = reinterpret_cast<uint32_t*>(s.framebuffer + size_t(row) * size_t(s.pitch));
    for (int x = 0; x < s.width; ++x) pixels[x] = colour;
    ScreenUnlock(row, row);
  };
  paintRow(10, 0xFF20A040);
  paintRow(700, 0xFF4080C0);
  ASSERT_TRUE(Eventually([&] { return CurrentPresentStats().presents > before.presents; }));
  const win32::PresentStats after = CurrentPresentStats();
  EXPECT_EQ(after.presents, before.presents + 1);
  EXPECT_EQ(after.rows, before.rows + 691);
  EXPECT_EQ(after.lastFirstRow, 10);
  EXPECT_EQ(after.lastLastRow, 700);
  // A driver may hand the copy to the system to finish: the picture is
  // polled for, the counters are not.
  std::vector<uint32_t> shown;
  EXPECT_TRUE(Eventually([&] {
    shown = ReadClient(640, 768);
    return shown[10 * 640 + 5] == 0x20A040u && shown[700 * 640 + 639] == 0x4080C0u;
  }));
  EXPECT_EQ(shown[701 * 640], 0u);
  ScreenLock();
  for (int row = 0; row < 768; ++row) EXPECT_EQ(Screen()->dirtyRows[row], 0) << row;
  ScreenUnlock(1, 0);
  ::Sleep(50);
  EXPECT_EQ(CurrentPresentStats().presents, after.presents) << "nothing dirty, nothing presented";
}

struct Picture {
  const char* name;
  int width, height, depth;
  bool converted;  // what the GDI driver must do
};

class Win32Picture : public Win32Window {
 protected:
  // Fills the framebuffer with bands of 8 colours, each channel at 0 or
  // its maximum (so every depth shows them exactly), and returns them as
  // 0xRRGGBB per pixel.
  std::vector<uint32_t> DrawBands() {
    ScreenContext& s = *Screen();
    std::vector<uint32_t> expected(size_t(s.width) * size_t(s.height));
    ScreenLock();
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const int colour = (x / 7 + y / 5) % 8;
        const uint32_t rgb = (colour & 4 ? 0xFF0000u : 0) | (colour & 2 ? 0xFF00u : 0) |
                             (colour & 1 ? 0xFFu : 0);
        expected[size_t(y) * size_t(s.width) + size_t(x)] = rgb;
        uint8_t* pixel = s.framebuffer + size_t(y) * size_t(s.pitch) + size_t(x) * size_t(s.bpp);
        if (s.bpp == 4) {
          const uint32_t value = 0xFF000000u | rgb;
          std::memcpy(pixel, &value, 4);
        } else if (s.bpp == 2) {
          const uint16_t value = uint16_t((colour & 4 ? 0xF800 : 0) | (colour & 2 ? 0x07E0 : 0) |
                                          (colour & 1 ? 0x001F : 0));
          std::memcpy(pixel, &value, 2);
        } else {
          *pixel = uint8_t(8 + colour);  // palette entries set below, within 4 bits
        }
      }
    }
    ScreenUnlock(1, 0);
    if (s.bpp == 1) {
      for (int colour = 0; colour < 8; ++colour)
        s.driver->SetPalette(8 + colour, colour & 4 ? 255 : 0, colour & 2 ? 255 : 0,
                             colour & 1 ? 255 : 0);
    }
    return expected;
  }
};

TEST_P(Win32Picture, TheDrawnFrameAppearsPixelForPixel) {
  const Picture pictures[] = {
      {"32 bits, the game's kind", 640, 480, 32, false},
      {"32 bits, odd width", 333, 201, 32, false},
      {"16 bits, shown as 5-5-5", 320, 200, 16, true},
      {"8 bits through the palette", 320, 200, 8, false},
      {"4 bits, a byte per pixel as at 8", 320, 200, 4, false},
      {"8 bits, width not a multiple of 4", 322, 201, 8, true},
  };
  for (const Picture& p : pictures) {
    SCOPED_TRACE(p.name);
    Open(p.width, p.height, p.depth);
    RECT client;
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right, p.width);
    EXPECT_EQ(client.bottom, p.height);
    if (std::strcmp(GetParam(), "GDI") == 0) {
      EXPECT_EQ(GdiConverts(), p.converted);
    }
    const std::vector<uint32_t> expected = DrawBands();
    WaitPresented();
    std::vector<uint32_t> shown;
    int wrong = 0, first = -1;
    Eventually([&] {
      shown = ReadClient(p.width, p.height);
      wrong = 0;
      for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != expected[i] && wrong++ == 0) first = int(i);
      return shown.size() == expected.size() && wrong == 0;
    });
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_EQ(wrong, 0) << "first at (" << first % p.width << ", " << first / p.width
                        << "): " << std::hex << shown[size_t(first)] << " for "
                        << expected[size_t(first)];
    CloseScreen();
  }
}

TEST_P(Win32Picture, APaletteChangeRecoloursTheShownPixels) {
  Open(320, 200, 8);
  DrawBands();
  WaitPresented();
  Screen()->driver->SetPalette(8, 10, 20, 30);  // colour 0, the black bands
  const int64_t before = CurrentPresentStats().presents;
  ASSERT_TRUE(Eventually([&] { return CurrentPresentStats().presents > before; }));
  EXPECT_TRUE(Eventually([&] { return ReadClient(320, 200)[0] == 0x0A141Eu; }))
      << "pixel (0, 0) uses entry 8";
}

// --- ScreenFlags ---

TEST_P(Win32Window, FlagsShapeTheWindow) {
  struct Case {
    const char* name;
    int flags;
    DWORD style, notStyle, exStyle;
  };
  const Case cases[] = {
      {"windowed", SCREEN_WINDOWED, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, WS_POPUP, 0},
      {"no switch", SCREEN_NO_SWITCH, WS_CAPTION | WS_MINIMIZEBOX, WS_MAXIMIZEBOX, 0},
      {"no frame", SCREEN_NO_FRAME, WS_POPUP, WS_CAPTION, 0},
      {"always on top", SCREEN_ALWAYS_ON_TOP, WS_CAPTION, 0, WS_EX_TOPMOST},
      {"shaped", SCREEN_SHAPED_WINDOW, WS_POPUP, WS_CAPTION | WS_MAXIMIZEBOX, WS_EX_LAYERED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if ((c.flags & SCREEN_SHAPED_WINDOW) && RefusesShapedWindows()) {
      EXPECT_EQ(TryInit(200, 150, c.flags), -1);
      continue;
    }
    Open(200, 150, 32, c.flags);
    const DWORD style = DWORD(GetWindowLongA(hwnd_, GWL_STYLE));
    const DWORD exStyle = DWORD(GetWindowLongA(hwnd_, GWL_EXSTYLE));
    EXPECT_EQ(style & c.style, c.style);
    EXPECT_EQ(style & c.notStyle, 0u);
    EXPECT_EQ(exStyle & c.exStyle, c.exStyle);
    RECT client;
    GetClientRect(hwnd_, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 150);
    if (c.flags & SCREEN_SHAPED_WINDOW) {
      COLORREF key = 0;
      DWORD how = 0;
      ASSERT_TRUE(GetLayeredWindowAttributes(hwnd_, &key, nullptr, &how));
      EXPECT_EQ(key, RGB(255, 0, 255));
      EXPECT_TRUE(how & LWA_COLORKEY);
    }
    CloseScreen();
  }
}

TEST_P(Win32Window, OpenGlIsLeftToItsOwnDriver) {
  EXPECT_EQ(TryInit(320, 200, SCREEN_OPENGL), -1);
  EXPECT_EQ(CurrentWindowHandle(), nullptr);
}

// --- The window thread and the program's thread ---

TEST_P(Win32Window, OperationsWhileLockedDoNotWaitForTheWindowThread) {
  Open(320, 200, 32);
  const DisplayDriver& driver = *Screen()->driver;
  RECT before;
  GetWindowRect(hwnd_, &before);
  ScreenLock();  // the window thread cannot tick now
  driver.SetWindowTitle("retitled");
  const int32_t previous = driver.SetWindowPosition(before.left + 17, INT32_MIN);
  driver.SetMouse(-1, -1, 0, -1);
  int32_t count = 0;
  driver.FetchModes(32, &count);
  ScreenUnlock(1, 0);
  EXPECT_EQ(previous, int32_t((uint32_t(before.top) << 16) | uint32_t(before.left)));
  EXPECT_GT(count, 0);
  EXPECT_TRUE(Eventually([&] {
    char title[64] = {};
    GetWindowTextA(hwnd_, title, sizeof title);
    return std::string(title) == "retitled";
  }));
  EXPECT_TRUE(Eventually([&] {
    RECT now;
    GetWindowRect(hwnd_, &now);
    return now.left == before.left + 17 && now.top == before.top;
  }));
}

TEST_P(Win32Window, ClosingWithTheScreenLockedEndsTheWindowThread) {
  Open(320, 200, 32);
  ScreenLock();
  ScreenLock();
  CloseScreen();  // what the exit routine does
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_EQ(CurrentWindowHandle(), nullptr);
  // And a new screen opens as usual.
  Open(320, 200, 32);
}

TEST_P(Win32Window, AWindowThatCannotBeMadeFailsInitAndTheSearchGoesOn) {
  // No display offers this mode, nor one wide enough for "DirectX" to
  // fall back to: the window thread's mode change fails.
  DirectXOfferModes({{640, 480, 32}});
  EXPECT_EQ(TryInit(1000, 777, SCREEN_FULLSCREEN), -1);
  EXPECT_EQ(CurrentWindowHandle(), nullptr);
  // The search then finds the window.
  Open(1000, 777, 32, SCREEN_FULLSCREEN);
  DirectXOfferModes({});
  EXPECT_FALSE(DWORD(GetWindowLongA(hwnd_, GWL_STYLE)) & WS_POPUP) << "the windowed retry";
  RECT client;
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(client.right, 1000);
  EXPECT_EQ(client.bottom, 777);
}

TEST_P(Win32Window, AltEnterSwitchesToFullScreenAndBack) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  Open(width, height, 32);
  const HWND windowed = hwnd_;
  SetForegroundWindow(hwnd_);
  Post(WM_SYSKEYDOWN, VK_RETURN, KeyData(28, 1, false, false, true));
  ASSERT_TRUE(Eventually([&] { return CurrentWindowHandle() != windowed; }));
  hwnd_ = CurrentWindowHandle();
  EXPECT_TRUE(DWORD(GetWindowLongA(hwnd_, GWL_STYLE)) & WS_POPUP);
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, width);
  EXPECT_EQ(rect.bottom, height);
  EXPECT_TRUE(WindowActive());
  WaitPresented();

  const HWND fullscreen = hwnd_;
  Post(WM_SYSKEYDOWN, VK_RETURN, KeyData(28, 1, false, false, true));
  ASSERT_TRUE(Eventually([&] { return CurrentWindowHandle() != fullscreen; }));
  hwnd_ = CurrentWindowHandle();
  EXPECT_TRUE(DWORD(GetWindowLongA(hwnd_, GWL_STYLE)) & WS_CAPTION);
}

TEST_P(Win32Window, NoSwitchKeepsTheWindow) {
  Open(320, 200, 32, SCREEN_NO_SWITCH);
  Post(WM_SYSKEYDOWN, VK_RETURN, KeyData(28, 1, false, false, true));
  Post(WM_KEYDOWN, 'Q', KeyData(16, 1));  // a marker after it
  ASSERT_TRUE(Eventually([] {
    Event e;
    return GetEvent(&e) && e.kind == EVENT_KEY_PRESS && e.field[0] == 16;
  }));
  ::Sleep(50);  // a switch would follow the tick's messages
  EXPECT_EQ(CurrentWindowHandle(), hwnd_);
  EXPECT_TRUE(IsWindow(hwnd_));
}

INSTANTIATE_TEST_SUITE_P(Drivers, Win32Window, ::testing::Values("DirectX", "GDI"));
INSTANTIATE_TEST_SUITE_P(Drivers, Win32Picture, ::testing::Values("DirectX", "GDI"));

}  // namespace
}  // namespace fb
