// The Win32 window shared by the "GDI" and "DirectX" drivers: its start,
// its creation helpers, the window procedure and the message dispatch.
#include "window.h"

#include <algorithm>
#include <cstring>

#include "../driver_support.h"
#include "../events.h"
#include "../keyboard.h"
#include "../window_thread.h"
#include "window_input.h"
#include "win32.h"

namespace fb::win32 {

namespace {

// Requests the program's thread posts to the window thread.
constexpr UINT MESSAGE_SET_TITLE = WM_APP + 1;  // lParam: a char[] to delete
constexpr UINT MESSAGE_SHOW_CURSOR = WM_APP + 2;

// The class name: a fixed prefix and up to 139 characters of the title.
constexpr char CLASS_PREFIX[] = "fbWindow:";
constexpr size_t CLASS_TITLE_LIMIT = 139;

// One window at a time (program thread).
Win32Window* current = nullptr;

int32_t SystemVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  return int32_t(info.dwMajorVersion * 256 + info.dwMinorVersion);
}

void LookUpOptionalFunctions(OptionalUser32& f) {
  HMODULE user32 = GetModuleHandleA("USER32");
  LookUp(user32, "SetLayeredWindowAttributes", &f.SetLayeredWindowAttributes);
  LookUp(user32, "MonitorFromWindow", &f.MonitorFromWindow);
  LookUp(user32, "MonitorFromPoint", &f.MonitorFromPoint);
  LookUp(user32, "FlashWindowEx", &f.FlashWindowEx);
  LookUp(user32, "TrackMouseEvent", &f.TrackMouseEvent);
  LookUp(user32, "GetMonitorInfoA", &f.GetMonitorInfoA);
  LookUp(user32, "ChangeDisplaySettingsExA", &f.ChangeDisplaySettingsExA);
}

HICON ProgramIcon(HINSTANCE instance) {
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  return icon ? icon : LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
}

Win32Window* WindowOf(HWND hwnd) {
  return reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// Destroys and re-creates the window with the full-screen bit inverted;
// if that fails, with it as it was.  Window thread, under the lock.
void SwitchFullscreen(Win32Window& w, ScreenContext& screen) {
  w.steps->Destroy(w);
  w.flags ^= SCREEN_FULLSCREEN;
  if (!w.steps->Create(w, screen)) {
    w.flags ^= SCREEN_FULLSCREEN;
    w.steps->Create(w, screen);
  }
  screen.paletteChanged = 1;  // the new window gets the palette again
  MarkAllRowsDirty(screen);
  SetWindowActive(true);
}

void RequestSwitch(Win32Window& w) {
  if (!(w.flags & SCREEN_NO_SWITCH) && WindowActive()) w.switchPending = true;
}

void SetCursorFor(Win32Window& w) {
  SetCursor(w.cursorVisible ? LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)) : nullptr);  // IDC_ARROW
}

