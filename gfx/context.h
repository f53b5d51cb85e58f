// The per-thread drawing state and the steps every drawing operation
// shares: choosing the target, the pixel routines, coordinate flags,
// rounding to pixels and marking changed screen rows.
// Each thread has its own DrawContext (thread-local); it is rebuilt when a
// new screen is opened (its mode serial differs from the screen's).
#pragma once
#include <cstdint>
#include <vector>

#include "gfx/color.h"
#include "gfx/image.h"

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
};

// The calling thread's context, set up afresh if a new screen was opened.
// Returns nullptr when no screen is open.
DrawContext* GetDrawContext();

// Makes target (nullptr = the screen) the context's target: clip, bpp,
// pitch, row table and pixel routines.  Selecting the current target again
// does nothing.
void SelectTarget(DrawContext& dc, Image* target);

// Drops the current image target (it is being destroyed): the next
// selection starts from the screen state.
void ForgetTarget(DrawContext& dc);

// Chooses the pixel routines for the target's depth and the colour that is
// about to be drawn (blending routines for translucent colours when the
// screen has the alpha-primitives mark and the target has 4 bytes).
void ChoosePixelRoutines(DrawContext& dc, Color colour);

// The pixel routines of a depth in bytes per pixel (1, 2 or 4), plain or
// with packed instructions.  Both sets leave identical memory.
const PixelRoutines& PlainPixelRoutines(int bpp);
const PixelRoutines& PackedPixelRoutines(int bpp);

// Applies one-point coordinate flags to (x, y) and updates lastPoint.
void ApplyCoordFlags(DrawContext& dc, int32_t coordFlags, float& x, float& y);
// Applies two-point coordinate flags; lastPoint becomes the second point.
void ApplyCoordFlags(DrawContext& dc, int32_t coordFlags, float& x1, float& y1, float& x2,
                     float& y2);

// Rounds to the nearest integer, halves away from zero.
int RoundToPixel(float v);
// Rounds a point to a pixel and adds the clip origin.
PointI ToPixel(const DrawContext& dc, float x, float y);

// The colour an operation draws with: foreground (or background) under
// NoColor, else colour converted to the target's depth.
uint32_t ChooseColor(const DrawContext& dc, int32_t coordFlags, Color colour,
                     bool useBackground = false);

// Sets the dirty flags of rows first..last (clipped to the screen) when the
// target is the screen and the work page is the visible page.
void MarkDirtyRows(const DrawContext& dc, int first, int last);

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
