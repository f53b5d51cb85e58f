// DrawCircle: whole ellipses scanned row by row, and arcs drawn as points.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

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

// The whole ellipse by rows, outwards from the centre row, so each row's
// first span is its widest; the row-done stamps keep a filled ellipse from
// writing a pixel twice, which keeps translucent fills even.
[[gnu::noinline]] void ScanEllipse(DrawContext& dc, int cx, int cy, float rx, float ry, uint32_t colour,
                 bool filled) {
  EllipseScan scan{dc, colour, filled, nullptr, 0};
  scan.stamps = BeginRowScan(dc.clip.height, scan.serial);

  ScreenLock();
  int left = int(double(cx) - rx), right = int(double(cx) + rx);
  int lower = cy, upper = cy;
  if (ry == 0) {
    scan.filled = true;  // a flat ellipse is a line, always drawn whole
    scan.Span(cy, left, right);
  } else {
    scan.Span(cy, left, right);
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
        scan.Span(lower, left, right);
        scan.Span(upper, left, right);
        if (n <= 0) break;
      }
    }
  }
  // Rows upper..lower are the ones the scan reached.  They can reach past
  // cy +- ry when rx is small, so they, not the radius, bound the marking.
  MarkDirtyRows(dc, std::max(upper, dc.clip.y), std::min(lower, dc.clip.y + dc.clip.height - 1));
  ScreenUnlock(1, 0);
}

// A filled circle of radius 1 scans to a five-pixel cross.  Explosions
// draw tens of thousands of them a frame, so when the cross lies wholly
// inside the clip rectangle it is written directly, with the same pixels
// and dirty rows as the scan.  Returns false when the scan must do it.
bool DrawUnitDisc(DrawContext& dc, int cx, int cy, uint32_t colour) {
  const ClipRect& c = dc.clip;
  if (cx <= c.x || cx >= c.x + c.width - 1 || cy <= c.y || cy >= c.y + c.height - 1) return false;
  LockForDrawing(dc);
  if (dc.routineKey == 4) {
    // Plain 32-bit stores: what PutPixel does, without five indirect calls.
    uint32_t* row = reinterpret_cast<uint32_t*>(PixelAddress(dc, cx, cy));
    row[-1] = row[0] = row[1] = colour;
    reinterpret_cast<uint32_t*>(PixelAddress(dc, cx, cy - 1))[0] = colour;
    reinterpret_cast<uint32_t*>(PixelAddress(dc, cx, cy + 1))[0] = colour;
  } else {
    auto put = dc.pixel.PutPixel;
    put(dc, cx - 1, cy, colour);
    put(dc, cx, cy, colour);
    put(dc, cx + 1, cy, colour);
    put(dc, cx, cy + 1, colour);
    put(dc, cx, cy - 1, colour);
  }
  if (!dc.target && dc.workPage == dc.screen->visiblePage)
    dc.dirtyRows[cy - 1] = dc.dirtyRows[cy] = dc.dirtyRows[cy + 1] = 1;
  UnlockForDrawing(dc);
  return true;
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

}  // namespace

void DrawCircle(Image* target, float x, float y, float radius, Color colour, float aspect,
                float start, float end, int32_t fill, int32_t coordFlags) {
  if (!(radius > 0)) return;
  DrawContext* dc = GetDrawContext();
  if (!dc) return;
  SelectTarget(*dc, target);
  uint32_t value = ChooseColor(*dc, coordFlags, colour);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x, y);
  PointI centre = ToPixel(*dc, x, y);

  if (aspect == 0) aspect = dc->screen->aspect;
  float rx = radius, ry = radius;
  if (aspect > 1)
    rx = radius / aspect;
  else
    ry = radius * aspect;
  if (!(std::fabs(rx) <= CIRCLE_MAX_RADIUS && std::fabs(ry) <= CIRCLE_MAX_RADIUS)) return;

  if (start == 0 && end == FULL_CIRCLE) {
    if (fill != 0 && rx == 1.0f && ry == 1.0f && DrawUnitDisc(*dc, centre.x, centre.y, value)) return;
    ScanEllipse(*dc, centre.x, centre.y, rx, ry, value, fill != 0);
  }
  else
    DrawArc(*dc, centre.x, centre.y, rx, ry, start, end, value);
}

}  // namespace fb
