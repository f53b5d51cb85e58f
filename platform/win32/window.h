// The Win32 window shared by the drivers that own a window and a window
// thread ("GDI", "DirectX"): the common start and end, the window
// procedure (keys, characters, focus, close box, paint, display changes,
// switching between a window and full screen), the message dispatch of
// the window thread's tick, and the driver operations that only touch the
// window (title, position, mouse, display modes).
//
// Threads.  StartWindow, EndWindow and the operations below run on the
// program's thread.  CreateWindowOf, DispatchMessages and the window
// procedure run on the window thread (platform/window_thread.h), under the
// display lock except while the Open hook creates the window.  Drivers
// that read the system's keyboard state use SampleThreadKeyboard (keys.h)
// as their Sample hook.  The program's thread never waits on the window
// thread: whatever would (a title, the cursor's visibility) is posted to
// it, and a move uses the asynchronous form, so a driver operation made
// while the program holds the display lock cannot deadlock with a tick.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "../screen.h"
#include "win32.h"

namespace fb::win32 {

// Points function at the entry point name of module, or at nullptr when
// either is missing.  GetProcAddress gives a generic function pointer; the
// one cast through void (*)() says that the type is taken on trust.
template <typename Function>
void LookUp(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(module ? GetProcAddress(module, name) : nullptr));
}

// USER32 entry points that older systems lack, looked up by name at start
// (nullptr when missing).
struct OptionalUser32 {
  BOOL(WINAPI* SetLayeredWindowAttributes)(HWND, COLORREF, BYTE, DWORD) = nullptr;
  HMONITOR(WINAPI* MonitorFromWindow)(HWND, DWORD) = nullptr;
  HMONITOR(WINAPI* MonitorFromPoint)(POINT, DWORD) = nullptr;
  BOOL(WINAPI* FlashWindowEx)(PFLASHWINFO) = nullptr;
  BOOL(WINAPI* TrackMouseEvent)(LPTRACKMOUSEEVENT) = nullptr;
  BOOL(WINAPI* GetMonitorInfoA)(HMONITOR, LPMONITORINFO) = nullptr;
  LONG(WINAPI* ChangeDisplaySettingsExA)(LPCSTR, LPDEVMODEA, HWND, DWORD, LPVOID) = nullptr;
};

struct Win32Window;

// The driver's own steps, called on the window thread.
struct WindowDriverSteps {
  // Creates the window for w.flags (full screen when SCREEN_FULLSCREEN is
  // set), with whatever the driver draws through; false when it cannot.
  // Called by the driver's Open hook and again by a switch.
  bool (*Create)(Win32Window& w, ScreenContext& screen);
  // Destroys the window and undoes what Create did to the display.
  void (*Destroy)(Win32Window& w);
  // Copies the whole picture into dc (WM_PAINT).
  void (*Repaint)(Win32Window& w, ScreenContext& screen, HDC dc);
};

struct Win32Window {
  // Fixed by StartWindow (program thread, before the window thread runs).
  std::string title;
  int32_t width = 0, height = 0, depth = 0, refreshRate = 0;
  int32_t flags = 0;  // SCREEN_* of the try; a switch inverts SCREEN_FULLSCREEN
  const WindowDriverSteps* steps = nullptr;
  void* driver = nullptr;  // the driver's own record
  int32_t version = 0;     // system version, major * 256 + minor
  OptionalUser32 user32;
  HMONITOR monitor = nullptr;  // under the mouse at start, if known
  HINSTANCE instance = nullptr;
  std::string className;
  bool classRegistered = false;
  bool saverSaved = false;
  BOOL saverWasActive = FALSE;

  // The window thread's, and the program's under the display lock.
  HWND hwnd = nullptr;
  bool cursorVisible = true;
  bool clipCursor = false;
  bool switchPending = false;
  bool tracking = false;  // the mouse is inside and its leaving is watched
  int32_t mouseX = 0, mouseY = 0, buttons = 0, wheel = 0, horizontalWheel = 0;
  std::vector<int32_t> modes;  // FetchModes' answer

  // Presentation counters, kept by the driver's Present (tests read them).
  int64_t presents = 0, presentedRows = 0;
  int32_t lastFirstRow = -1, lastLastRow = -1;
};

// Depths below 8 are shown at 8 bits.
int32_t ShownDepth(int32_t depth);

