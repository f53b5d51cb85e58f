// The "DirectX" display driver.  Init loads the two libraries, runs the
// common window start and the window thread (platform/window_thread.h).
// Everything DirectDraw and DirectInput belongs to the window thread: its
// Open hook (and a switch between window and full screen) makes the
// window, the DirectDraw object, the surfaces and the keyboard device, and
// its Close hook releases them.  A tick pauses before it takes the display
// lock, waits there for a WaitVSync in progress, converts the dirty rows
// into the drawing surface under the lock and, windowed, copies the
// off-screen surface to the window once the lock is released.
#include "win32_directx.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <utility>

#include "../driver_support.h"
#include "../keyboard.h"
#include "../screen.h"
#include "../surface_convert.h"
#include "../window_thread.h"
#include "../win32/window.h"
#include "../win32/win32.h"
// The interfaces only: the libraries themselves are loaded at run time.
// initguid.h makes this file define the identifiers it uses.
#define DIRECTINPUT_VERSION 0x0700
#include <initguid.h>
#include <ddraw.h>
#include <dinput.h>

namespace fb {

namespace {

using win32::Win32Window;

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);
using DirectDrawEnumerateExFunction = HRESULT(WINAPI*)(LPDDENUMCALLBACKEXA, LPVOID, DWORD);
using DirectInputCreateFunction = HRESULT(WINAPI*)(HINSTANCE, DWORD, LPDIRECTINPUTA*, LPUNKNOWN);

// How long a tick waits for a WaitVSync in progress before it presents.
constexpr auto VSYNC_WAIT_LIMIT = std::chrono::milliseconds(20);
// Restores of lost surfaces a tick tries before it leaves the rows to the
// next tick: a display that another program holds stays lost for as long
// as it likes, and the program's thread waits for the display lock.
constexpr int RESTORE_TRIES = 3;

struct DirectXWindow {
  Win32Window window;

  // Loaded by Init, freed by Exit.
  HMODULE ddrawLibrary = nullptr, dinputLibrary = nullptr;
  DirectDrawCreateFunction DirectDrawCreate = nullptr;
  DirectDrawEnumerateExFunction DirectDrawEnumerateExA = nullptr;  // may be missing
  DirectInputCreateFunction DirectInputCreateA = nullptr;

  // Made and released on the window thread, with the window.  ddraw is
  // also read by WaitVSync on the program's thread, under vsyncMutex.
  IDirectDraw* ddraw = nullptr;
  IDirectDrawSurface* primary = nullptr;    // the display; full screen, the drawing surface
  IDirectDrawSurface* offscreen = nullptr;  // windowed: the drawing surface
  IDirectDrawClipper* clipper = nullptr;    // windowed: keeps the primary's copies in the window
  IDirectInputA* input = nullptr;
  IDirectInputDeviceA* keyboard = nullptr;
  DisplayPixelFormat format{};
  RowConverter convert = nullptr;
  uint32_t palette[256] = {};  // display pixels of an indexed framebuffer's entries
  int32_t modeWidth = 0, modeHeight = 0;  // the display mode set, full screen
  int32_t pictureLeft = 0, pictureTop = 0;  // columns and rows of that mode before the picture
  bool repaintOwed = false;  // rows lost on the way: every row is presented again
  bool loseAtNextLock = false;  // DirectXLoseSurfaces was called (tests)
  // Windowed: the band that the next Deliver copies to the window (-1: none).
  int32_t copyFirst = -1, copyLast = -1;