void Paint(Win32Window& w, HWND hwnd) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  ScreenContext* screen = Screen();
  if (dc && screen && hwnd == w.hwnd) w.steps->Repaint(w, *screen, dc);
  EndPaint(hwnd, &paint);
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  Win32Window* window = WindowOf(hwnd);
  ScreenContext* screen = Screen();
  if (!window || !screen) return DefWindowProcA(hwnd, message, wParam, lParam);
  Win32Window& w = *window;

  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (message == WM_SYSKEYDOWN && wParam == VK_RETURN && !(lParam & (1 << 30)))
        RequestSwitch(w);  // Alt+Enter
      if (HandleKeyMessage(message, wParam, lParam)) return 0;
      break;
    case WM_CHAR:
      HandleCharMessage(wParam, lParam);
      return 0;
    case WM_CLOSE:
      // The close box closes nothing: the program reads the close key.
      PutKey(KEY_CLOSE);
      PostEvent(EVENT_CLOSE);
      return 0;
    case WM_ACTIVATE:
      HandleActivation(w, *screen, LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0);
      break;
    case WM_PAINT:
      Paint(w, hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the picture covers the whole client area
    case WM_DISPLAYCHANGE:
      MarkAllRowsDirty(*screen);
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_SIZE:
      if (wParam == SIZE_MAXIMIZED) RequestSwitch(w);
      break;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetCursorFor(w);
        return TRUE;
      }
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
      return TRUE;
    case MESSAGE_SET_TITLE: {
      char* title = reinterpret_cast<char*>(lParam);
      SetWindowTextA(hwnd, title);
      delete[] title;
      return 0;
    }
    case MESSAGE_SHOW_CURSOR: {
      POINT point;
      RECT client;
      if (GetCursorPos(&point) && ScreenToClient(hwnd, &point) && GetClientRect(hwnd, &client) &&
          PtInRect(&client, point))
        SetCursorFor(w);
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      if (HandleMouseMessage(w, message, wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int32_t ShownDepth(int32_t depth) { return depth < 8 ? 8 : depth; }

bool StartWindow(Win32Window& w, const char* title, int32_t width, int32_t height, int32_t depth,
                 int32_t refreshRate, int32_t flags, UINT classStyle,
                 const WindowDriverSteps* steps, void* driver) {
  w.title = title ? title : "";
  w.width = width;
  w.height = height;
  w.depth = depth;
  w.refreshRate = refreshRate;
  w.flags = flags;
  w.steps = steps;
  w.driver = driver;
  w.instance = GetModuleHandleA(nullptr);
  w.version = SystemVersion();
  LookUpOptionalFunctions(w.user32);

  POINT cursor;
  if (w.user32.MonitorFromPoint && GetCursorPos(&cursor))
    w.monitor = w.user32.MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
  w.cursorVisible = true;

  if (SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &w.saverWasActive, 0)) {
    w.saverSaved = true;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
  }

  w.className = CLASS_PREFIX + w.title.substr(0, CLASS_TITLE_LIMIT);
  WNDCLASSA windowClass{};
  windowClass.style = classStyle;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = w.instance;
  windowClass.hIcon = ProgramIcon(w.instance);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.lpszClassName = w.className.c_str();
  w.classRegistered = RegisterClassA(&windowClass) != 0;
  if (!w.classRegistered) {
    EndWindow(w);
    return false;
  }
  current = &w;
  return true;
}

void EndWindow(Win32Window& w) {
  if (w.saverSaved) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, UINT(w.saverWasActive), nullptr, 0);
    w.saverSaved = false;
  }
  if (w.classRegistered) {
    UnregisterClassA(w.className.c_str(), w.instance);
    w.classRegistered = false;
  }
  if (w.clipCursor) {
    ClipCursor(nullptr);
    w.clipCursor = false;
  }
  if (current == &w) current = nullptr;
}

DWORD WindowStyle(int32_t flags) {
  if (flags & (SCREEN_NO_FRAME | SCREEN_FULLSCREEN)) return WS_POPUP | WS_VISIBLE;
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  if (!(flags & SCREEN_NO_SWITCH)) style |= WS_MAXIMIZEBOX;
  return style;
}

DWORD WindowExStyle(int32_t flags) {
  return (flags & SCREEN_SHAPED_WINDOW) && !(flags & SCREEN_FULLSCREEN) ? WS_EX_LAYERED : 0;
}

POINT MonitorOrigin(const Win32Window& w) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (w.monitor && w.user32.GetMonitorInfoA && w.user32.GetMonitorInfoA(w.monitor, &info))
    return {info.rcMonitor.left, info.rcMonitor.top};
  return {0, 0};
}

RECT CentredWindowRect(const Win32Window& w, DWORD style, DWORD exStyle) {
  RECT outer = {0, 0, w.width, w.height};
  AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  const int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (w.monitor && w.user32.GetMonitorInfoA && w.user32.GetMonitorInfoA(w.monitor, &info))
    area = info.rcMonitor;
  // The client area lands centred; the frame may reach past the edge.
  const int clientLeft = area.left + (area.right - area.left - w.width) / 2;
  const int clientTop = area.top + (area.bottom - area.top - w.height) / 2;
  const int left = std::max<int>(area.left, clientLeft + outer.left);
  const int top = std::max<int>(area.top, clientTop + outer.top);
  return {left, top, left + outerWidth, top + outerHeight};
}

