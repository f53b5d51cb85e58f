// Shared by the primitives: drawing a line between two pixel positions of
// the current target.  Internal to gfx/.
#pragma once
#include <cstdint>

#include "context.h"

namespace fb {

// Clips the line (x1, y1)-(x2, y2) against dc.clip, then draws it with
// the 16-bit style under the screen lock and marks its rows dirty.  The
// colour is already converted and the pixel routines already chosen for
// it.  A line wholly outside is dropped before the lock is taken.
void DrawLinePixels(DrawContext& dc, int x1, int y1, int x2, int y2, uint32_t colour,
                    uint32_t style);

}  // namespace fb