  std::mutex vsyncMutex;
  std::condition_variable vsyncDone;
  bool vsyncPending = false;  // a WaitVSync is waiting for the retrace
};

// The open window (program thread; the window thread reaches it through
// its hooks' user pointer).
DirectXWindow* current = nullptr;

// The modes DirectXOfferModes stands in for the display's (empty: none).
// Set while no window is open, read by the window thread.
std::vector<DisplayMode> offeredForTests;

DirectXWindow& DirectXOf(Win32Window& w) { return *static_cast<DirectXWindow*>(w.driver); }

bool Fullscreen(const DirectXWindow& d) { return (d.window.flags & SCREEN_FULLSCREEN) != 0; }

template <typename Interface>
void ReleaseInterface(Interface*& object) {
  if (object) object->Release();
  object = nullptr;
}

// --- Libraries (program thread) ---

void FreeLibraries(DirectXWindow& d) {
  if (d.ddrawLibrary) FreeLibrary(d.ddrawLibrary);
  if (d.dinputLibrary) FreeLibrary(d.dinputLibrary);
  d.ddrawLibrary = d.dinputLibrary = nullptr;
}

bool LoadLibraries(DirectXWindow& d) {
  d.ddrawLibrary = LoadLibraryA("ddraw.dll");
  d.dinputLibrary = LoadLibraryA("dinput.dll");
  win32::LookUp(d.ddrawLibrary, "DirectDrawCreate", &d.DirectDrawCreate);
  win32::LookUp(d.ddrawLibrary, "DirectDrawEnumerateExA", &d.DirectDrawEnumerateExA);
  win32::LookUp(d.dinputLibrary, "DirectInputCreateA", &d.DirectInputCreateA);
  return d.DirectDrawCreate && d.DirectInputCreateA;
}

// --- DirectDraw (window thread) ---

struct DeviceSearch {
  HMONITOR monitor;
  GUID device;
  bool found;
};

BOOL WINAPI NoteDeviceOfMonitor(GUID* device, LPSTR, LPSTR, LPVOID context, HMONITOR monitor) {
  auto& search = *static_cast<DeviceSearch*>(context);
  if (!device || monitor != search.monitor) return TRUE;
  search.device = *device;
  search.found = true;
  return FALSE;
}

// The DirectDraw object of the monitor noted at start (the primary
// display's when there is no other), cooperating with the window.
bool OpenDirectDraw(DirectXWindow& d) {
  DeviceSearch search{d.window.monitor, {}, false};
  if (d.DirectDrawEnumerateExA && d.window.monitor)
    d.DirectDrawEnumerateExA(NoteDeviceOfMonitor, &search, DDENUM_ATTACHEDSECONDARYDEVICES);
  IDirectDraw* ddraw = nullptr;
  if (FAILED(d.DirectDrawCreate(search.found ? &search.device : nullptr, &ddraw, nullptr)))
    return false;
  // The program's thread waits for the retrace on the same object.
  DWORD level = DDSCL_MULTITHREADED;
  level |= Fullscreen(d) ? DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN : DDSCL_NORMAL;
  if (FAILED(ddraw->SetCooperativeLevel(d.window.hwnd, level))) {
    ddraw->Release();
    return false;
  }
  std::lock_guard<std::mutex> guard(d.vsyncMutex);
  d.ddraw = ddraw;
  return true;
}

HRESULT WINAPI NoteDisplayMode(LPDDSURFACEDESC desc, LPVOID context) {
  const DDSURFACEDESC& mode = *desc;
  static_cast<std::vector<DisplayMode>*>(context)->push_back(
      {int32_t(mode.dwWidth), int32_t(mode.dwHeight), int32_t(mode.ddpfPixelFormat.dwRGBBitCount)});
  return DDENUMRET_OK;
}

// The display's modes (empty when it does not list them), or the ones a
// test offers instead.
std::vector<DisplayMode> OfferedModes(DirectXWindow& d) {
  if (!offeredForTests.empty()) return offeredForTests;
  std::vector<DisplayMode> modes;
  if (FAILED(d.ddraw->EnumDisplayModes(0, nullptr, &modes, NoteDisplayMode))) modes.clear();
  return modes;
}

bool OfferedForTests(const DisplayMode& mode) {
  return std::any_of(offeredForTests.begin(), offeredForTests.end(), [&](const DisplayMode& m) {
    return m.width == mode.width && m.height == mode.height && m.depth == mode.depth;
  });
}

// Full screen: the first display mode of the fall-backs that the display
// accepts, and the window over all of it.  The list of the display's modes
// is what finds a taller mode wider than the picture: 1024 x 768 is shown
// in 1280 x 1024 where no 1024 x 1024 exists.
bool SetFullscreenMode(DirectXWindow& d) {
  Win32Window& w = d.window;
  IDirectDraw2* ddraw2 = nullptr;  // the form that takes a refresh rate
  if (FAILED(d.ddraw->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&ddraw2))))
    ddraw2 = nullptr;
  const std::vector<DisplayMode> offered = OfferedModes(d);
  for (const DisplayMode& mode : FullscreenModeTries(w.width, w.height, w.depth, offered)) {
    if (!offeredForTests.empty() && !OfferedForTests(mode)) continue;  // refused
    const HRESULT result =
        ddraw2 ? ddraw2->SetDisplayMode(DWORD(mode.width), DWORD(mode.height), DWORD(mode.depth),
                                        DWORD(w.refreshRate), 0)
               : d.ddraw->SetDisplayMode(DWORD(mode.width), DWORD(mode.height), DWORD(mode.depth));
    if (SUCCEEDED(result)) {
      d.modeWidth = mode.width;
      d.modeHeight = mode.height;
      d.pictureLeft = (mode.width - w.width) / 2;
      d.pictureTop = (mode.height - w.height) / 2;
      break;
    }
  }
  ReleaseInterface(ddraw2);
  if (!d.modeWidth) return false;
  const POINT origin = win32::MonitorOrigin(w);
  SetWindowPos(w.hwnd, HWND_TOP, origin.x, origin.y, d.modeWidth, d.modeHeight, 0);
  return true;
}

