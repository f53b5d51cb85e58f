// SetPixel, lines and boxes.  Circles are in gfx/circle.cpp.
#include "primitives.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "context.h"
#include "line_internal.h"
#include "../platform/screen.h"

namespace fb {

namespace {

// The rotating bit of a line style: it starts at 0x8000 and moves one
// place right after every pixel position, drawn or not, wrapping from
// 0x0001 to 0x8000.
struct StyleWalk {
  uint32_t style;
  uint32_t bit = 0x8000;

  // Whether the current position is drawn; then moves to the next one.
  bool Next() {
    bool on = (style & bit) != 0;
    bit = bit == 1 ? 0x8000 : bit >> 1;
    return on;
  }
  // Passes over count positions without drawing them.
  void Skip(int64_t count) {
    unsigned n = unsigned(count % 16);
    bit = ((bit >> n) | (bit << (16 - n))) & 0xFFFF;
  }
};

uint32_t Reverse16(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 16; ++i)
    if (v & (1u << i)) r |= 0x8000u >> i;
  return r;
}

bool InsideClip(const ClipRect& c, int x, int y) {
  return x >= c.x && y >= c.y && int64_t(x) < int64_t(c.x) + c.width &&
         int64_t(y) < int64_t(c.y) + c.height;
}

// Outcode bits of the line clipper.
constexpr int OUT_LEFT = 1, OUT_RIGHT = 2, OUT_BELOW = 4, OUT_ABOVE = 8;

int Outcode(const ClipRect& c, int x, int y) {
  int code = 0;
  if (x < c.x) code |= OUT_LEFT;
  else if (int64_t(x) >= int64_t(c.x) + c.width) code |= OUT_RIGHT;
  if (y < c.y) code |= OUT_ABOVE;
  else if (int64_t(y) >= int64_t(c.y) + c.height) code |= OUT_BELOW;
  return code;
}

// Truncation towards zero.  The clipper only computes points on the
// segment between two ends already in int range, but a saturating
// conversion keeps even a rounding slip defined.
int TruncToInt(long double v) {
  constexpr long double lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  if (!(v > lo)) return std::numeric_limits<int>::min();
  if (v >= hi) return std::numeric_limits<int>::max();
  return int(v);
}

// Moves the ends onto the clip rectangle.  Returns false when the line
// lies wholly outside.  The ends may come back exchanged: an end is only
// ever clipped as the first one.
bool ClipLine(const ClipRect& c, int& x1, int& y1, int& x2, int& y2) {
  // Each round settles one side of one end; a handful of rounds always
  // suffices, and the bound keeps a degenerate rectangle from looping.
  for (int round = 0; round < 16; ++round) {
    int code1 = Outcode(c, x1, y1), code2 = Outcode(c, x2, y2);
    if ((code1 | code2) == 0) return true;
    if (code1 & code2) return false;
    if (code1 == 0) {
      std::swap(x1, x2);
      std::swap(y1, y2);
      std::swap(code1, code2);
    }
    // Extended precision keeps the slope of long lines exact enough
    // that the moved end stays on the pixel the line crosses.
    long double m = x1 == x2 ? 1.0L : (long double)(y2 - y1) / (long double)(x2 - x1);
    if (code1 & OUT_LEFT) {
      y1 = TruncToInt(y1 + m * ((long double)c.x - x1));
      x1 = c.x;
    } else if (code1 & OUT_RIGHT) {
      int x = c.x + c.width - 1;
      y1 = TruncToInt(y1 + m * ((long double)x - x1));
      x1 = x;
    } else if (code1 & OUT_ABOVE) {
      // A horizontal line above the rectangle shares the bit with its
      // other end and never gets here, so m is not 0.
      if (x1 != x2) x1 = TruncToInt(x1 + ((long double)c.y - y1) / m);
      y1 = c.y;
    } else {
      int y = c.y + c.height - 1;
      if (x1 != x2) x1 = TruncToInt(x1 + ((long double)y - y1) / m);
      y1 = y;
    }
  }
  return false;
}

// Draws a clipped line.  Callers clip and hold the lock.
void UnsafeDrawLine(DrawContext& dc, int x1, int y1, int x2, int y2, uint32_t colour,
                    uint32_t style) {
  StyleWalk walk{style};
  if (x1 == x2 || y1 == y2) {
    // Straight lines are drawn from the upper or left end.  Walking them
    // backwards with the style reversed and its start moved to the other
    // end draws the same pixels as walking from the first end given.
    bool vertical = x1 == x2;
    if (vertical ? y1 > y2 : x1 > x2) {
      int length = vertical ? y1 - y2 + 1 : x1 - x2 + 1;
      std::swap(x1, x2);
      std::swap(y1, y2);
      walk.style = Reverse16(style);
      walk.bit = 1u << ((length - 1) & 15);
    }
    if (vertical) {
      for (int y = y1; y <= y2; ++y)
        if (walk.Next()) dc.pixel.PutPixel(dc, x1, y, colour);
    } else if (style == LINE_STYLE_SOLID) {
      dc.pixel.FillSpan(PixelAddress(dc, x1, y1), colour, size_t(x2 - x1 + 1));
    } else {
      for (int x = x1; x <= x2; ++x)
        if (walk.Next()) dc.pixel.PutPixel(dc, x, y1, colour);
    }
    return;
  }

  // Bresenham from the first end; a tie (e = 0) steps the minor axis.
  int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
  int sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
  bool xMajor = dx >= dy;
  int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  int64_t e = 2 * int64_t(minor) - major;
  int x = x1, y = y1;
  for (int i = 0;; ++i) {
    if (walk.Next()) dc.pixel.PutPixel(dc, x, y, colour);
    if (e >= 0) {
      if (xMajor) y += sy;
      else x += sx;
      e -= 2 * int64_t(major);
    }
    if (i == major) break;
    e += 2 * int64_t(minor);
    if (xMajor) x += sx;
    else y += sy;
  }
}

// The outline's edges, drawn in the order bottom, top, right, left.  The
// style runs on over the edges as if each were drawn whole, clipped or not.
void UnsafeDrawOutline(DrawContext& dc, int x1, int y1, int x2, int y2, int xs, int xe, int ys,
                       int ye, uint32_t colour, uint32_t style) {
  const ClipRect& c = dc.clip;
  StyleWalk walk{style};
  const int64_t width = int64_t(x2) - x1 + 1, height = int64_t(y2) - y1 + 1;

  auto horizontal = [&](int y) {
    if (y < c.y || int64_t(y) >= int64_t(c.y) + c.height) {
      walk.Skip(width);
      return;
    }
    walk.Skip(int64_t(xs) - x1);
    if (style == LINE_STYLE_SOLID) {
      dc.pixel.FillSpan(PixelAddress(dc, xs, y), colour, size_t(xe - xs + 1));
      walk.Skip(int64_t(xe) - xs + 1);
    } else {
      for (int x = xs; x <= xe; ++x)
        if (walk.Next()) dc.pixel.PutPixel(dc, x, y, colour);
    }
    walk.Skip(int64_t(x2) - xe);
  };
  auto vertical = [&](int x) {
    if (x < c.x || int64_t(x) >= int64_t(c.x) + c.width) {
      walk.Skip(height);
      return;
    }
    walk.Skip(int64_t(ys) - y1);
    for (int y = ys; y <= ye; ++y)
      if (walk.Next()) dc.pixel.PutPixel(dc, x, y, colour);
    walk.Skip(int64_t(y2) - ye);
  };

  horizontal(y2);
  horizontal(y1);
  vertical(x2);
  vertical(x1);
}

void DrawBox(DrawContext& dc, int x1, int y1, int x2, int y2, uint32_t colour, int32_t boxMode,
             uint32_t style) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const ClipRect& c = dc.clip;
  const int right = c.x + c.width - 1, bottom = c.y + c.height - 1;
  if (x2 < c.x || y2 < c.y || x1 > right || y1 > bottom) return;
  const int xs = std::max(x1, c.x), xe = std::min(x2, right);
  const int ys = std::max(y1, c.y), ye = std::min(y2, bottom);