HWND CreateWindowOf(Win32Window& w, DWORD style, DWORD exStyle, const RECT& rect) {
  w.tracking = false;
  w.buttons = 0;
  HWND hwnd = CreateWindowExA(exStyle, w.className.c_str(), w.title.c_str(), style, rect.left,
                              rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                              nullptr, w.instance, &w);
  if (!hwnd) return nullptr;
  w.hwnd = hwnd;
  if (exStyle & WS_EX_LAYERED) {
    // The key colour: magenta, or palette index 0 on 8-bit screens.
    COLORREF key = RGB(255, 0, 255);
    if (ScreenContext* screen = Screen(); screen && screen->bpp == 1) {
      const uint32_t entry = screen->devicePalette[0];  // 0x00BBGGRR, as COLORREF
      key = entry & 0xFFFFFF;
    }
    if (!w.user32.SetLayeredWindowAttributes ||
        !w.user32.SetLayeredWindowAttributes(hwnd, key, 0, LWA_COLORKEY)) {
      DestroyWindow(hwnd);
      w.hwnd = nullptr;
      return nullptr;
    }
  }
  if (w.flags & SCREEN_ALWAYS_ON_TOP)
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  return hwnd;
}

bool OpenOnWindowThread(Win32Window& w) {
  ScreenContext* screen = Screen();
  if (!screen) return false;
  if (w.flags & SCREEN_HIGH_PRIORITY)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  return w.steps->Create(w, *screen);
}

void DispatchMessages(Win32Window& w) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (w.switchPending) {
    w.switchPending = false;
    if (ScreenContext* screen = Screen()) SwitchFullscreen(w, *screen);
  }
}