void LoadPaletteTable(DirectXWindow& d, const ScreenContext& screen) {
  for (int i = 0; i < 256; ++i) d.palette[i] = DisplayPixelOf(d.format, screen.devicePalette[i]);
}

void ReleaseSurfaces(DirectXWindow& d) {
  ReleaseInterface(d.offscreen);
  if (d.primary) d.primary->SetClipper(nullptr);
  ReleaseInterface(d.clipper);
  ReleaseInterface(d.primary);
  d.convert = nullptr;
}

// The primary surface and, windowed, its clipper and the off-screen
// surface; the converter for the display's format.  false when the
// display has a format no converter writes.
bool CreateSurfaces(DirectXWindow& d, const ScreenContext& screen) {
  Win32Window& w = d.window;
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (FAILED(d.ddraw->CreateSurface(&desc, &d.primary, nullptr))) return false;
  DDPIXELFORMAT pixels{};
  pixels.dwSize = sizeof pixels;
  if (FAILED(d.primary->GetPixelFormat(&pixels))) return false;
  d.format = (pixels.dwFlags & DDPF_RGB) ? DisplayFormatOf(pixels.dwRGBBitCount, pixels.dwRBitMask,
                                                           pixels.dwGBitMask, pixels.dwBBitMask)
                                         : DisplayPixelFormat{8, false};  // palette-based
  d.convert = ChooseRowConverter(screen.bpp, d.format);
  if (!d.convert) return false;
  LoadPaletteTable(d, screen);
  if (Fullscreen(d)) {
    // The bands above and below a picture centred in a taller mode.
    DDBLTFX fill{};
    fill.dwSize = sizeof fill;
    d.primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);
    return true;
  }
  if (FAILED(d.ddraw->CreateClipper(0, &d.clipper, nullptr)) ||
      FAILED(d.clipper->SetHWnd(0, w.hwnd)) || FAILED(d.primary->SetClipper(d.clipper)))
    return false;
  desc = {};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  desc.dwWidth = DWORD(w.width);
  desc.dwHeight = DWORD(w.height);
  return SUCCEEDED(d.ddraw->CreateSurface(&desc, &d.offscreen, nullptr));
}

// Brings lost surfaces back.  A display whose mode changed under a window
// takes new surfaces; one that no converter writes loses the window.
bool RestoreSurfaces(DirectXWindow& d, ScreenContext& screen) {
  HRESULT result = d.primary ? d.primary->Restore() : DDERR_SURFACELOST;
  if (SUCCEEDED(result) && d.offscreen) result = d.offscreen->Restore();
  if (result != DDERR_WRONGMODE) return SUCCEEDED(result);
  ReleaseSurfaces(d);
  if (CreateSurfaces(d, screen)) return true;
  ReleaseSurfaces(d);
  ReportWindowLost("the display changed to a format the DirectX window cannot show");
  return false;
}

// What the display does to a surface when another program takes it: its
// pixels are gone (a fill stands for them) and its next lock says lost.
HRESULT LoseSurface(IDirectDrawSurface* surface) {
  DDBLTFX fill{};
  fill.dwSize = sizeof fill;
  fill.dwFillColor = 0xFF00FF;
  surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);
  return DDERR_SURFACELOST;
}

