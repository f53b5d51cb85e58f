// Pixels, lines, boxes and circles, clipped to the target.  Program's
// thread; screen writes happen under the screen lock.
#pragma once
#include <cstdint>

#include "color.h"
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

// An ellipse of radius and aspect (0 = the screen's) centred on (x, y):
// start 0 and end FULL_CIRCLE draw it whole by rows (filled when fill is
// non-zero); other angles draw an arc; negative angles add a radius line.
void DrawCircle(Image* target, float x, float y, float radius, Color colour, float aspect,
                float start, float end, int32_t fill, int32_t coordFlags);

}  // namespace fb
