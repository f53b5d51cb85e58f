// The general whole-ellipse scan behind DrawCircle, which draws small
// filled discs wholly inside the clip rectangle by a faster way of its
// own; the tests hold that way to this one.  Internal to gfx/.
#pragma once
#include <cstdint>

#include "context.h"

namespace fb {

// Scans the whole ellipse of radii rx, ry centred on pixel (cx, cy) into
// the current target by rows, clipped, filled or as its outline, under the
// screen lock, and marks the rows it reached dirty.  The colour is already
// converted and the pixel routines already chosen for it.
void ScanEllipse(DrawContext& dc, int cx, int cy, float rx, float ry, uint32_t colour, bool filled);

}  // namespace fb