// Converts the dirty rows of first..last into the drawing surface.  A
// surface that had to be restored has lost all it held: then every row
// is marked and converted, and first..last widened to all of them.  false
// when it stays lost.
bool ConvertRows(DirectXWindow& d, ScreenContext& screen, int& first, int& last) {
  IDirectDrawSurface* surface = Fullscreen(d) ? d.primary : d.offscreen;
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  HRESULT result = DDERR_SURFACELOST;
  bool restored = false;
  for (int tries = 0; surface && tries <= RESTORE_TRIES; ++tries) {
    result = std::exchange(d.loseAtNextLock, false)
                 ? LoseSurface(surface)
                 : surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    if (result != DDERR_SURFACELOST || !RestoreSurfaces(d, screen)) break;
    restored = true;
    surface = Fullscreen(d) ? d.primary : d.offscreen;  // new ones after a mode change
  }
  if (FAILED(result)) return false;
  // A surface smaller than the picture where it is put (a display that
  // changed size under the window) is left alone until it is restored.
  if (int64_t(desc.dwWidth) < int64_t(d.pictureLeft) + screen.width ||
      int64_t(desc.dwHeight) < int64_t(d.pictureTop) + screen.height * screen.scanLineHeight) {
    surface->Unlock(nullptr);
    return false;
  }
  if (restored) {
    MarkAllRowsDirty(screen);
    first = 0;
    last = screen.height * screen.scanLineHeight - 1;
  }
  const size_t bytesPerPixel = size_t(d.format.bits + 7) / 8;
  auto* top = static_cast<uint8_t*>(desc.lpSurface) + size_t(d.pictureTop) * size_t(desc.lPitch) +
              size_t(d.pictureLeft) * bytesPerPixel;
  for (int row = first; row <= last; ++row) {
    if (!screen.dirtyRows[row]) continue;
    d.convert(screen.framebuffer + size_t(row) * size_t(screen.pitch),
              top + size_t(row) * size_t(desc.lPitch), screen.width, 1, d.palette);
  }
  surface->Unlock(nullptr);
  return true;
}

// Windowed: the whole off-screen surface onto the client area.
void CopyToWindow(DirectXWindow& d) {
  Win32Window& w = d.window;
  if (!d.primary || !d.offscreen || !w.hwnd) return;
  POINT origin = {0, 0};
  ClientToScreen(w.hwnd, &origin);
  RECT target = {origin.x, origin.y, origin.x + w.width, origin.y + w.height};
  if (d.primary->Blt(&target, d.offscreen, nullptr, DDBLT_WAIT, nullptr) == DDERR_SURFACELOST)
    d.repaintOwed = true;  // restored by the next tick's conversion
}

// --- DirectInput ---

// The keyboard's 256 keys as the device's data, a byte each: what the
// system's predefined keyboard format describes.
const DIDATAFORMAT& KeyboardFormat() {
  static DIOBJECTDATAFORMAT keys[256];
  static const DIDATAFORMAT format = [] {
    for (DWORD i = 0; i < 256; ++i)
      keys[i] = {&GUID_Key, i, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0};
    return DIDATAFORMAT{sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256,
                        keys};
  }();
  return format;
}

bool OpenKeyboard(DirectXWindow& d) {
  Win32Window& w = d.window;
  if (FAILED(d.DirectInputCreateA(w.instance, DIRECTINPUT_VERSION, &d.input, nullptr))) return false;
  if (FAILED(d.input->CreateDevice(GUID_SysKeyboard, &d.keyboard, nullptr)) ||
      FAILED(d.keyboard->SetDataFormat(&KeyboardFormat())) ||
      FAILED(d.keyboard->SetCooperativeLevel(w.hwnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)))
    return false;
  d.keyboard->Acquire();  // may fail until the window is in front: sampling tries again
  return true;
}

// --- Window steps (window thread) ---

void DestroyDirectXWindow(Win32Window& w) {
  DirectXWindow& d = DirectXOf(w);
  if (d.keyboard) d.keyboard->Unacquire();
  ReleaseInterface(d.keyboard);
  ReleaseInterface(d.input);
  ReleaseSurfaces(d);
  IDirectDraw* ddraw = nullptr;
  {
    std::lock_guard<std::mutex> guard(d.vsyncMutex);
    std::swap(ddraw, d.ddraw);
  }
  if (ddraw) {
    if (d.modeWidth) ddraw->RestoreDisplayMode();
    ddraw->SetCooperativeLevel(w.hwnd, DDSCL_NORMAL);
    ddraw->Release();  // a WaitVSync in progress holds a reference of its own
  }
  d.modeWidth = d.modeHeight = d.pictureLeft = d.pictureTop = 0;
  d.copyFirst = d.copyLast = -1;
  if (w.hwnd) DestroyWindow(w.hwnd);
  w.hwnd = nullptr;
}