// The common start: fills w's fixed part, reads the system version and
// the optional USER32 functions, notes the monitor under the mouse, turns
// the screen saver off and registers the window class with the given
// class styles.  false when the class cannot be registered (everything
// undone then).
bool StartWindow(Win32Window& w, const char* title, int32_t width, int32_t height, int32_t depth,
                 int32_t refreshRate, int32_t flags, UINT classStyle,
                 const WindowDriverSteps* steps, void* driver);

// Undoes StartWindow once the window thread has ended: the screen-saver
// setting, the class, a cursor clip.
void EndWindow(Win32Window& w);

// Class styles of the "GDI" and "DirectX" windows.
constexpr UINT WINDOW_CLASS_STYLE = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;

// --- Window thread ---

// The Open hook's work for a driver whose window the window thread owns:
// raises the thread's priority under SCREEN_HIGH_PRIORITY (activation
// lowers it again while the window is in the background) and creates the
// window through the driver's steps.  false without a screen or when the
// window cannot be made.
bool OpenOnWindowThread(Win32Window& w);

// The styles of a window for flags: a caption with system menu and
// minimise box (and maximise box unless SCREEN_NO_SWITCH), or a borderless
// pop-up for SCREEN_NO_FRAME or full screen; SCREEN_SHAPED_WINDOW adds the
// layered extended style.
DWORD WindowStyle(int32_t flags);
DWORD WindowExStyle(int32_t flags);

// The top-left corner of the monitor noted at start (or 0, 0), and the
// outer rectangle that centres a client area of w's size with these
// styles on it.
POINT MonitorOrigin(const Win32Window& w);
RECT CentredWindowRect(const Win32Window& w, DWORD style, DWORD exStyle);

// Creates the visible window of w's class at rect, owned by the calling
// thread; then applies what every window gets: the key colour of a shaped
// window, SCREEN_ALWAYS_ON_TOP, the foreground.  nullptr on failure.
HWND CreateWindowOf(Win32Window& w, DWORD style, DWORD exStyle, const RECT& rect);

// The Dispatch hook's work: every waiting message of the thread's windows
// without blocking, then a switch the messages asked for.
void DispatchMessages(Win32Window& w);

// Changes the display mode to w's width x height x depth at its refresh
// rate (any rate when 0) for a full-screen window; false when refused.
bool ChangeDisplayModeFor(const Win32Window& w);
// Puts back the display mode of the system's settings.
void RestoreDisplayMode();

// --- Driver operations (program thread) ---

void SetTitleOf(Win32Window& w, const char* title);
int32_t SetPositionOf(Win32Window& w, int32_t x, int32_t y);
int GetMouseOf(Win32Window& w, int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
               int32_t clipped);
void SetMouseOf(Win32Window& w, int32_t x, int32_t y, int32_t visible, int32_t clip);
// The display's modes of a depth (15 and 16, 24 and 32 alike) as
// (width << 16) | height, from the system's list.
const int32_t* FetchModesOf(Win32Window& w, int32_t depth, int32_t* count);

// The same operations on the window that StartWindow opened last (and
// EndWindow has not ended), in the form of the DisplayDriver record's
// entries; without one they do nothing (GetMouse -1, FetchModes none).
void SetPaletteOfCurrent(int32_t index, int32_t red, int32_t green, int32_t blue);
int GetMouseOfCurrent(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t clipped);
void SetMouseOfCurrent(int32_t x, int32_t y, int32_t visible, int32_t clip);
void SetTitleOfCurrent(const char* title);
int32_t SetPositionOfCurrent(int32_t x, int32_t y);
const int32_t* FetchModesOfCurrent(int32_t depth, int32_t* count);
// WaitVSync of a driver that cannot wait for the retrace itself: sleeps
// one refresh period (RefreshPeriodMs).
void SleepOneRefresh();

// --- Tests ---

// The window of the open screen's driver, if it has one.
HWND CurrentWindowHandle();

struct PresentStats {
  int64_t presents;       // copies of a band of rows to the window
  int64_t rows;           // rows they carried
  int32_t lastFirstRow;   // the last band, -1 before the first
  int32_t lastLastRow;
};
// The counters of the open window (zeros when none), under the display lock.
PresentStats CurrentPresentStats();

// Counts one band presented (a driver's Present, window thread).
void CountPresent(Win32Window& w, int32_t firstRow, int32_t lastRow);

}  // namespace fb::win32
