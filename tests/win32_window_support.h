// Helpers of the tests that drive the Win32 window drivers from inside
// the program (win32_window_test, win32_drivers_test).  Under Wine, with a
// display.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/events.h>
#include <fb/platform/screen.h>
#include <fb/platform/win32/win32.h>

namespace fbtest {

// Polls until condition holds, up to about 5 s.
inline bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    ::Sleep(10);
  }
  return condition();
}

// The key data of a key message.
inline LPARAM KeyData(int scancode, int repeat, bool extended = false, bool wasDown = false,
                      bool alt = false) {
  return LPARAM(repeat) | LPARAM(scancode) << 16 | (extended ? LPARAM(1) << 24 : 0) |
         (alt ? LPARAM(1) << 29 : 0) | (wasDown ? LPARAM(1) << 30 : 0);
}

inline std::vector<fb::Event> TakeEvents() {
  std::vector<fb::Event> events;
  fb::Event e;
  while (fb::GetEvent(&e)) events.push_back(e);
  return events;
}

// Presses (down) or releases the W key through the system's input, as
// the keyboard does: the focused window and the keyboard devices see it.
inline void SendW(bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = 'W';
  input.ki.wScan = 17;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

// SetScreenMode through the named driver first (SCRDRIVER).
inline int OpenThrough(const char* driver, int width, int height, int depth, int flags) {
  _putenv_s("SCRDRIVER", driver);
  const int result = fb::SetScreenMode(width, height, depth, 0, flags, 0);
  _putenv_s("SCRDRIVER", "");
  return result;
}

// Init of the named driver on a screen record of the Null driver,
// followed by its Exit, as the driver search does after a failure; -2
// when there is no such driver.
inline int TryInit(const char* name, int width, int height, int flags, int depth = 32) {
  const fb::DisplayDriver* driver = nullptr;
  for (const fb::DisplayDriver* d : fb::PlatformDrivers())
    if (fb::SameDriverName(d->name, name)) driver = d;
  if (!driver || fb::SetScreenMode(width, height, depth, 0, fb::SCREEN_NULL, 0) != 0) return -2;
  const int result = driver->Init("t", width, height, depth, 0, flags);
  driver->Exit();
  fb::CloseScreen();
  return result;
}

// The client area of a window as 0xRRGGBB, read through its device
// context.
inline std::vector<uint32_t> ReadClient(HWND hwnd, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC window = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    pixels.assign(p, p + size_t(width) * size_t(height));
    for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(hwnd, window);
  return pixels;
}

}  // namespace fbtest