bool ChangeDisplayModeFor(const Win32Window& w) {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmPelsWidth = DWORD(w.width);
  mode.dmPelsHeight = DWORD(w.height);
  mode.dmBitsPerPel = DWORD(w.depth);
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  if (w.refreshRate > 0) {
    mode.dmDisplayFrequency = DWORD(w.refreshRate);
    mode.dmFields |= DM_DISPLAYFREQUENCY;
  }
  return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void RestoreDisplayMode() { ChangeDisplaySettingsA(nullptr, 0); }

void SetTitleOf(Win32Window& w, const char* title) {
  const size_t length = title ? std::strlen(title) : 0;
  char* copy = new char[length + 1];
  if (length) std::memcpy(copy, title, length);
  copy[length] = 0;
  LockDisplay();
  w.title.assign(copy, length);
  const bool posted = w.hwnd && PostMessageA(w.hwnd, MESSAGE_SET_TITLE, 0, LPARAM(copy));
  UnlockDisplay();
  if (!posted) delete[] copy;
}

int32_t SetPositionOf(Win32Window& w, int32_t x, int32_t y) {
  int32_t previous = 0;
  LockDisplay();
  RECT rect;
  if (w.hwnd && GetWindowRect(w.hwnd, &rect)) {
    previous = int32_t((uint32_t(rect.top) << 16) | (uint32_t(rect.left) & 0xFFFF));
    if (!(w.flags & SCREEN_FULLSCREEN) && (x != INT32_MIN || y != INT32_MIN))
      SetWindowPos(w.hwnd, nullptr, x == INT32_MIN ? rect.left : x, y == INT32_MIN ? rect.top : y,
                   0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  }
  UnlockDisplay();
  return previous;
}

int GetMouseOf(Win32Window& w, int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
               int32_t clipped) {
  int result = -1;
  LockDisplay();
  POINT point;
  RECT client;
  if (w.hwnd && WindowActive() && GetCursorPos(&point) && ScreenToClient(w.hwnd, &point) &&
      GetClientRect(w.hwnd, &client)) {
    if (clipped > 0) {
      point.x = std::clamp<LONG>(point.x, 0, client.right - 1);
      point.y = std::clamp<LONG>(point.y, 0, client.bottom - 1);
    }
    if (PtInRect(&client, point)) {
      if (x) *x = point.x;
      if (y) *y = point.y;
      if (wheel) *wheel = w.wheel;
      if (buttons) *buttons = w.buttons;
      result = 0;
    }
  }
  UnlockDisplay();
  return result;
}

void SetMouseOf(Win32Window& w, int32_t x, int32_t y, int32_t visible, int32_t clip) {
  LockDisplay();
  if (w.hwnd) {
    RECT client;
    if (x >= 0 && GetClientRect(w.hwnd, &client)) {
      POINT point = {std::min<LONG>(x, client.right - 1),
                     std::clamp<LONG>(y, 0, client.bottom - 1)};
      if (ClientToScreen(w.hwnd, &point)) SetCursorPos(point.x, point.y);
    }
    if (visible >= 0 && (visible > 0) != w.cursorVisible) {
      w.cursorVisible = visible > 0;
      // The cursor belongs to the window's thread: it sets it.
      PostMessageA(w.hwnd, MESSAGE_SHOW_CURSOR, 0, 0);
    }
    if (clip >= 0) {
      w.clipCursor = clip > 0;
      ClipCursorTo(w, w.clipCursor && WindowActive());
    }
  }
  UnlockDisplay();
}

const int32_t* FetchModesOf(Win32Window& w, int32_t depth, int32_t* count) {
  if (count) *count = 0;
  auto depthClass = [](int32_t bits) { return bits == 15 ? 16 : bits == 24 ? 32 : bits; };
  std::vector<int32_t> modes;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
    if (depthClass(int32_t(mode.dmBitsPerPel)) != depthClass(depth)) continue;
    const int32_t packed = int32_t((mode.dmPelsWidth << 16) | (mode.dmPelsHeight & 0xFFFF));
    // The list repeats a size for every refresh rate.
    if (std::find(modes.begin(), modes.end(), packed) == modes.end()) modes.push_back(packed);
  }
  LockDisplay();
  w.modes = std::move(modes);
  const int32_t* result = w.modes.empty() ? nullptr : w.modes.data();
  if (count) *count = int32_t(w.modes.size());
  UnlockDisplay();
  return result;
}

void SetPaletteOfCurrent(int32_t index, int32_t red, int32_t green, int32_t blue) {
  if (!current) return;
  StorePaletteEntryLocked(index, red, green, blue);
}

int GetMouseOfCurrent(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
                      int32_t clipped) {
  return current ? GetMouseOf(*current, x, y, wheel, buttons, clipped) : -1;
}

void SetMouseOfCurrent(int32_t x, int32_t y, int32_t visible, int32_t clip) {
  if (current) SetMouseOf(*current, x, y, visible, clip);
}

void SetTitleOfCurrent(const char* title) {
  if (current) SetTitleOf(*current, title);
}

int32_t SetPositionOfCurrent(int32_t x, int32_t y) {
  return current ? SetPositionOf(*current, x, y) : 0;
}

const int32_t* FetchModesOfCurrent(int32_t depth, int32_t* count) {
  if (count) *count = 0;
  return current ? FetchModesOf(*current, depth, count) : nullptr;
}

void SleepOneRefresh() { ::Sleep(DWORD(RefreshPeriodMs(Screen()))); }

HWND CurrentWindowHandle() {
  if (!current) return nullptr;
  LockDisplay();
  HWND hwnd = current->hwnd;
  UnlockDisplay();
  return hwnd;
}

PresentStats CurrentPresentStats() {
  PresentStats stats{0, 0, -1, -1};
  LockDisplay();
  if (current)
    stats = {current->presents, current->presentedRows, current->lastFirstRow,
             current->lastLastRow};
  UnlockDisplay();
  return stats;
}

void CountPresent(Win32Window& w, int32_t firstRow, int32_t lastRow) {
  ++w.presents;
  w.presentedRows += lastRow - firstRow + 1;
  w.lastFirstRow = firstRow;
  w.lastLastRow = lastRow;
}

}  // namespace fb::win32
