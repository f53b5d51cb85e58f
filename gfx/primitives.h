// Pixels, lines, boxes and circles, clipped to the target.  Program's
// thread; screen writes happen under the screen lock.
#pragma once
#include <cstdint>
#include <cstring>

#include "color.h"
#include "context.h"
#include "image.h"

namespace fb {

constexpr int32_t LINE_STYLE_SOLID = 0xFFFF;

// Shape argument of DrawLine.
constexpr int32_t BOX_MODE_LINE = 0;
constexpr int32_t BOX_MODE_OUTLINE = 1;  // any value but 0 and 2
constexpr int32_t BOX_MODE_FILLED = 2;

// Full-circle angle as the drawing operations test it (2 pi in single
// precision, bit pattern 0x40C90FDC).
constexpr float FULL_CIRCLE = 6.2831859f;

// Sets one pixel.  With CoordFlags::NoColor the colour is the foreground,
// or the background when useBackground is non-zero.
void SetPixel(Image* target, float x, float y, Color colour, int32_t coordFlags,
              int32_t useBackground = 0);

// A line (boxMode 0) with a 16-bit style, a filled box (2) or a box
// outline (other values) from (x1, y1) to (x2, y2).  lastPoint becomes the
// second point.
void DrawLine(Image* target, float x1, float y1, float x2, float y2, Color colour,
              int32_t boxMode, int32_t style, int32_t coordFlags);

// The five pixels of a dot on a 32-bit target, the cross a filled circle
// of radius 1 scans to, and the dirty flags of its three rows where they
// are not set yet.  centre: the middle pixel; dirty: the middle row's flag
// or nullptr.  Callers clip: the cross must lie inside the target.
inline void UnsafeDrawDot32(uint8_t* centre, intptr_t pitch, uint8_t* dirty, uint32_t colour) {
  uint32_t* const row = reinterpret_cast<uint32_t*>(centre);
  row[-1] = row[0] = row[1] = colour;
  *reinterpret_cast<uint32_t*>(centre - pitch) = colour;
  *reinterpret_cast<uint32_t*>(centre + pitch) = colour;
  // Within a frame the flags are soon all set: testing them spares two
  // stores per dot.
  if (dirty && !(dirty[-1] & dirty[0] & dirty[1])) dirty[-1] = dirty[0] = dirty[1] = 1;
}

// The float's bits (memcpy: the web build's library has no std::bit_cast).
inline uint32_t FloatBits(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

// Whether a DrawCircle call is the dot (below), with the context set up
// for it.
inline bool IsScreenDot(const DrawContext* dc, const ScreenContext* screen, const Image* target,
                        float radius, Color colour, float aspect, float start, float end,
                        int32_t fill, int32_t coordFlags) {
  const uint32_t otherShape = (FloatBits(radius) ^ FloatBits(1.0f)) | FloatBits(aspect) |
                              FloatBits(start) | (FloatBits(end) ^ FloatBits(FULL_CIRCLE));
  return dc && screen && !target && coordFlags == CoordFlags::Absolute && fill != 0 &&
         !otherShape && dc->directSerial == screen->modeSerial &&
         FloatBits(screen->aspect) == FloatBits(1.0f) && colour >= dc->dotLeastColour;
}

// Everything DrawCircle does not draw inline.
void DrawCircleOutOfLine(Image* target, float x, float y, float radius, Color colour,
                         float aspect, float start, float end, int32_t fill, int32_t coordFlags);

// An ellipse of radius and aspect (0 = the screen's) centred on (x, y):
// start 0 and end FULL_CIRCLE draw it whole by rows (filled when fill is
// non-zero); other angles draw an arc; negative angles add a radius line.
//
// Programs draw tens of thousands of dots a frame: radius 1 at the
// screen's aspect (1), whole and filled, absolute coordinates, an opaque
// colour onto the 32-bit screen already selected, under a lock the
// program holds.  That call is recognised here, in the caller, by
// comparing its arguments' bit patterns with the dot's and the context's
// directSerial with the screen's serial, and its five pixels are written
// without a call: the stores of one dot then overlap those of the next.
// Anything else, other spellings of the same circle included, goes out of
// line to the same pixels.
inline void DrawCircle(Image* target, float x, float y, float radius, Color colour, float aspect,
                       float start, float end, int32_t fill, int32_t coordFlags) {
  DrawContext* dc = threadDrawContext;
  const ScreenContext* screen = Screen();
  if (IsScreenDot(dc, screen, target, radius, colour, aspect, start, end, fill, coordFlags) &&
      screen->lockCount > 0) {
    const uint64_t px = RoundToPositivePixel(x), py = RoundToPositivePixel(y);
    if (px - 1 < dc->dotXSpan && py - 1 < dc->dotYSpan) {
      dc->lastPoint = {x, y};
      // directSerial vouches for 4 bytes per pixel.
      UnsafeDrawDot32(dc->dotOrigin + intptr_t(py) * dc->pitch + intptr_t(px) * 4, dc->pitch,
                      dc->dotDirtyRows + py, colour);
      return;
    }
  }
  DrawCircleOutOfLine(target, x, y, radius, colour, aspect, start, end, fill, coordFlags);
}

// A run of dots, the explosions' particles: filled circles of radius 1 at
// the screen's aspect with absolute coordinates, drawn one after another
// with nothing else drawn between them.  BeginDots does DrawCircle's
// set-up once and holds the screen lock; each DrawDot then draws exactly
// what DrawCircle(target, x, y, 1, colour, 0, 0, FULL_CIRCLE, 1,
// CoordFlags::Absolute) would, writing a dot wholly inside the clip
// rectangle of a 32-bit screen directly and passing anything else (every
// dot on an image, so that it drops the image's sprite runs) to
// DrawCircle; EndDots leaves lastPoint where the last such DrawCircle would
// have and releases the lock.  Nothing else is drawn or presented (no
// CopyPage) between BeginDots and EndDots: holding the lock keeps every
// row marked changed at BeginDots marked, so when all of them are, as
// after a frame's background, the dots do not look at the marks.
// Program's thread.
//
// What a run may outlive: a run is spent once EndDots has ended it, once
// the screen it was begun on is closed or replaced by SetScreenMode, and,
// for a run on an image, once any image is destroyed (the run cannot tell
// whether it was its own).  A run made without BeginDots (DotRun{}) or
// begun without a screen is spent from the start.  DrawDot on a spent run
// draws nothing, and EndDots on it changes nothing: not lastPoint, and not
// the lock count of a screen opened since, whose lock the run never took.
// A run whose image went away without the screen changing still releases
// its lock at EndDots.
struct DotRun {
  Image* target;
  uint8_t* origin;  // pixel (0, 0) of the clip rectangle
  intptr_t pitch;   // bytes from one row to the next
  // A dot is written directly when its centre lies on columns 1 .. xSpan
  // and rows 1 .. ySpan of the clip rectangle: its width and height less
  // 2, or 0 when no dot is.
  uint64_t xSpan, ySpan;
  uint8_t* dirtyRows;     // flag of the clip rectangle's first row, nullptr: no marking
  uint32_t leastColour;   // below it colours blend (SCREEN_ALPHA_PRIMITIVES), not stored
  bool locked;
  float lastX, lastY;     // lastPoint at EndDots
  int32_t serial;         // the screen's mode serial at BeginDots; 0 once spent
  uint32_t targetsFreed;  // TargetsFreed() when the run last found its target there
};
DotRun BeginDots(Image* target);
void EndDots(DotRun& run);
// Whether the run is not spent.  A run on the screen that sees only images
// freed since it last looked takes up the new count.
bool DotRunLive(DotRun& run);
void DrawDotOutOfLine(DotRun& run, float x, float y, Color colour);  // DrawDot's other way
inline void DrawDot(DotRun& run, float x, float y, Color colour) {
  // Stored first, x and y need not outlive the call of the other way.
  run.lastX = x;
  run.lastY = y;
  const uint64_t px = RoundToPositivePixel(x), py = RoundToPositivePixel(y);
  // While nothing has been freed since the run last looked, its target is
  // there: one compare per dot, the rest of the checks out of line.
  if (px - 1 < run.xSpan && py - 1 < run.ySpan && colour >= run.leastColour &&
      run.targetsFreed == TargetsFreed()) {
    UnsafeDrawDot32(run.origin + intptr_t(py) * run.pitch + intptr_t(px) * 4, run.pitch,
                    run.dirtyRows ? run.dirtyRows + py : nullptr, colour);
  } else {
    DrawDotOutOfLine(run, x, y, colour);
  }
}

}  // namespace fb
