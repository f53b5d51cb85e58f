// The "GDI" display driver.  Init runs the common window start and the
// window thread (platform/window_thread.h); the thread creates the window
// in the Open hook, presents, samples the keyboard state and dispatches
// the window's messages in the shared tick, and destroys the window in
// the Close hook.
#include "win32_gdi.h"

#include <cstring>
#include <new>
#include <vector>

#include "../driver_support.h"
#include "../screen.h"
#include "../window_thread.h"
#include "../win32/keys.h"
#include "../win32/window.h"
#include "../win32/win32.h"

namespace fb {

namespace {

using win32::Win32Window;

struct GdiWindow {
  Win32Window window;
  // The bitmap description: a header and the 256-entry colour table that
  // 8-bit screens are shown through.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } bitmap{};
  HPALETTE palette = nullptr;  // only on palette-based displays
  bool modeChanged = false;
  // Rows converted for the bitmap when the framebuffer cannot be shown as
  // it is; each padded to a multiple of 4 bytes.
  bool convert = false;
  std::vector<uint8_t> converted;
  size_t convertedPitch = 0;
};

// The open window (program thread; the window thread reaches it through
// its hooks' user pointer).
GdiWindow* current = nullptr;

GdiWindow& GdiOf(Win32Window& w) { return *static_cast<GdiWindow*>(w.driver); }

// --- Pixels ---

void LoadPalette(GdiWindow& g, ScreenContext& screen) {
  PALETTEENTRY entries[256];
  for (int i = 0; i < 256; ++i) {
    const uint32_t entry = screen.devicePalette[i];  // 0x00BBGGRR
    const BYTE red = BYTE(entry), green = BYTE(entry >> 8), blue = BYTE(entry >> 16);
    g.bitmap.colors[i] = {blue, green, red, 0};
    entries[i] = {red, green, blue, 0};
  }
  if (g.palette) SetPaletteEntries(g.palette, 0, 256, entries);
  screen.paletteChanged = 0;
}

// A 5-6-5 pixel as the bitmap's 5-5-5.
uint16_t To555(uint16_t pixel) { return uint16_t(((pixel >> 1) & 0x7FE0) | (pixel & 0x1F)); }

void ConvertRow(const ScreenContext& screen, int row, uint8_t* out) {
  const uint8_t* in = screen.framebuffer + size_t(row) * size_t(screen.pitch);
  if (screen.bpp == 2) {
    const auto* from = reinterpret_cast<const uint16_t*>(in);
    auto* to = reinterpret_cast<uint16_t*>(out);
    for (int x = 0; x < screen.width; ++x) to[x] = To555(from[x]);
  } else {
    std::memcpy(out, in, size_t(screen.pitch));
  }
}

// Copies rows first..last to dc in one call: from the framebuffer, or
// from the conversion buffer after converting the rows that need it.
void CopyRows(GdiWindow& g, const ScreenContext& screen, HDC dc, int first, int last,
              bool dirtyOnly) {
  const int count = last - first + 1;
  const uint8_t* bits = screen.framebuffer + size_t(first) * size_t(screen.pitch);
  if (g.convert) {
    for (int row = first; row <= last; ++row)
      if (!dirtyOnly || screen.dirtyRows[row])
        ConvertRow(screen, row, g.converted.data() + size_t(row) * g.convertedPitch);
    bits = g.converted.data() + size_t(first) * g.convertedPitch;
  }
  if (g.palette) {
    SelectPalette(dc, g.palette, FALSE);
    RealizePalette(dc);
  }
  // The description covers just the band, so no source offset is needed
  // (a top-down bitmap counts its scan lines from the bottom).
  g.bitmap.header.biHeight = -count;
  SetDIBitsToDevice(dc, 0, first, DWORD(screen.width), DWORD(count), 0, 0, 0, UINT(count), bits,
                    reinterpret_cast<const BITMAPINFO*>(&g.bitmap), DIB_RGB_COLORS);
  win32::CountPresent(g.window, first, last);
}

void DescribeBitmap(GdiWindow& g, const ScreenContext& screen) {
  BITMAPINFOHEADER& h = g.bitmap.header;
  h = {};
  h.biSize = sizeof h;
  h.biWidth = screen.width;
  h.biHeight = -screen.height;  // top-down
  h.biPlanes = 1;
  // Screens of 1, 2 and 4 bits keep one byte per pixel, like 8-bit ones;
  // 16-bit ones are shown as 5-5-5.
  h.biBitCount = WORD(screen.bpp * 8);
  h.biCompression = BI_RGB;
  h.biClrUsed = screen.bpp == 1 ? 256 : 0;
}

// --- Display mode ---

bool ChangeMode(GdiWindow& g) {
  g.modeChanged = win32::ChangeDisplayModeFor(g.window);
  return g.modeChanged;
}

void RestoreMode(GdiWindow& g) {
  if (!g.modeChanged) return;
  win32::RestoreDisplayMode();
  g.modeChanged = false;
}

// --- Window steps (window thread) ---

bool CreateGdiWindow(Win32Window& w, ScreenContext& screen) {
  GdiWindow& g = GdiOf(w);
  const DWORD style = win32::WindowStyle(w.flags), exStyle = win32::WindowExStyle(w.flags);
  RECT rect;
  if (w.flags & SCREEN_FULLSCREEN) {
    if (!ChangeMode(g)) return false;  // a refused mode fails the try
    const POINT origin = win32::MonitorOrigin(w);
    rect = {origin.x, origin.y, origin.x + w.width, origin.y + w.height};
  } else {
    rect = win32::CentredWindowRect(w, style, exStyle);
  }
  if (!win32::CreateWindowOf(w, style, exStyle, rect)) {
    RestoreMode(g);
    return false;
  }
  if (HDC dc = GetDC(w.hwnd)) {
    const int rate = GetDeviceCaps(dc, VREFRESH);
    screen.refreshRate = rate > 1 ? rate : 0;  // 0 and 1 mean the hardware default
    if ((GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) && screen.bpp == 1) {
      struct {
        WORD version, count;
        PALETTEENTRY entries[256];
      } logical{0x300, 256, {}};
      g.palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
    }
    ReleaseDC(w.hwnd, dc);
  }
  DescribeBitmap(g, screen);
  LoadPalette(g, screen);
  MarkAllRowsDirty(screen);
  return true;
}

// The palette, the display mode, then the window.
void DestroyGdiWindow(Win32Window& w) {
  GdiWindow& g = GdiOf(w);
  if (g.palette) DeleteObject(g.palette);
  g.palette = nullptr;
  RestoreMode(g);
  if (w.hwnd) DestroyWindow(w.hwnd);
  w.hwnd = nullptr;
}

void RepaintGdiWindow(Win32Window& w, ScreenContext& screen, HDC dc) {
  GdiWindow& g = GdiOf(w);
  if (screen.paletteChanged) LoadPalette(g, screen);
  CopyRows(g, screen, dc, 0, screen.height - 1, false);
}

const win32::WindowDriverSteps GDI_STEPS = {CreateGdiWindow, DestroyGdiWindow, RepaintGdiWindow};

// --- Window-thread hooks ---

bool OpenHook(void* user) {
  return win32::OpenOnWindowThread(static_cast<GdiWindow*>(user)->window);
}

void PresentHook(void* user, int firstRow, int lastRow) {
  GdiWindow& g = *static_cast<GdiWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen || !g.window.hwnd) return;
  if (screen->paletteChanged) LoadPalette(g, *screen);
  HDC dc = GetDC(g.window.hwnd);
  if (!dc) return;
  CopyRows(g, *screen, dc, firstRow, lastRow, true);
  ReleaseDC(g.window.hwnd, dc);
  if (g.window.version < 0x500) {
    RECT band = {0, firstRow, screen->width, lastRow + 1};
    InvalidateRect(g.window.hwnd, &band, FALSE);
  }
}

void SampleHook(void*, uint8_t* keyState) { win32::SampleThreadKeyboard(keyState); }

void DispatchHook(void* user) { win32::DispatchMessages(static_cast<GdiWindow*>(user)->window); }

void CloseHook(void* user) { DestroyGdiWindow(static_cast<GdiWindow*>(user)->window); }

// --- Driver operations (program thread) ---

int GdiInit(const char* title, int32_t width, int32_t height, int32_t depth, int32_t refreshRate,
            int32_t flags) {
  if (flags < 0 || (flags & SCREEN_OPENGL)) return -1;
  ScreenContext* screen = Screen();
  if (!screen || current || width <= 0 || height <= 0) return -1;
  auto* g = new (std::nothrow) GdiWindow;
  if (!g) return -1;
  Win32Window& w = g->window;
  if (!win32::StartWindow(w, title, width, height, win32::ShownDepth(depth), refreshRate, flags,
                          win32::WINDOW_CLASS_STYLE, &GDI_STEPS, g)) {
    delete g;
    return -1;
  }
  // Layered windows came with version 5.0.
  const bool shapedRefused = (flags & SCREEN_SHAPED_WINDOW) &&
                             (w.version < 0x500 || !w.user32.SetLayeredWindowAttributes);
  g->convert = screen->bpp == 2 || screen->pitch % 4 != 0;
  bool ready = !shapedRefused;
  if (ready && g->convert) {
    g->convertedPitch = (size_t(screen->pitch) + 3) & ~size_t(3);
    try {
      g->converted.resize(g->convertedPitch * size_t(screen->height));
    } catch (const std::bad_alloc&) {
      ready = false;
    }
  }
  current = g;
  const WindowHooks hooks{OpenHook, PresentHook, SampleHook, DispatchHook, CloseHook, g};
  if (!ready || StartWindowThread(hooks) != 0) {
    current = nullptr;
    win32::EndWindow(w);
    delete g;
    return -1;
  }
  return 0;
}

void GdiExit() {
  // The thread's Close hook has destroyed the window and put the display
  // mode back by the time this returns.
  StopWindowThread();
  if (!current) return;
  win32::EndWindow(current->window);
  delete current;
  current = nullptr;
}

}  // namespace

const DisplayDriver GDI_DRIVER = {
    "GDI",
    GdiInit,
    GdiExit,
    LockDisplay,
    UnlockDisplay,
    win32::SetPaletteOfCurrent,
    win32::SleepOneRefresh,
    win32::GetMouseOfCurrent,
    win32::SetMouseOfCurrent,
    win32::SetTitleOfCurrent,
    win32::SetPositionOfCurrent,
    win32::FetchModesOfCurrent,
    nullptr,
    nullptr,
};

bool GdiConverts() {
  if (!current) return false;
  LockDisplay();
  const bool converts = current->convert;
  UnlockDisplay();
  return converts;
}

}  // namespace fb
