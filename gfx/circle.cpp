// DrawCircle: whole ellipses scanned row by row, and arcs drawn as points.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "circle_internal.h"
#include "context.h"
#include "line_internal.h"
#include "primitives.h"
#include "../platform/screen.h"

namespace fb {

namespace {

// Beyond this radius in pixels the scan's 64-bit products (about
// rx * ry * ry) could overflow; no target is anywhere near that large, so
// such ellipses are not drawn.
constexpr float CIRCLE_MAX_RADIUS = float(1 << 20);

// 2 pi as the arc's angle sums use it, in single precision.
constexpr float TWO_PI = float(6.283185307179586);

// Row-done flags of a filled scan, one stamp per clip row.  A row is done
// when its stamp equals the scan's serial, so each scan starts with every
// row clear without touching the table: the game draws tens of thousands
// of tiny circles a frame, and clearing a flag per clip row each time
// would cost more than the circles.
struct RowStamps {
  std::vector<uint32_t> stamps;
  uint32_t serial = 0;
};

// Prepares the calling thread's stamps for a scan over rows clip rows.
uint32_t* BeginRowScan(int rows, uint32_t& serial) {
  thread_local RowStamps table;
  if (table.stamps.size() < size_t(rows)) table.stamps.resize(size_t(rows), 0);
  if (++table.serial == 0) {
    // After 2^32 scans old stamps could match again: start over.
    std::fill(table.stamps.begin(), table.stamps.end(), 0);
    table.serial = 1;
  }
  serial = table.serial;
  return table.stamps.data();
}

// One scan of a whole ellipse: spans on rows, clipped here.
struct EllipseScan {
  DrawContext& dc;
  uint32_t colour;
  bool filled;
  uint32_t* stamps;
  uint32_t serial;