bool CreateDirectXWindow(Win32Window& w, ScreenContext& screen) {
  DirectXWindow& d = DirectXOf(w);
  const DWORD style = win32::WindowStyle(w.flags), exStyle = win32::WindowExStyle(w.flags);
  RECT rect;
  if (Fullscreen(d)) {
    const POINT origin = win32::MonitorOrigin(w);
    rect = {origin.x, origin.y, origin.x + w.width, origin.y + w.height};
  } else {
    rect = win32::CentredWindowRect(w, style, exStyle);
  }
  if (!win32::CreateWindowOf(w, style, exStyle, rect)) return false;
  if (!OpenDirectDraw(d) || (Fullscreen(d) && !SetFullscreenMode(d)) ||
      !CreateSurfaces(d, screen) || !OpenKeyboard(d)) {
    DestroyDirectXWindow(w);
    return false;
  }
  DDSURFACEDESC mode{};
  mode.dwSize = sizeof mode;
  if (SUCCEEDED(d.ddraw->GetDisplayMode(&mode)))
    screen.refreshRate = mode.dwRefreshRate > 1 ? int32_t(mode.dwRefreshRate) : 0;
  screen.paletteChanged = 0;  // the table was just loaded
  MarkAllRowsDirty(screen);
  return true;
}

void RepaintDirectXWindow(Win32Window& w, ScreenContext& screen, HDC) {
  DirectXWindow& d = DirectXOf(w);
  if (Fullscreen(d))
    MarkAllRowsDirty(screen);  // the display itself is the drawing surface
  else
    CopyToWindow(d);
}

const win32::WindowDriverSteps DIRECTX_STEPS = {CreateDirectXWindow, DestroyDirectXWindow,
                                                RepaintDirectXWindow};

// --- Window-thread hooks ---

bool OpenHook(void* user) {
  return win32::OpenOnWindowThread(static_cast<DirectXWindow*>(user)->window);
}

void BeforeLockHook(void*) { ::Sleep(WINDOW_TICK_MS); }

// Presents right after a retrace that the program waits for, and owes
// nothing to a surface that was lost.
void AfterLockHook(void* user) {
  DirectXWindow& d = *static_cast<DirectXWindow*>(user);
  {
    std::unique_lock<std::mutex> lock(d.vsyncMutex);
    d.vsyncDone.wait_for(lock, VSYNC_WAIT_LIMIT, [&] { return !d.vsyncPending; });
  }
  if (d.repaintOwed) {
    d.repaintOwed = false;
    if (ScreenContext* screen = Screen()) MarkAllRowsDirty(*screen);
  }
}

void PresentHook(void* user, int firstRow, int lastRow) {
  DirectXWindow& d = *static_cast<DirectXWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen || !d.convert) return;
  // Full screen the display is someone else's while the window is not
  // active; activation marks every row again.
  if (Fullscreen(d) && !WindowActive()) return;
  if (screen->paletteChanged) {
    LoadPaletteTable(d, *screen);
    screen->paletteChanged = 0;
  }
  if (!ConvertRows(d, *screen, firstRow, lastRow)) {
    d.repaintOwed = true;
    return;
  }
  if (Fullscreen(d)) {
    win32::CountPresent(d.window, firstRow, lastRow);
    return;
  }
  d.copyFirst = d.copyFirst < 0 ? firstRow : std::min(d.copyFirst, firstRow);
  d.copyLast = std::max(d.copyLast, lastRow);
}

// Windowed: the copy to the window, without the display lock.
void DeliverHook(void* user) {
  DirectXWindow& d = *static_cast<DirectXWindow*>(user);
  if (d.copyFirst < 0) return;
  CopyToWindow(d);
  LockDisplay();  // the counters are read under it
  win32::CountPresent(d.window, d.copyFirst, d.copyLast);
  UnlockDisplay();
  d.copyFirst = d.copyLast = -1;
}

// The keyboard's own state; a device that lost the keyboard (another
// program, the focus) is acquired again and the table stays as it was.
void SampleHook(void* user, uint8_t* keyState) {
  DirectXWindow& d = *static_cast<DirectXWindow*>(user);
  if (!d.keyboard) return;
  BYTE state[256];
  const HRESULT result = d.keyboard->GetDeviceState(sizeof state, state);
  if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
    d.keyboard->Acquire();
    return;
  }
  if (SUCCEEDED(result)) SampleScancodeState(keyState, state);
}

