// DrawText: a string at a pixel position, ink only, clipped to the target.
// The text screen (PrintText and its cells) is in gfx/text_screen.cpp.
#include "gfx/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gfx/context.h"
#include "platform/runtime.h"
#include "platform/screen.h"

namespace fb {

namespace {

int32_t Result(int32_t error) {
  SetLastError(error);
  return error;
}

// Draws the text in the screen's built-in font with its first character's
// top-left corner at p.  Clear glyph bits leave the target as it was.
void DrawBuiltInText(DrawContext& dc, const Font& font, PointI p, const char* text,
                     uint32_t colour) {
  const ClipRect& c = dc.clip;
  const int64_t w = font.width, h = font.height;
  const int64_t count = int64_t(std::strlen(text));
  const int64_t clipRight = int64_t(c.x) + c.width, clipBottom = int64_t(c.y) + c.height;
  if (p.x + count * w <= c.x || p.x >= clipRight || p.y + h <= c.y || p.y >= clipBottom) return;

  const int firstRow = int(std::max<int64_t>(0, c.y - int64_t(p.y)));
  const int lastRow = int(std::min<int64_t>(h - 1, clipBottom - 1 - p.y));
  const int bytesPerRow = (font.width + 7) / 8;
  const size_t glyphBytes = size_t(h) * size_t(bytesPerRow);

  int64_t i = 0, x = p.x;
  if (x < c.x) {
    // Whole characters left of the clip are skipped without a look.
    int64_t skipped = (c.x - x) / w;
    i += skipped;
    x += skipped * w;
  }
  for (; i < count && x < clipRight; ++i, x += w) {
    if (x + w <= c.x) continue;
    const uint8_t* glyph = font.glyphs + size_t(uint8_t(text[i])) * glyphBytes;
    const int kFirst = int(std::max<int64_t>(0, c.x - x));
    const int kLast = int(std::min<int64_t>(w - 1, clipRight - 1 - x));
    for (int r = firstRow; r <= lastRow; ++r) {
      const uint8_t* bits = glyph + size_t(r) * size_t(bytesPerRow);
      for (int k = kFirst; k <= kLast; ++k)
        if ((bits[k >> 3] >> (k & 7)) & 1) dc.pixel.PutPixel(dc, int(x) + k, p.y + r, colour);
    }
  }
  MarkDirtyRows(dc, p.y + firstRow, p.y + lastRow);
}

}  // namespace

int32_t DrawText(Image* target, float x, float y, int32_t coordFlags, const char* text,
                 Color colour, Image* font, int32_t mode, int32_t blitter, int32_t alpha,
                 int32_t param) {
  if (!text) return Result(1);
  DrawContext* dc = GetDrawContext();
  if (!dc || !*text) return Result(0);
  (void)mode, (void)blitter, (void)alpha, (void)param;
  if (font) return Result(1);

  SelectTarget(*dc, target);
  uint32_t value = ChooseColor(*dc, coordFlags, colour);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x, y);
  PointI p = ToPixel(*dc, x, y);
  ScreenLock();
  DrawBuiltInText(*dc, *Screen()->font, p, text, value);
  ScreenUnlock(1, 0);
  return Result(0);
}

}  // namespace fb