  void Span(int y, int xl, int xr) {
    const ClipRect& c = dc.clip;
    if (y < c.y || y >= c.y + c.height) return;
    const int right = c.x + c.width - 1;
    if (!filled) {
      if (xl >= c.x && xl <= right) dc.pixel.PutPixel(dc, xl, y, colour);
      if (xr >= c.x && xr <= right) dc.pixel.PutPixel(dc, xr, y, colour);
      return;
    }
    if (xr < c.x || xl > right || xl > xr) return;
    uint32_t& stamp = stamps[y - c.y];
    if (stamp == serial) return;
    stamp = serial;
    xl = std::max(xl, c.x);
    xr = std::min(xr, right);
    dc.pixel.FillSpan(PixelAddress(dc, xl, y), colour, size_t(xr - xl + 1));
  }
};

// The rows a whole-ellipse scan reached, top to bottom.
struct RowRange {
  int upper, lower;
};

// Walks a whole ellipse with rx, ry > 0 by rows, outwards from the centre
// row, so each row's first span is its widest: span(y, xl, xr) for the
// centre row, then for each step the row below and the row above.  Spans
// may be empty (xl > xr) and may repeat a row.
template <typename SpanFn>
RowRange WalkEllipse(int cx, int cy, float rx, float ry, SpanFn&& span) {
  int left = int(double(cx) - rx), right = int(double(cx) + rx);
  int lower = cy, upper = cy;
  span(cy, left, right);
  const int64_t r2 = int64_t(double(ry) * ry);
  const int64_t a2 = 2 * int64_t(double(rx) * rx);
  const int64_t b2 = 2 * r2;
  int32_t n = int32_t(rx);
  if (n > 0) {
    int64_t d = int64_t(double(rx) * double(r2));
    int64_t e = 2 * d;
    int64_t f = 0;
    for (;;) {
      bool nextRowOnly = false;
      if (d > 0) {
        ++lower;
        --upper;
        f += a2;
        d -= f;
        nextRowOnly = d > 0;
      }
      if (!nextRowOnly) {
        --n;
        ++left;
        --right;
        e -= b2;
        d += e;
      }
      span(lower, left, right);
      span(upper, left, right);
      if (n <= 0) break;
    }
  }
  return {upper, lower};
}

}  // namespace

// The row-done stamps keep a filled ellipse from writing a pixel twice,
// which keeps translucent fills even.
void ScanEllipse(DrawContext& dc, int cx, int cy, float rx, float ry, uint32_t colour,
                 bool filled) {
  EllipseScan scan{dc, colour, filled, nullptr, 0};
  scan.stamps = BeginRowScan(dc.clip.height, scan.serial);

  ScreenLock();
  RowRange rows{cy, cy};
  if (ry == 0) {
    scan.filled = true;  // a flat ellipse is a line, always drawn whole
    scan.Span(cy, int(double(cx) - rx), int(double(cx) + rx));
  } else {
    rows = WalkEllipse(cx, cy, rx, ry, [&scan](int y, int xl, int xr) { scan.Span(y, xl, xr); });
  }
  // Rows upper..lower are the ones the scan reached.  They can reach past
  // cy +- ry when rx is small, so they, not the radius, bound the marking.
  MarkDirtyRows(dc, std::max(rows.upper, dc.clip.y),
                std::min(rows.lower, dc.clip.y + dc.clip.height - 1));
  ScreenUnlock(1, 0);
}

namespace {

// Largest radius, in pixels along either axis, that DrawSmallDisc takes.
constexpr float SMALL_DISC_RADIUS = 8;
constexpr int SMALL_DISC_ROWS = 2 * int(SMALL_DISC_RADIUS) + 3;

// A small filled disc as the general scan fills it, in spans relative to
// the centre pixel.  The scan truncates cx - rx towards zero; it is run at
// a centre far enough from 0 that this is flooring, which makes the spans
// the same at every centre whose disc starts at column 0 or later.
struct DiscShape {
  float rx = 0, ry = 0;  // what was built (0, 0: nothing yet)
  bool small = false;    // false: the shape is not one DrawSmallDisc takes
  int spanCount = 0;
  struct Span {
    int dy, xl, xr;
  } spans[SMALL_DISC_ROWS];
  int left = 0, right = 0;    // outermost columns of the spans
  int upper = 0, lower = 0;   // rows the scan reached, the dirty ones
};

void BuildDiscShape(DiscShape& shape, float rx, float ry) {
  shape.rx = rx;
  shape.ry = ry;
  shape.small = false;
  shape.spanCount = 0;
  if (!(rx > 0 && rx <= SMALL_DISC_RADIUS && ry > 0 && ry <= SMALL_DISC_RADIUS)) return;
  constexpr int centre = 2 * SMALL_DISC_ROWS;
  bool done[2 * centre + 1] = {};
  bool fits = true;
  const RowRange rows = WalkEllipse(centre, centre, rx, ry, [&](int y, int xl, int xr) {
    // The filled scan's rule: an empty span leaves its row open; the first
    // span that is not empty fills it.
    if (y < 0 || y > 2 * centre) {
      fits = false;
      return;
    }
    if (xl > xr || done[y]) return;
    done[y] = true;
    if (shape.spanCount == SMALL_DISC_ROWS) {
      fits = false;
      return;
    }
    shape.spans[shape.spanCount++] = {y - centre, xl - centre, xr - centre};
  });
  if (!fits || shape.spanCount == 0) return;
  shape.left = shape.right = shape.spans[0].xl;
  for (int i = 0; i < shape.spanCount; ++i) {
    shape.left = std::min(shape.left, shape.spans[i].xl);
    shape.right = std::max(shape.right, shape.spans[i].xr);
  }
  shape.upper = rows.upper - centre;
  shape.lower = rows.lower - centre;
  shape.small = true;
}

template <typename Pixel>
void FillDisc(const DrawContext& dc, const DiscShape& shape, int cx, int cy, uint32_t value) {
  uint8_t* const* rows = dc.rows.data();
  for (int i = 0; i < shape.spanCount; ++i) {
    const DiscShape::Span s = shape.spans[i];
    Pixel* p = reinterpret_cast<Pixel*>(rows[cy + s.dy]) + cx;
    for (int x = s.xl; x <= s.xr; ++x) p[x] = Pixel(value);
  }
}

// A small whole filled disc wholly inside the clip rectangle.  Its spans
// come from the general scan, built once per size; here they are written
// directly, with the pixels, dirty rows and lock of the scan.  (x, y) is
// the centre after the coordinate flags.  Returns false, having done
// nothing, when the general path must draw it.
[[gnu::noinline]] bool DrawSmallDisc(DrawContext& dc, float x, float y, float rx, float ry,
                                     uint32_t value) {
  thread_local constinit DiscShape shape{};
  if (rx != shape.rx || ry != shape.ry) BuildDiscShape(shape, rx, ry);
  if (!shape.small) return false;
  // ToPixel of a coordinate of 0.5 or more is floor(v + 0.5), exact in
  // double.  A centre on row or column 0 goes the general way, like
  // anything reaching past the clip rectangle; NaN fails here too.
  const ClipRect& c = dc.clip;
  const double fx = double(x) + 0.5, fy = double(y) + 0.5;
  if (!(fx >= std::max(1, -shape.left) && fx < double(c.width - shape.right) &&
        fy >= std::max(1, -shape.upper) && fy < double(c.height - shape.lower)))
    return false;
  const int cx = int(fx) + c.x, cy = int(fy) + c.y;
  LockForDrawing(dc);
  uint8_t* const* rows = dc.rows.data();
  switch (dc.routineKey) {
    case 4: FillDisc<uint32_t>(dc, shape, cx, cy, value); break;
    case 2: FillDisc<uint16_t>(dc, shape, cx, cy, value); break;
    case 1: FillDisc<uint8_t>(dc, shape, cx, cy, value); break;
    default:  // translucent colours blend through the pixel routines
      for (int i = 0; i < shape.spanCount; ++i) {
        const DiscShape::Span& s = shape.spans[i];
        dc.pixel.FillSpan(rows[cy + s.dy] + size_t(cx + s.xl) * size_t(dc.bpp), value,
                          size_t(s.xr - s.xl + 1));
      }
  }
  // The clip lies inside the target, so the disc's rows are screen rows.
  if (!dc.target && dc.workPage == dc.screen->visiblePage)
    std::memset(dc.dirtyRows + cy + shape.upper, 1, size_t(shape.lower - shape.upper + 1));
  UnlockForDrawing(dc);
  return true;
}

// The explosions' dot on the shown page of the 32-bit screen, which
// callers have checked it lies inside, taking the lock for it.
[[gnu::noinline]] void DrawDot32Locking(DrawContext& dc, int cx, int cy, uint32_t value) {
  ScreenLock();
  UnsafeDrawDot32(PixelAddress(dc, cx, cy), dc.pitch, dc.dirtyRows + cy, value);
  ScreenUnlock(1, 0);
}

// The arc's point at angle a, relative to the centre, y upwards.
PointI ArcOffset(float a, float rx, float ry) {
  float ox = float(std::cos(double(a)) * rx);
  float oy = float(std::sin(double(a)) * ry);
  return {RoundToPixel(ox), RoundToPixel(oy)};
}

[[gnu::noinline]] void DrawArc(DrawContext& dc, int cx, int cy, float rx, float ry, float start, float end,
             uint32_t colour) {
  if (!std::isfinite(start) || !std::isfinite(end)) return;
  // A negative angle also draws the radius to its point.
  if (start < 0) {
    start = -start;
    PointI o = ArcOffset(start, rx, ry);
    DrawLinePixels(dc, cx, cy, cx + o.x, cy - o.y, colour, LINE_STYLE_SOLID);
  }
  if (end < 0) {
    end = -end;
    PointI o = ArcOffset(end, rx, ry);
    DrawLinePixels(dc, cx, cy, cx + o.x, cy - o.y, colour, LINE_STYLE_SOLID);
  }
  // Bring end within one turn after start.  Angles so large that adding
  // a turn no longer changes them in single precision cannot be brought
  // together: such an arc is not drawn rather than looped on forever.
  while (start > end) {
    if (end + TWO_PI == end) return;
    end += TWO_PI;
  }
  while (end - start > TWO_PI) {
    if (start + TWO_PI == start) return;
    start += TWO_PI;
  }

  const float step = float(1.0 / (std::sqrt(double(rx)) * std::sqrt(double(ry)) * 1.5));
  const ClipRect& c = dc.clip;
  int top = INT32_MAX, bottom = INT32_MIN;
  ScreenLock();
  // The point count is bounded as well: a step too small to move a large
  // angle would otherwise never reach the end.
  int guard = 1 << 25;
  for (float a = start; a < end + step / 2 && guard > 0; a += step, --guard) {
    PointI o = ArcOffset(a, rx, ry);
    int x = cx + o.x, y = cy - o.y;
    if (x < c.x || x >= c.x + c.width || y < c.y || y >= c.y + c.height) continue;
    dc.pixel.PutPixel(dc, x, y, colour);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
  if (top <= bottom) MarkDirtyRows(dc, top, bottom);
  ScreenUnlock(1, 0);
}

// Everything but the dots, once the context is set up and the coordinate
// flags applied: small discs, whole ellipses by the scan, arcs as points.
[[gnu::noinline]] void DrawEllipse(DrawContext& dc, float x, float y, float radius, float aspect,
                                   float start, float end, int32_t fill, uint32_t value) {
  if (aspect == 0) aspect = dc.screen->aspect;
  float rx = radius, ry = radius;
  if (aspect > 1)
    rx = radius / aspect;
  else
    ry = radius * aspect;
  const bool whole = start == 0 && end == FULL_CIRCLE;
  if (whole && fill != 0 && DrawSmallDisc(dc, x, y, rx, ry, value)) return;
  const PointI centre = ToPixel(dc, x, y);
  if (!(std::fabs(rx) <= CIRCLE_MAX_RADIUS && std::fabs(ry) <= CIRCLE_MAX_RADIUS)) return;
  if (whole)
    ScanEllipse(dc, centre.x, centre.y, rx, ry, value, fill != 0);
  else
    DrawArc(dc, centre.x, centre.y, rx, ry, start, end, value);
}

[[gnu::noinline]] void DrawCircleSteps(Image* target, float x, float y, float radius,
                                       Color colour, float aspect, float start, float end,
                                       int32_t fill, int32_t coordFlags) {
  if (!(radius > 0)) return;
  DrawContext* dc = GetDrawContext();
  if (!dc) return;
  SelectTarget(*dc, target);
  const uint32_t value = ChooseColor(*dc, coordFlags, colour);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x, y);
  DrawEllipse(*dc, x, y, radius, aspect, start, end, fill, value);
}

}  // namespace

// Everything DrawCircle does not draw inline.  The dot is recognised here
// too, for calls without the lock held, and drawn without the common steps.
void DrawCircleOutOfLine(Image* target, float x, float y, float radius, Color colour,
                         float aspect, float start, float end, int32_t fill, int32_t coordFlags) {
  DrawContext* dc = threadDrawContext;
  const ScreenContext* screen = Screen();
  if (!IsScreenDot(dc, screen, target, radius, colour, aspect, start, end, fill, coordFlags))
    return DrawCircleSteps(target, x, y, radius, colour, aspect, start, end, fill, coordFlags);

  dc->lastPoint = {x, y};
  // ToPixel of a coordinate of 0.5 or more is x + 0.5 rounded down.
  const uint64_t ux = RoundToPositivePixel(x), uy = RoundToPositivePixel(y);
  if (!(ux - 1 < dc->dotXSpan && uy - 1 < dc->dotYSpan))
    return DrawEllipse(*dc, x, y, radius, aspect, start, end, fill, colour);
  const ClipRect& c = dc->clip;
  const int px = int(ux) + c.x, py = int(uy) + c.y;
  if (screen->lockCount <= 0) return DrawDot32Locking(*dc, px, py, colour);
  // directSerial vouches for 4 bytes per pixel.
  UnsafeDrawDot32(dc->rows[size_t(py)] + 4 * size_t(px), dc->pitch, dc->dirtyRows + py, colour);
}

DotRun BeginDots(Image* target) {
  DotRun run{target, nullptr, 0, 0, 0, nullptr, 0, false, 0, 0, 0, TargetsFreed()};
  DrawContext* dc = GetDrawContext();
  if (!dc) return run;
  SelectTarget(*dc, target);
  ScreenLock();
  run.locked = true;
  run.serial = dc->modeSerial;
  run.lastX = dc->lastPoint.x;
  run.lastY = dc->lastPoint.y;
  // Other depths and aspects draw every dot through DrawCircle, and so do
  // images: each dot is then a drawing operation on the image, which drops
  // sprite runs made for it meanwhile (image.h).
  if (dc->target || dc->bpp != 4 || FloatBits(dc->screen->aspect) != FloatBits(1.0f)) return run;
  const ClipRect& c = dc->clip;
  run.origin = PixelAddress(*dc, c.x, c.y);
  run.pitch = dc->pitch;
  run.xSpan = uint64_t(std::max(0, c.width - 2));
  run.ySpan = uint64_t(std::max(0, c.height - 2));
  // Nothing clears a mark while the run holds the lock: once every row of
  // the clip rectangle is marked, as after a frame's background, its dots
  // need not look at the marks.
  uint8_t* const marks = dc->dirtyRows + c.y;
  if (!dc->target && dc->workPage == dc->screen->visiblePage &&
      std::memchr(marks, 0, size_t(c.height)))
    run.dirtyRows = marks;
  run.leastColour = dc->dotLeastColour;
  return run;
}

bool DotRunLive(DotRun& run) {
  const ScreenContext* screen = Screen();
  // The serial tells a screen opened since from the run's own.
  if (!screen || screen->modeSerial != run.serial) return false;
  const uint32_t freed = TargetsFreed();
  if (run.targetsFreed == freed) return true;
  // With the screen still the run's own, only images were freed; one of
  // them may have been the run's.
  if (run.target) return false;
  run.targetsFreed = freed;
  return true;
}

namespace {

// A dot of a run on the 32-bit screen that the direct way leaves: its
// cross reaches past the clip rectangle or lies outside it, as a dying
// explosion's dots mostly do.  What the scan leaves for it: the pixels of
// the cross inside the clip rectangle, and the marks of the three rows it
// reaches where they lie inside, drawn or not.
void DrawClippedDot(const DotRun& run, const ClipRect& c, float x, float y, uint32_t colour) {
  // Relative to the clip rectangle, as run.origin and run.dirtyRows are.
  const int cx = RoundToPixel(x), cy = RoundToPixel(y);
  for (int row = std::max(cy - 1, 0); row <= std::min(cy + 1, c.height - 1); ++row) {
    auto* pixels = reinterpret_cast<uint32_t*>(run.origin + intptr_t(row) * run.pitch);
    const int reach = row == cy ? 1 : 0;
    for (int col = std::max(cx - reach, 0); col <= std::min(cx + reach, c.width - 1); ++col)
      pixels[col] = colour;
    if (run.dirtyRows) run.dirtyRows[row] = 1;
  }
}

}  // namespace

void DrawDotOutOfLine(DotRun& run, float x, float y, Color colour) {
  if (!DotRunLive(run)) return;
  // The direct way was set up (origin), and the context still has the
  // screen as its target with the storing routines.
  const DrawContext* dc = threadDrawContext;
  if (run.origin && colour >= run.leastColour && dc && dc->directSerial == run.serial)
    return DrawClippedDot(run, dc->clip, x, y, colour);
  DrawCircle(run.target, x, y, 1, colour, 0, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
}

void EndDots(DotRun& run) {
  const ScreenContext* screen = Screen();
  // The lock was taken on the run's screen, and only there is it released.
  if (screen && screen->modeSerial == run.serial) {
    if (DotRunLive(run)) GetDrawContext()->lastPoint = {run.lastX, run.lastY};
    if (run.locked) ScreenUnlock(1, 0);
  }
  // Spent: no dot takes the direct way, and the others find no screen.
  run.locked = false;
  run.serial = 0;
  run.xSpan = run.ySpan = 0;
}

}  // namespace fb
