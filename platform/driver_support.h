// Steps that display drivers take the same way whatever their platform.
// Callers hold the display lock where the screen's state is touched.
#pragma once
#include <cstdint>

namespace fb {

struct ScreenContext;

// Marks every framebuffer row dirty: the window shows the whole frame anew.
void MarkAllRowsDirty(ScreenContext& screen);

// A driver's SetPalette: stores entry index (0..255, others ignored) in
// the device palette with each channel clamped to 0..255 and sets the
// palette-changed flag; on screens of 8 bits and less it marks every row
// dirty, since any pixel on show may use the entry.
void StorePaletteEntry(ScreenContext& screen, int32_t index, int32_t red, int32_t green,
                       int32_t blue);

// What WaitVSync sleeps when the driver cannot wait for the retrace
// itself: 1000 / refresh rate ms, or 16 ms when the rate is unknown (also
// without a screen).
int32_t RefreshPeriodMs(const ScreenContext* screen);

}  // namespace fb
