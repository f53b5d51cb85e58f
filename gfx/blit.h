// Copying images onto the screen or onto other images through blit
// routines chosen by PutMode.  Program's thread; screen writes happen under
// the screen lock.
#pragma once
#include <cstdint>

#include "context.h"
#include "image.h"

namespace fb {

enum class PutMode : int32_t {
  Transparent = 0,  // leave out the transparent colour; at 4 bytes clear alpha
  Alpha = 6,        // 1-byte image into the alpha byte of a 4-byte target
  Blend = 9,        // constant opacity; transparent colour left out
};

// Source rectangle argument meaning "the whole image".
constexpr int32_t PUT_WHOLE_IMAGE = -65536;

// Draws image (or the inclusive rectangle x1,y1..x2,y2 of it) with its
// top-left pixel at (x, y) of target (nullptr = the screen), clipped.
// coordFlags: 0 absolute, 1 (x2, y2) relative to (x1, y1), 2 (x, y)
// relative to lastPoint, 3 both.  alpha: the opacity of PutMode::Blend
// (0 draws nothing, otherwise its low 8 bits).  Returns 0 (also when the
// rectangle lies outside the clip), or 1 (also the last error) with
// nothing drawn when there is no screen or no image, the depths differ,
// or the mode has no routine: the modes 1..5, 7, 8 and values outside
// 0..9 fail this way, and PutMode::Alpha works only from a 1-byte image
// onto a 4-byte target.  PutMode::Blend on 1-byte pixels is a keyed copy
// (and, as at every depth, draws nothing at alpha 0).  An image may be
// put onto itself: where the rectangles overlap, the pixels are read as
// they were before the call, as from a copy of the image.
int32_t PutImage(Image* target, float x, float y, Image* image, int32_t x1, int32_t y1,
                 int32_t x2, int32_t y2, int32_t coordFlags, PutMode mode, int32_t alpha,
                 int32_t param = 0, int32_t extra = 0);

// The routines of a mode, plain or packed; nullptr for modes without one.
const BlitTable* PlainBlitTable(PutMode mode);
const BlitTable* PackedBlitTable(PutMode mode);

}  // namespace fb
