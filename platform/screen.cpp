#include "screen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "cpu.h"
#include "driver.h"
#include "driver_support.h"
#include "events.h"
#include "palette.h"
#include "runtime.h"

namespace fb {

// Written only by the program's thread, before a window thread starts and
// after it has been joined, so the window thread may read it freely.
ScreenContext* currentScreen = nullptr;

std::atomic<uint32_t> targetsFreed{0};

namespace {

int32_t nextModeSerial = 1;
bool exitRoutineRegistered = false;
std::string windowTitle;

// A screen larger than this is refused: it keeps every buffer size far
// from overflow and is well beyond any display.
constexpr int32_t SCREEN_MAX_SIDE = 16384;

bool ValidDepth(int32_t depth) {
  switch (depth) {
    case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32:
      return true;
    default:
      return false;
  }
}

void FreeScreen(ScreenContext* s) {
  if (!s) return;
  if (s->pages) {
    for (int i = 0; i < s->pageCount; ++i) FreeAligned16(s->pages[i]);
    delete[] s->pages;
  }
  delete[] s->devicePalette;
  delete[] s->colorMap;
  delete[] s->colorAssociation;
  delete[] s->dirtyRows;
  delete[] s->keyState;
  DestroyEventQueue(s->events);
  delete[] s->conversionTable;
  delete s;
}

void ResetPalette(ScreenContext& s) {
  const uint8_t* rgb = DefaultPaletteRgb();
  for (int i = 0; i < 256; ++i) {
    uint32_t entry = uint32_t(rgb[i * 3]) | uint32_t(rgb[i * 3 + 1]) << 8 |
                     uint32_t(rgb[i * 3 + 2]) << 16;
    s.devicePalette[i] = entry;
    s.colorMap[i] = entry;
  }
  s.paletteChanged = 1;
}

// Allocates and fills everything but the driver.  false: out of memory.
bool BuildScreen(ScreenContext& s, int32_t width, int32_t height, int32_t depth, int32_t pages,
                 int32_t flags) {
  s.modeNumber = -1;
  s.width = width;
  s.height = height;
  s.depth = depth;
  s.bpp = (depth + 7) / 8;
  s.pitch = s.bpp * width;
  s.colorMask = depth == 16 ? 0xFFFFu : depth == 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
  s.scanLineHeight = 1;
  s.defaultPalette = DefaultPaletteRgb();
  s.aspect = 1.0f;
  s.pageCount = pages;

  const size_t pageBytes = size_t(height) * size_t(s.pitch);
  s.pages = new (std::nothrow) uint8_t*[size_t(pages)]();
  if (!s.pages) return false;
  for (int i = 0; i < pages; ++i)
    if (!(s.pages[i] = static_cast<uint8_t*>(AllocAligned16(pageBytes)))) return false;
  s.framebuffer = s.pages[0];
  s.dirtyRows = new (std::nothrow) uint8_t[size_t(height) * size_t(s.scanLineHeight)]();
  s.devicePalette = new (std::nothrow) uint32_t[256]();
  s.colorMap = new (std::nothrow) uint32_t[256]();
  s.colorAssociation = new (std::nothrow) uint8_t[16]();
  s.keyState = new (std::nothrow) uint8_t[KEY_STATE_SIZE]();
  s.events = CreateEventQueue();
  s.conversionTable = new (std::nothrow) uint8_t[2048]();
  if (!s.dirtyRows || !s.devicePalette || !s.colorMap || !s.colorAssociation || !s.keyState ||
      !s.events || !s.conversionTable)
    return false;

  if (flags != SCREEN_NULL) {
    if (flags & SCREEN_ALPHA_PRIMITIVES) s.flags |= SCREEN_MARK_ALPHA_PRIMITIVES;
    if (flags & SCREEN_OPENGL) s.flags |= SCREEN_MARK_OPENGL;
    if (flags & SCREEN_HIGH_PRIORITY) s.flags |= SCREEN_MARK_HIGH_PRIORITY;
  }
  uint32_t cpu = CpuFeatures();
  if (cpu & CPU_SSE2) s.flags |= SCREEN_MARK_PACKED;
  if (cpu & CPU_AVX2) s.flags |= SCREEN_MARK_AVX2;

  ResetPalette(s);

  // Every page starts in the background colour: opaque black at 32 bits.
  const size_t pixels = size_t(width) * size_t(height);
  for (int i = 0; i < pages; ++i) {
    if (depth == 32)
      std::fill_n(reinterpret_cast<uint32_t*>(s.pages[i]), pixels, 0xFF000000u);
    else
      std::memset(s.pages[i], 0, size_t(s.pitch) * size_t(height));
  }
  return true;
}

void CloseAtExit() { CloseScreen(); }

}  // namespace

int32_t NextModeSerial() { return nextModeSerial; }

int SetScreenMode(int32_t width, int32_t height, int32_t depth, int32_t pages, int32_t flags,
                  int32_t refreshRate) {
  if (width <= 0 || height <= 0 || width > SCREEN_MAX_SIDE || height > SCREEN_MAX_SIDE ||
      !ValidDepth(depth)) {
    SetLastError(1);
    return 1;
  }
  if (flags >= 0 && (flags & SCREEN_SHAPED_WINDOW)) flags |= SCREEN_NO_SWITCH | SCREEN_NO_FRAME;
  if (flags >= 0 && (flags & SCREEN_OPENGL) && depth < 16) depth = 16;
  if (depth == 15) depth = 16;
  if (depth == 24) depth = 32;
  if (pages <= 0) pages = 1;
  // Each page is a full framebuffer; more than a handful is a mistake,
  // and an unchecked count could multiply past any memory.
  if (pages > 16) {
    SetLastError(1);
    return 1;
  }

  CloseScreen();

  auto* s = new (std::nothrow) ScreenContext{};
  if (!s) {
    SetLastError(1);
    return 1;
  }
  s->modeSerial = nextModeSerial++;
  if (!BuildScreen(*s, width, height, depth, pages, flags)) {
    FreeScreen(s);
    SetLastError(1);
    return 1;
  }
  if (windowTitle.empty()) windowTitle = ProgramName();

  // The record is current while the drivers are tried: a window thread
  // started by a driver's Init reads it.
  currentScreen = s;
  const char* preferred = std::getenv("SCRDRIVER");
  const DisplayDriver* driver =
      SelectDisplayDriver(DriverList(), preferred, windowTitle.c_str(), width,
                          height * s->scanLineHeight, depth, refreshRate, flags);
  if (!driver) {
    currentScreen = nullptr;
    FreeScreen(s);
    SetLastError(1);
    return 1;
  }
  s->driver = driver;
  if (!exitRoutineRegistered) {
    std::atexit(CloseAtExit);
    exitRoutineRegistered = true;
  }
  SetLastError(0);
  return 0;
}

void CloseScreen() {
  ScreenContext* s = currentScreen;
  if (!s) return;
  if (s->driver && s->driver->Exit) s->driver->Exit();
  s->lockCount = 0;
  currentScreen = nullptr;
  NoteTargetFreed();
  FreeScreen(s);
}

void ScreenLock() {
  ScreenContext* s = currentScreen;
  if (!s) return;
  if (s->lockCount == 0 && s->driver && s->driver->Lock) s->driver->Lock();
  ++s->lockCount;
}

void ScreenUnlock(int32_t firstRow, int32_t lastRow) {
  ScreenContext* s = currentScreen;
  if (!s) return;
  if (lastRow < 0) lastRow = s->height - 1;
  if (firstRow < 0) firstRow = 0;
  if (firstRow <= lastRow && lastRow < s->height) {
    // Marking without the lock held would race with the window thread,
    // which reads and clears the flags; take it for the marking alone.
    bool unlocked = s->lockCount == 0;
    if (unlocked && s->driver->Lock) s->driver->Lock();
    std::memset(s->dirtyRows + firstRow, 1, size_t(lastRow - firstRow + 1));
    if (unlocked && s->driver->Unlock) s->driver->Unlock();
  }
  if (s->lockCount > 0 && --s->lockCount == 0 && s->driver->Unlock) s->driver->Unlock();
}

int CopyPage(int32_t source, int32_t destination) {
  ScreenContext* s = currentScreen;
  if (!s || source < 0 || destination < 0 || source >= s->pageCount ||
      destination >= s->pageCount) {
    SetLastError(1);
    return 1;
  }
  if (source != destination) {
    ScreenLock();
    std::memcpy(s->pages[destination], s->pages[source], size_t(s->height) * size_t(s->pitch));
    if (destination == s->visiblePage) MarkAllRowsDirty(*s);
    ScreenUnlock(1, 0);
  }
  if (s->driver->Flip) s->driver->Flip();
  if (s->driver->PollEvents) s->driver->PollEvents();
  SetLastError(0);
  return 0;
}

void SetWindowTitle(const char* title) {
  windowTitle = title ? std::string(title).substr(0, 127) : std::string();
  ScreenContext* s = currentScreen;
  if (!s || !s->driver->SetWindowTitle) return;
  // The window thread takes the display lock for its tick; a title change
  // that waits on it must not be made while this thread holds it.
  bool held = s->lockCount > 0;
  if (held && s->driver->Unlock) s->driver->Unlock();
  s->driver->SetWindowTitle(windowTitle.c_str());
  if (held && s->driver->Lock) s->driver->Lock();
}

const char* WindowTitle() { return windowTitle.c_str(); }

}  // namespace fb
