// The open screen: SetScreenMode builds the ScreenContext (its pages,
// palettes, dirty rows, key state and events), picks a display driver and
// opens its window; ScreenLock/ScreenUnlock are the one synchronisation
// point between the program's thread, which draws, and the window thread,
// which presents.  All of these run on the program's thread.  The drawing
// code keeps its own state per screen (drawing contexts, text cells) and
// sets it up when it first sees a new mode serial.
#pragma once
#include <atomic>
#include <cstdint>

namespace fb {

struct DisplayDriver;
struct EventQueue;

// The fifth argument of SetScreenMode.
constexpr int32_t SCREEN_WINDOWED = 0;
constexpr int32_t SCREEN_FULLSCREEN = 1;
constexpr int32_t SCREEN_OPENGL = 2;
constexpr int32_t SCREEN_NO_SWITCH = 4;
constexpr int32_t SCREEN_NO_FRAME = 8;
constexpr int32_t SCREEN_SHAPED_WINDOW = 16;  // implies NO_SWITCH and NO_FRAME
constexpr int32_t SCREEN_ALWAYS_ON_TOP = 32;
constexpr int32_t SCREEN_ALPHA_PRIMITIVES = 64;
constexpr int32_t SCREEN_HIGH_PRIORITY = 128;
constexpr int32_t SCREEN_NULL = -1;  // no window: the "Null" driver

// Marks in ScreenContext::flags.
constexpr uint32_t SCREEN_MARK_ALPHA_PRIMITIVES = 1u << 0;
constexpr uint32_t SCREEN_MARK_OPENGL = 1u << 1;
constexpr uint32_t SCREEN_MARK_HIGH_PRIORITY = 1u << 2;
constexpr uint32_t SCREEN_MARK_PACKED = 1u << 3;  // packed integer instructions in use
constexpr uint32_t SCREEN_MARK_AVX2 = 1u << 4;    // ... and their 256-bit forms

constexpr int KEY_STATE_SIZE = 128;

struct ScreenContext {
  int32_t modeSerial = 0;
  int32_t modeNumber = -1;  // -1: opened by size
  uint8_t** pages = nullptr;
  int32_t pageCount = 0;
  int32_t visiblePage = 0;
  uint8_t* framebuffer = nullptr;  // start of the visible page
  int32_t width = 0, height = 0;
  int32_t depth = 0;  // bits per pixel: 1, 2, 4, 8, 16 or 32
  int32_t bpp = 0;    // bytes per pixel
  int32_t pitch = 0;  // bpp * width: rows are packed
  uint32_t* devicePalette = nullptr;  // 256 entries 0x00BBGGRR
  uint32_t* colorMap = nullptr;       // 256 entries 0x00BBGGRR
  uint8_t* colorAssociation = nullptr;  // 16 bytes
  uint8_t* dirtyRows = nullptr;  // one byte per framebuffer row, 1 = changed
  const DisplayDriver* driver = nullptr;
  uint32_t colorMask = 0;
  const uint8_t* defaultPalette = nullptr;  // 3 bytes per entry
  int32_t scanLineHeight = 1;
  float aspect = 1.0f;
  uint8_t* keyState = nullptr;  // KEY_STATE_SIZE bytes, 1 = held
  EventQueue* events = nullptr;
  uint8_t* conversionTable = nullptr;  // 2048 bytes for pixel conversion
  uint32_t flags = 0;  // SCREEN_MARK_*
  int32_t lockCount = 0;
  int32_t refreshRate = 0;  // Hz, 0 when unknown; filled by the driver
  uint8_t paletteChanged = 0;  // guarded by the display lock
};

// The open screen, or nullptr.  Every drawing call asks, so it is inline;
// only SetScreenMode and CloseScreen write it, on the program's thread.
extern ScreenContext* currentScreen;
inline ScreenContext* Screen() { return currentScreen; }

// A count that moves on whenever memory that drawing may hold raw
// addresses into is freed: the screen's buffers, when CloseScreen (also
// through SetScreenMode) frees them, and every image, whose freeing the
// drawing services report with NoteTargetFreed.  What keeps such
// addresses from one call to the next (a run of dots) compares the count
// with the one it began with: while it stands, its target is still there.
// Any thread.
extern std::atomic<uint32_t> targetsFreed;
inline uint32_t TargetsFreed() { return targetsFreed.load(std::memory_order_relaxed); }
inline void NoteTargetFreed() { targetsFreed.fetch_add(1, std::memory_order_relaxed); }

// Opens a screen of width x height at depth bits per pixel (1, 2, 4, 8,
// 15, 16, 24 or 32; 15 is 16 and 24 is 32).  A screen already open is
// closed first, except when the arguments are invalid.  Returns 0, or 1
// (also the last error number) when the arguments are invalid or no
// display driver can be opened.
int SetScreenMode(int32_t width, int32_t height, int32_t depth, int32_t pages, int32_t flags,
                  int32_t refreshRate);

// Closes the open screen, if any: stops the driver (releasing a display
// lock the program still holds) and frees every buffer.
void CloseScreen();

// Takes the display lock unless this thread already holds it through an
// earlier ScreenLock (the count makes it re-entrant).  No screen: nothing.
void ScreenLock();

// Marks rows first..last dirty (last < 0: the last row; first < 0: 0; a
// range past the screen or reversed marks nothing), then lowers the lock
// count and releases the display lock when it reaches 0.
// ScreenUnlock(1, 0) releases without marking.
void ScreenUnlock(int32_t firstRow, int32_t lastRow);

// Copies page source onto page destination (nothing to copy when they are
// the same) and ends a frame: when the visible page received a copy every
// row is marked dirty; then a driver that presents only when asked (the
// "OpenGL" driver, which has no window thread) presents the visible page
// (its Flip) and handles its window's messages (its PollEvents).  A page
// number out of range: 1 (also the last error number), nothing done;
// otherwise 0.  No screen: 1.
int CopyPage(int32_t source, int32_t destination);

// Sets the window title used by the next SetScreenMode and, with a screen
// open, by its window (through the driver).
void SetWindowTitle(const char* title);
const char* WindowTitle();

// The next mode serial that SetScreenMode will hand out (tests use it).
int32_t NextModeSerial();

}  // namespace fb
