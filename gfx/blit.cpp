#include "blit.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "blit_packed.h"
#include "spans.h"
#include "sprite_runs.h"
#include "../platform/runtime.h"
#include "../platform/screen.h"

namespace fb {

namespace {

int32_t Fail() {
  SetLastError(1);
  return 1;
}

// The table of the set the screen was opened with.  The screen's marks,
// not CpuFeatures, decide: the feature mask may have changed since, and
// the cache lives only as long as the screen (a new screen rebuilds the
// DrawContext and with it the cache).
const BlitTable* TableForScreen(PutMode mode, uint32_t screenFlags) {
  if (!(screenFlags & SCREEN_MARK_PACKED)) return PlainBlitTable(mode);
  if (screenFlags & SCREEN_MARK_AVX2) return Avx2BlitTable(mode);
  return Sse2BlitTable(mode);
}

// The routine that puts an image by its sprite runs, of the same set.
RunsRoutine RunsForScreen(uint32_t screenFlags, int bpp, bool clearAlpha) {
  if ((screenFlags & SCREEN_MARK_PACKED) && (screenFlags & SCREEN_MARK_AVX2))
    return Avx2RunsRoutine(bpp, clearAlpha);
  return PlainRunsRoutine(bpp, clearAlpha);
}

int64_t Clamp(int64_t v, int64_t hi) { return std::clamp<int64_t>(v, 0, hi); }

}  // namespace

const BlitTable* PackedBlitTable(PutMode mode) {
  return (CpuFeatures() & CPU_AVX2) ? Avx2BlitTable(mode) : Sse2BlitTable(mode);
}

namespace {

// The game's call, a sprite or the background: a whole 32-bit image in
// PutMode::Blend at absolute coordinates onto the shown page of the 32-bit
// screen, already selected (directSerial).  When the image lies wholly
// inside the clip rectangle it is drawn here with what the common steps
// would do; false when they must run.
bool PutWholeImageDirect(float x, float y, Image* image, int32_t alpha, int32_t param,
                         int32_t extra) {
  DrawContext* dc = threadDrawContext;
  const ScreenContext* screen = Screen();
  // ToPixel of a coordinate of 0.5 or more is x + 0.5 rounded down (see
  // RoundToPositivePixel); others go the common way, and so do corners
  // past 2^31, which no clip rectangle reaches.  NaN fails here.
  constexpr uint64_t FAR = uint64_t(1) << 31;
  const uint64_t ux = RoundToPositivePixel(x), uy = RoundToPositivePixel(y);
  if (!dc || !screen || dc->directSerial != screen->modeSerial || image->type != IMAGE_TYPE ||
      image->bpp != 4 || ux - 1 >= FAR || uy - 1 >= FAR)
    return false;
  const ClipRect& c = dc->clip;
  const int64_t px = int64_t(ux) + c.x, py = int64_t(uy) + c.y;
  const int64_t width = image->width, height = image->height;
  // An empty image (a header made by hand) draws nothing and marks no row.
  if (width == 0 || height == 0 || px + width > int64_t(c.x) + c.width ||
      py + height > int64_t(c.y) + c.height)
    return false;
  const BlitTable*& table = dc->blitCache[int(PutMode::Blend)];
  if (!table) table = TableForScreen(PutMode::Blend, screen->flags);
  // Opaque pixels become the image's at alpha 255: a sprite's runs draw it.
  const SpriteRuns* runs = (alpha & 0xFF) == 255 ? RunsOf(image) : nullptr;
  const uint8_t* from = ImagePixels(static_cast<const Image*>(image));
  uint8_t* to = PixelAddress(*dc, int(px), int(py));
  dc->lastPoint = {x, y};
  LockForDrawing(*dc);
  if (runs)
    RunsForScreen(screen->flags, 4, false)(*runs, from, to, 0, int(height), 0, int(width),
                                           int(image->pitch), dc->pitch);
  else
    table->byBpp[3](from, to, int(width), int(height), int(image->pitch), dc->pitch, alpha, param,
                    extra);
  // directSerial vouches for the shown page, and the clip rectangle lies
  // inside the screen.
  SetDirtyFlags(dc->dirtyRows + py, size_t(height));
  UnlockForDrawing(*dc);
  SetLastError(0);
  return true;
}

// An image put onto itself with source and destination sharing pixels
// (clipped already; the target is the image, so no row is marked).  It
// must read the pixels as they were before the call, as a copy would
// give them, whichever set runs and in whatever order its routines read.
// The rows of both rectangles stay inside the image's rows, so a
// destination row shares pixels only with the one source row on the same
// image row.  Walking the rows away from the way they move (bottom-up
// when the destination lies further on) reads each source row before any
// destination row covers it, and putting each row from a copy of it
// spares the row its own writes.
int32_t PutOntoItself(DrawContext& dc, BlitRoutine routine, const uint8_t* from, uint8_t* to,
                      int width, int height, int pitch, int bpp, int32_t alpha, int32_t param,
                      int32_t extra) {
  const size_t rowBytes = size_t(width) * size_t(bpp);
  const std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
  if (!row) return Fail();
  const bool bottomUp = to > from;
  LockForDrawing(dc);
  for (int i = 0; i < height; ++i) {
    const ptrdiff_t offset = ptrdiff_t(bottomUp ? height - 1 - i : i) * pitch;
    std::memcpy(row.get(), from + offset, rowBytes);
    routine(row.get(), to + offset, width, 1, pitch, pitch, alpha, param, extra);
  }
  UnlockForDrawing(dc);
  SetLastError(0);
  return 0;
}

// PutImage's common steps, for every call.
[[gnu::noinline]] int32_t PutImageSteps(Image* target, float x, float y, Image* image,
                                        int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t coordFlags, PutMode mode, int32_t alpha,
                                        int32_t param, int32_t extra) {
  ScreenContext* screen = Screen();
  DrawContext* context = GetDrawContext();
  if (!screen || !context || !image) return Fail();
  DrawContext& dc = *context;
  SelectTarget(dc, target);
  ChoosePixelRoutines(dc, 0xFF000000);

  // Coordinate flags: anything but 0..3 counts as 0.  The corners are
  // widened to 64 bits so that a relative corner cannot overflow.
  if (coordFlags < 0 || coordFlags > 3) coordFlags = 0;
  int64_t rx1 = x1, ry1 = y1, rx2 = x2, ry2 = y2;
  if (coordFlags & 1) {
    rx2 += rx1;
    ry2 += ry1;
  }
  if (coordFlags & 2) {
    x += dc.lastPoint.x;
    y += dc.lastPoint.y;
  }
  dc.lastPoint = {x, y};
  const PointI p = ToPixel(dc, x, y);

  // Only the full header form is produced in this system; anything else
  // is not an image we can read.
  if (image->type != IMAGE_TYPE) return Fail();
  const int imageBpp = int(image->bpp);
  const int64_t imageWidth = image->width, imageHeight = image->height;
  const int64_t pitch = image->pitch;

  // Modes without routines (1..5, 7, 8 and anything outside 0..9) fail
  // like a depth mismatch.  Alpha only exists from 1 byte to 4 bytes.
  const int32_t modeIndex = int32_t(mode);
  if (modeIndex < 0 || modeIndex >= PUT_MODE_COUNT) return Fail();
  if (mode == PutMode::Alpha) {
    if (imageBpp != 1 || dc.bpp != 4) return Fail();
  } else if (imageBpp != dc.bpp) {
    return Fail();
  }
  if (!dc.blitCache[modeIndex]) dc.blitCache[modeIndex] = TableForScreen(mode, screen->flags);
  const BlitTable* table = dc.blitCache[modeIndex];
  if (!table || dc.bpp < 1 || dc.bpp > 4 || !table->byBpp[dc.bpp - 1]) return Fail();
  const BlitRoutine routine = table->byBpp[dc.bpp - 1];

  // Source rectangle, inclusive corners clamped into the image; (sx, sy)
  // is its first pixel.
  const uint8_t* first = ImagePixels(static_cast<const Image*>(image));
  int64_t width = imageWidth, height = imageHeight, sx = 0, sy = 0;
  if (x1 != PUT_WHOLE_IMAGE) {
    if (rx1 > rx2) std::swap(rx1, rx2);
    if (ry1 > ry2) std::swap(ry1, ry2);
    rx1 = Clamp(rx1, imageWidth - 1);
    rx2 = Clamp(rx2, imageWidth - 1);
    ry1 = Clamp(ry1, imageHeight - 1);
    ry2 = Clamp(ry2, imageHeight - 1);
    width = rx2 - rx1 + 1;
    height = ry2 - ry1 + 1;
    sx = rx1;
    sy = ry1;
    first += ry1 * pitch + rx1 * imageBpp;
  }
  if (width <= 0 || height <= 0) {
    SetLastError(0);
    return 0;
  }

  // Clip against the target's clip rectangle: rows first, then columns.
  const ClipRect& c = dc.clip;
  int64_t px = p.x, py = p.y;
  if (px + width <= c.x || px >= int64_t(c.x) + c.width || py + height <= c.y ||
      py >= int64_t(c.y) + c.height) {
    SetLastError(0);
    return 0;
  }
  if (py < c.y) {
    first += (c.y - py) * pitch;
    sy += c.y - py;
    height -= c.y - py;
    py = c.y;
  }
  if (py + height > int64_t(c.y) + c.height) height = int64_t(c.y) + c.height - py;
  if (px < c.x) {
    first += (c.x - px) * imageBpp;
    sx += c.x - px;
    width -= c.x - px;
    px = c.x;
  }
  if (px + width > int64_t(c.x) + c.width) width = int64_t(c.x) + c.width - px;

  uint8_t* const to = PixelAddress(dc, int(px), int(py));
  if (target == image) {
    const ptrdiff_t apart = to - first, span = (height - 1) * pitch + width * imageBpp;
    if (apart > -span && apart < span)
      return PutOntoItself(dc, routine, first, to, int(width), int(height), int(pitch), imageBpp,
                           alpha, param, extra);
  }
  // A keyed copy of a sprite goes by its runs; an image put onto itself
  // has none (selecting it as the target dropped them) and went above.
  bool clearAlpha = false;
  const SpriteRuns* runs =
      target != image && IsKeyedCopy(mode, imageBpp, alpha, clearAlpha) ? RunsOf(image) : nullptr;
  LockForDrawing(dc);
  if (runs)
    RunsForScreen(screen->flags, imageBpp, clearAlpha)(*runs, first, to, int(sy), int(height),
                                                       int(sx), int(width), int(pitch), dc.pitch);
  else
    routine(first, to, int(width), int(height), int(pitch), dc.pitch, alpha, param, extra);
  MarkDirtyRows(dc, int(py), int(py + height - 1));
  UnlockForDrawing(dc);
  SetLastError(0);
  return 0;
}

}  // namespace

int32_t PutImage(Image* target, float x, float y, Image* image, int32_t x1, int32_t y1,
                 int32_t x2, int32_t y2, int32_t coordFlags, PutMode mode, int32_t alpha,
                 int32_t param, int32_t extra) {
  if (!target && image && x1 == PUT_WHOLE_IMAGE && coordFlags == 0 && mode == PutMode::Blend &&
      PutWholeImageDirect(x, y, image, alpha, param, extra))
    return 0;
  return PutImageSteps(target, x, y, image, x1, y1, x2, y2, coordFlags, mode, alpha, param,
                       extra);
}

}  // namespace fb
