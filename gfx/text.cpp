// DrawText: a string at a pixel position, ink only, clipped to the target.
// The text screen (PrintText and its cells) is in gfx/text_screen.cpp.
#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "blit.h"
#include "context.h"
#include "text_state.h"
#include "../platform/runtime.h"
#include "../platform/screen.h"

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

// A font image: its first pixel row is a header (byte 0 = 0, bytes 1 and
// 2 the first and last character code, then one width byte per
// character), the rows below hold the glyphs side by side in code order.
struct FontImage {
  Image* image;
  int first, last;
  const uint8_t* widths;
  int offsets[256];  // left column of each character's glyph
};

// Reads and checks the header.  false: not a font image for this target.
bool ReadFontImage(Image* image, int targetBpp, FontImage& font) {
  if (image->type != IMAGE_TYPE || int(image->bpp) != targetBpp || image->height < 2) return false;
  const uint8_t* header = ImagePixels(static_cast<const Image*>(image));
  const int64_t headerBytes = int64_t(image->width) * image->bpp;
  if (headerBytes < 3 || header[0] != 0 || header[1] > header[2]) return false;
  font.image = image;
  font.first = header[1];
  font.last = header[2];
  const int count = font.last - font.first + 1;
  if (3 + count > headerBytes) return false;
  font.widths = header + 3;
  int64_t x = 0;
  for (int i = 0; i < count; ++i) {
    font.offsets[i] = int(x);
    x += font.widths[i];
  }
  return x <= int64_t(image->width);
}

// Copies each character's glyph with the blit routine of mode; PutImage
// clips each one.  Characters the font lacks are left out.
int32_t DrawFontImageText(DrawContext& dc, const FontImage& font, float x, float y,
                          const char* text, int32_t mode, int32_t blitter, int32_t alpha,
                          int32_t param) {
  const PointF lastPoint = dc.lastPoint;
  const int32_t glyphBottom = int32_t(font.image->height) - 1;
  int32_t result = 0;
  ScreenLock();
  for (const char* c = text; *c && result == 0; ++c) {
    const int code = uint8_t(*c);
    if (code < font.first || code > font.last) continue;
    const int i = code - font.first, width = font.widths[i];
    if (width == 0) continue;
    result = PutImage(dc.target, x, y, font.image, font.offsets[i], 1,
                      font.offsets[i] + width - 1, glyphBottom, 0, PutMode(mode), alpha, param,
                      blitter);
    x += float(width);
  }
  ScreenUnlock(1, 0);
  dc.lastPoint = lastPoint;  // the text's position, not its last glyph's
  return result;
}

}  // namespace

int32_t DrawText(Image* target, float x, float y, int32_t coordFlags, const char* text,
                 Color colour, Image* font, int32_t mode, int32_t blitter, int32_t alpha,
                 int32_t param) {
  if (!text) return Result(1);
  DrawContext* dc = GetDrawContext();
  if (!dc || !*text) return Result(0);

  SelectTarget(*dc, target);
  if (font) {
    FontImage fontImage;
    if (!ReadFontImage(font, dc->bpp, fontImage)) return Result(1);
    ApplyCoordFlags(*dc, coordFlags, x, y);
    return Result(DrawFontImageText(*dc, fontImage, x, y, text, mode, blitter, alpha, param));
  }
  uint32_t value = ChooseColor(*dc, coordFlags, colour);
  ChoosePixelRoutines(*dc, value);
  ApplyCoordFlags(*dc, coordFlags, x, y);
  PointI p = ToPixel(*dc, x, y);
  const TextState* textState = GetTextState();
  const Font& builtIn = textState ? *textState->font : FONT_8X8;
  ScreenLock();
  DrawBuiltInText(*dc, builtIn, p, text, value);
  ScreenUnlock(1, 0);
  return Result(0);
}

}  // namespace fb