  ScreenLock();
  if (boxMode == BOX_MODE_FILLED) {
    for (int y = ys; y <= ye; ++y)
      dc.pixel.FillSpan(PixelAddress(dc, xs, y), colour, size_t(xe - xs + 1));
  } else {
    UnsafeDrawOutline(dc, x1, y1, x2, y2, xs, xe, ys, ye, colour, style);
  }
  MarkDirtyRows(dc, ys, ye);
  ScreenUnlock(1, 0);
}

}  // namespace

void DrawLinePixels(DrawContext& dc, int x1, int y1, int x2, int y2, uint32_t colour,
                    uint32_t style) {
  if (!ClipLine(dc.clip, x1, y1, x2, y2)) return;
  ScreenLock();
  UnsafeDrawLine(dc, x1, y1, x2, y2, colour, style);
  MarkDirtyRows(dc, std::min(y1, y2), std::max(y1, y2));
  ScreenUnlock(1, 0);
}

void SetPixel(Image* target, float x, float y, Color colour, int32_t coordFlags,
              int32_t useBackground) {
  // The game's bullets and dying dots: a colour stored as it is, at
  // absolute coordinates, onto the shown page of the 32-bit screen already
  // selected (directSerial; see DrawCircle), inside the clip rectangle.
  // The common steps would do the same.
  // Column and row 0 go the common way, like everything outside.
  DrawContext* dc = threadDrawContext;
  const ScreenContext* screen = Screen();
  const uint64_t ux = RoundToPositivePixel(x), uy = RoundToPositivePixel(y);
  if (dc && screen && !target && coordFlags == CoordFlags::Absolute &&
      dc->directSerial == screen->modeSerial && colour >= dc->dotLeastColour &&
      ux - 1 < uint64_t(std::max(0, dc->clip.width - 1)) &&
      uy - 1 < uint64_t(std::max(0, dc->clip.height - 1))) {
    dc->lastPoint = {x, y};
    const int px = int(ux) + dc->clip.x, py = int(uy) + dc->clip.y;
    LockForDrawing(*dc);
    reinterpret_cast<uint32_t*>(dc->rows[size_t(py)])[px] = colour;
    dc->dirtyRows[py] = 1;
    UnlockForDrawing(*dc);
    return;
  }
  dc = GetDrawContext();
  if (!dc) return;
  SelectTarget(*dc, target);
  uint32_t value = ChooseColor(*dc, coordFlags, colour, useBackground != 0);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x, y);
  PointI p = ToPixel(*dc, x, y);
  if (!InsideClip(dc->clip, p.x, p.y)) return;
  LockForDrawing(*dc);
  dc->pixel.PutPixel(*dc, p.x, p.y, value);
  MarkDirtyRows(*dc, p.y, p.y);
  UnlockForDrawing(*dc);
}

void DrawLine(Image* target, float x1, float y1, float x2, float y2, Color colour,
              int32_t boxMode, int32_t style, int32_t coordFlags) {
  DrawContext* dc = GetDrawContext();
  if (!dc) return;
  SelectTarget(*dc, target);
  uint32_t value = ChooseColor(*dc, coordFlags, colour);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x1, y1, x2, y2);
  PointI a = ToPixel(*dc, x1, y1), b = ToPixel(*dc, x2, y2);
  uint32_t lineStyle = uint32_t(style) & 0xFFFF;
  if (boxMode == BOX_MODE_LINE)
    DrawLinePixels(*dc, a.x, a.y, b.x, b.y, value, lineStyle);
  else
    DrawBox(*dc, a.x, a.y, b.x, b.y, value, boxMode, lineStyle);
}

}  // namespace fb