void DispatchHook(void* user) {
  win32::DispatchMessages(static_cast<DirectXWindow*>(user)->window);
}

void CloseHook(void* user) { DestroyDirectXWindow(static_cast<DirectXWindow*>(user)->window); }

// --- Driver operations (program thread) ---

void DiscardWindow(DirectXWindow* d) {
  FreeLibraries(*d);
  delete d;
}

int DirectXInit(const char* title, int32_t width, int32_t height, int32_t depth,
                int32_t refreshRate, int32_t flags) {
  if (flags < 0 || (flags & (SCREEN_OPENGL | SCREEN_SHAPED_WINDOW))) return -1;
  if (!Screen() || current || width <= 0 || height <= 0) return -1;
  auto* d = new (std::nothrow) DirectXWindow;
  if (!d) return -1;
  if (!LoadLibraries(*d) ||
      !win32::StartWindow(d->window, title, width, height, win32::ShownDepth(depth), refreshRate,
                          flags, win32::WINDOW_CLASS_STYLE, &DIRECTX_STEPS, d)) {
    DiscardWindow(d);
    return -1;
  }
  current = d;
  WindowHooks hooks{OpenHook, PresentHook, SampleHook, DispatchHook, CloseHook, d};
  hooks.Deliver = DeliverHook;
  hooks.BeforeLock = BeforeLockHook;
  hooks.AfterLock = AfterLockHook;
  if (StartWindowThread(hooks) != 0) {
    current = nullptr;
    win32::EndWindow(d->window);
    DiscardWindow(d);
    return -1;
  }
  return 0;
}

void DirectXExit() {
  // The thread's Close hook has released DirectDraw and DirectInput, put
  // the display mode back and destroyed the window by the time this
  // returns.
  StopWindowThread();
  if (!current) return;
  win32::EndWindow(current->window);
  DiscardWindow(current);
  current = nullptr;
}

// Waits for the display's next retrace; the window thread holds back its
// next presentation (up to VSYNC_WAIT_LIMIT) until it is there.
void DirectXWaitVSync() {
  if (!current) return;
  DirectXWindow& d = *current;
  IDirectDraw* ddraw = nullptr;
  {
    std::lock_guard<std::mutex> guard(d.vsyncMutex);
    ddraw = d.ddraw;
    if (ddraw) ddraw->AddRef();  // a switch may release the window's own meanwhile
    d.vsyncPending = true;
  }
  const bool waited = ddraw && SUCCEEDED(ddraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr));
  ReleaseInterface(ddraw);
  if (!waited) win32::SleepOneRefresh();
  {
    std::lock_guard<std::mutex> guard(d.vsyncMutex);
    d.vsyncPending = false;
  }
  d.vsyncDone.notify_all();
}

}  // namespace

const DisplayDriver DIRECTX_DRIVER = {
    "DirectX",
    DirectXInit,
    DirectXExit,
    LockDisplay,
    UnlockDisplay,
    win32::SetPaletteOfCurrent,
    DirectXWaitVSync,
    win32::GetMouseOfCurrent,
    win32::SetMouseOfCurrent,
    win32::SetTitleOfCurrent,
    win32::SetPositionOfCurrent,
    win32::FetchModesOfCurrent,
    nullptr,
    nullptr,
};

bool DirectXSurface(DirectXSurfaceInfo* info) {
  if (!current) return false;
  LockDisplay();
  const DirectXWindow& d = *current;
  const bool open = d.convert != nullptr;
  if (open && info)
    *info = {d.format.bits, d.format.redLow, d.modeWidth, d.modeHeight, d.pictureLeft,
             d.pictureTop};
  UnlockDisplay();
  return open;
}

void DirectXLoseSurfaces() {
  if (!current) return;
  LockDisplay();
  current->loseAtNextLock = true;
  UnlockDisplay();
}

void DirectXOfferModes(std::vector<DisplayMode> modes) { offeredForTests = std::move(modes); }

void DirectXReleaseKeyboard() {
  if (!current) return;
  LockDisplay();
  if (current->keyboard) current->keyboard->Unacquire();
  UnlockDisplay();
}

}  // namespace fb
