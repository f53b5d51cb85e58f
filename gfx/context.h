// The per-thread drawing state and the steps every drawing operation
// shares: choosing the target, the pixel routines, coordinate flags,
// rounding to pixels and marking changed screen rows.
// Each thread has its own DrawContext (thread-local); it is rebuilt when a
// new screen is opened (its mode serial differs from the screen's).
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>
#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "color.h"
#include "image.h"
#include "../platform/screen.h"

namespace fb {

struct DrawContext;

// Pixel access for one depth.  PutPixel and GetPixel address row y of the
// context's row table and pixel x in it: callers clip.  FillSpan writes
// count pixels of a colour already converted to the depth; CopySpan copies
// count pixels.
struct PixelRoutines {
  void (*PutPixel)(DrawContext& dc, int x, int y, uint32_t value);
  uint32_t (*GetPixel)(const DrawContext& dc, int x, int y);
  void (*FillSpan)(void* dst, uint32_t value, size_t count);
  void (*CopySpan)(void* dst, const void* src, size_t count);
};

// A blit routine: walks a width x height rectangle row by row, advancing
// both addresses by their pitches.  It does no clipping.
using BlitRoutine = void (*)(const uint8_t* src, uint8_t* dst, int width, int height,
                             int srcPitch, int dstPitch, int32_t alpha, int32_t param,
                             int32_t extra);
// One routine per bytes per pixel (index bpp - 1; index 2 is empty).
struct BlitTable {
  BlitRoutine byBpp[4];
};
constexpr int PUT_MODE_COUNT = 10;

// Coordinate-mode argument of the drawing operations.  The low three bits:
// for one-point operations 4 absolute, 5 (or 2) relative to lastPoint; for
// two-point ones 0 both absolute, 1 second relative to first, 2 first
// relative to lastPoint, 3 both.  NoColor makes the operation ignore its
// colour argument and use the context's foreground (or background).
struct CoordFlags {
  static constexpr int32_t Absolute = 4;
  static constexpr int32_t Relative = 5;
  static constexpr int32_t NoColor = INT32_MIN;  // bit 31
};

struct PointF {
  float x, y;
};
struct PointI {
  int x, y;
};
struct ClipRect {
  int32_t x, y, width, height;
};

// State bits of a DrawContext.
constexpr uint32_t DC_RELOAD_SCREEN = 1;  // the screen state must be (re)loaded
constexpr uint32_t DC_IMAGE_TARGET = 2;   // an image is the target

struct DrawContext {
  int32_t modeSerial = 0;
  int32_t workPage = 0;
  std::vector<uint8_t*> rows;  // start of each row of the current target
  int32_t bpp = 0, pitch = 0;
  Image* target = nullptr;  // nullptr: the screen
  PointF lastPoint{0, 0};
  ClipRect clip{0, 0, 0, 0};
  ClipRect savedScreenClip{0, 0, 0, 0};
  Color foreground = 0, background = 0;
  PixelRoutines pixel{};
  const BlitTable* blitCache[PUT_MODE_COUNT] = {};
  uint32_t state = 0;
  // Cached from the screen this context was built for, so that the steps
  // every drawing call repeats need not look it up again.
  ScreenContext* screen = nullptr;
  uint8_t* dirtyRows = nullptr;  // the screen's flags
  int32_t screenHeight = 0;
  uint32_t screenMarks = 0;  // SCREEN_MARK_*
  // Which routines `pixel` holds: bpp, plus 0x100 for the blending ones.
  uint32_t routineKey = 0;
  // modeSerial while the shown page of a 32-bit screen is the target and
  // the storing routines are loaded, else 0 (never a serial): one compare
  // with the screen's serial then tells the direct paths of DrawCircle,
  // PutImage and SetPixel that the context is current and needs no set-up.
  // Every function here that changes the target or the routines renews it.
  int32_t directSerial = 0;
  // With directSerial set: the clip rectangle's width and height less 2,
  // the columns and rows 1 .. span on which a dot's whole cross lies
  // inside (0 otherwise; see RoundToPositivePixel).
  uint64_t dotXSpan = 0, dotYSpan = 0;
  // With directSerial set: pixel (0, 0) of the clip rectangle and its first
  // row's dirty flag, so that a dot's address needs no row table.
  uint8_t* dotOrigin = nullptr;
  uint8_t* dotDirtyRows = nullptr;
  // The least colour that DrawCircle's dot path writes by storing it:
  // translucent colours blend on a screen with the alpha-primitives mark.
  uint32_t dotLeastColour = 0;
};

// The calling thread's context, set up afresh if a new screen was opened.
// Returns nullptr when no screen is open.
DrawContext* SetUpDrawContext(ScreenContext& screen);
// constinit: a constant initialiser, so readers need no per-access check
// for a dynamic one.
extern thread_local constinit DrawContext* threadDrawContext;  // once set up
inline DrawContext* GetDrawContext() {
  ScreenContext* screen = Screen();
  if (!screen) return nullptr;
  DrawContext* dc = threadDrawContext;
  if (dc && dc->modeSerial == screen->modeSerial) return dc;
  return SetUpDrawContext(*screen);
}

// Makes target (nullptr = the screen) the context's target: clip, bpp,
// pitch, row table and pixel routines.  Selecting the current target again
// does nothing more.  An image selected is about to be written: it loses
// its sprite runs (image.h), also when it was the target already.
void SelectTargetChanged(DrawContext& dc, Image* target);
inline void SelectTarget(DrawContext& dc, Image* target) {
  if (target && target->spriteRuns) DropSpriteRuns(target);
  const bool current = target ? target == dc.target && (dc.state & DC_IMAGE_TARGET)
                              : !(dc.state & (DC_RELOAD_SCREEN | DC_IMAGE_TARGET));
  if (!current) SelectTargetChanged(dc, target);
}

// Drops the current image target (it is being destroyed): the next
// selection starts from the screen state.
void ForgetTarget(DrawContext& dc);

// Chooses the pixel routines for the target's depth and the colour that is
// about to be drawn (blending routines for translucent colours when the
// screen has the alpha-primitives mark and the target has 4 bytes).
void LoadPixelRoutines(DrawContext& dc, uint32_t routineKey);
inline void ChoosePixelRoutines(DrawContext& dc, Color colour) {
  const bool blend = (dc.screenMarks & SCREEN_MARK_ALPHA_PRIMITIVES) && dc.bpp == 4 &&
                     colour < 0xFF000000u;
  const uint32_t key = uint32_t(dc.bpp) | (blend ? 0x100u : 0u);
  if (key != dc.routineKey) LoadPixelRoutines(dc, key);
}

// The pixel routines of a depth in bytes per pixel (1, 2 or 4), plain or
// with packed instructions.  Both sets leave identical memory.
const PixelRoutines& PlainPixelRoutines(int bpp);
const PixelRoutines& PackedPixelRoutines(int bpp);

// Applies one-point coordinate flags to (x, y) and updates lastPoint.
inline void ApplyCoordFlags(DrawContext& dc, int32_t coordFlags, float& x, float& y) {
  const int mode = coordFlags & 7;
  if (mode == 5 || mode == 2) {
    x += dc.lastPoint.x;
    y += dc.lastPoint.y;
  }
  dc.lastPoint = {x, y};
}
// Applies two-point coordinate flags; lastPoint becomes the second point.
void ApplyCoordFlags(DrawContext& dc, int32_t coordFlags, float& x1, float& y1, float& x2,
                     float& y2);

// Rounds to the nearest integer, halves away from zero.  Far-off or
// undefined coordinates saturate at +-1e9 instead of overflowing the
// conversion; they are clipped away like any other outside point.
inline int RoundToPixel(float v) {
  constexpr double limit = 1e9;
  const double d = v;  // exact: no float rounding of v + 0.5
  if (!(d > -limit)) return -int(limit);
  if (d > limit) return int(limit);
  return d > 0 ? int(d + 0.5) : int(d - 0.5);
}
// RoundToPixel for v of 0.5 or more, as an unsigned number; anything else
// (v below 0.5, beyond 2^62, NaN) gives 0 or a number above 2^63, so one
// unsigned compare of RoundToPositivePixel(v) - 1 with a count of columns
// tells inside from outside.  Integer compares: a chain of floating-point
// ones in a loop of stores holds up the stores.  The sum is exact in
// double for every float, and truncation rounds it down from 1 on.
inline uint64_t RoundToPositivePixel(float v) {
  const double sum = double(v) + 0.5;
#if defined(__x86_64__) || defined(_M_X64)
  // Out of range and NaN convert to INT64_MIN, which the compare rejects.
  return uint64_t(_mm_cvttsd_si64(_mm_set_sd(sum)));
#else
  return sum >= 1 && sum < 0x1p62 ? uint64_t(sum) : 0;
#endif
}
// Rounds a point to a pixel and adds the clip origin.
inline PointI ToPixel(const DrawContext& dc, float x, float y) {
  return {RoundToPixel(x) + dc.clip.x, RoundToPixel(y) + dc.clip.y};
}

// The colour an operation draws with: foreground (or background) under
// NoColor, else colour converted to the target's depth.
inline uint32_t ChooseColor(const DrawContext& dc, int32_t coordFlags, Color colour,
                            bool useBackground = false) {
  if (coordFlags & CoordFlags::NoColor) return useBackground ? dc.background : dc.foreground;
  return ConvertColor(dc.bpp, colour);
}

// Sets n (1 or more) dirty flags from p on: a sprite's or a dot's few
// rows with a store or two, long runs by memset.
inline void SetDirtyFlags(uint8_t* p, size_t n) {
  static constexpr uint8_t ones[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  if (n < 4) {
    p[0] = p[n / 2] = p[n - 1] = 1;
  } else if (n <= 8) {
    std::memcpy(p, ones, 4);
    std::memcpy(p + n - 4, ones, 4);
  } else if (n <= 16) {
    std::memcpy(p, ones, 8);
    std::memcpy(p + n - 8, ones, 8);
  } else if (n <= 32) {
    std::memcpy(p, ones, 16);
    std::memcpy(p + n - 16, ones, 16);
  } else {
    std::memset(p, 1, n);
  }
}

// Sets the dirty flags of rows first..last (clipped to the screen) when the
// target is the screen and the work page is the visible page.
inline void MarkDirtyRows(const DrawContext& dc, int first, int last) {
  if (dc.target || dc.workPage != dc.screen->visiblePage) return;
  if (first < 0) first = 0;
  if (last >= dc.screenHeight) last = dc.screenHeight - 1;
  if (first > last) return;
  SetDirtyFlags(dc.dirtyRows + first, size_t(last - first + 1));
}

// ScreenLock and ScreenUnlock(1, 0) for the hottest drawing paths: while
// the caller already holds the lock (the game holds it for a whole frame)
// only the count moves, without a call.
inline void LockForDrawing(DrawContext& dc) {
  if (dc.screen->lockCount > 0)
    ++dc.screen->lockCount;
  else
    ScreenLock();
}
inline void UnlockForDrawing(DrawContext& dc) {
  if (dc.screen->lockCount > 1)
    --dc.screen->lockCount;
  else
    ScreenUnlock(1, 0);
}

// Address of pixel (x, y) of the current target.  No clipping.
inline uint8_t* PixelAddress(const DrawContext& dc, int x, int y) {
  return dc.rows[size_t(y)] + size_t(x) * size_t(dc.bpp);
}

// ClearScreen's argument meaning "no argument".
constexpr int32_t CLEAR_DEFAULT = -65536;

// Clears the screen with the background colour: mode 0 everything, 1 the
// clip rectangle's rows, 2 the text view's rows; CLEAR_DEFAULT is 0 when
// the text view covers all text rows, else 2.  Without a screen it clears
// the console.
void ClearScreen(int32_t mode = CLEAR_DEFAULT);

}  // namespace fb
