// Steps that display drivers take the same way whatever their platform.
// Callers hold the display lock where the screen's state is touched.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

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

struct DisplayMode {
  int32_t width, height, depth;
};

// The display modes that a full-screen picture of width x height x depth
// tries, in order, while the display refuses the one before: its own size
// at its depth and at the sister depth (15 and 16, 24 and 32 stand in for
// each other; other depths have none); then, at both depths, the
// narrowest mode of offered that is at least as wide as the picture, at
// the lowest of the heights 240, 480, 600, 768 and 1024 above the
// picture's where offered has one of either depth.  offered is the
// display's list of modes; when it is empty the standard modes of those
// heights stand for it (320 x 240, 640 x 480, 800 x 600, 1024 x 768 and
// 1280 x 1024, at any depth).  Past 1024 rows there is nothing taller to
// try.  The picture is centred in a larger mode.
std::vector<DisplayMode> FullscreenModeTries(int32_t width, int32_t height, int32_t depth,
                                             std::span<const DisplayMode> offered = {});

}  // namespace fb
