// Steps that display drivers take the same way whatever their platform.
// Callers hold the display lock where the screen's state is touched.
#pragma once
#include <cstdint>
#include <vector>

#include "driver.h"  // SettingVerdict

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

// SetPalette of a driver whose window thread presents: StorePaletteEntry
// on the open screen, under the display lock.  Program's thread.
void StorePaletteEntryLocked(int32_t index, int32_t red, int32_t green, int32_t blue);

// WaitVSync of a driver that cannot wait for the display's retrace:
// sleeps RefreshPeriodMs of the open screen.
void SleepOneRefresh();

// The framebuffer column (or row) under a window coordinate, given the
// picture's offset in the window and the scale (window pixels per
// framebuffer pixel); negative left of (or above) the picture.
inline int32_t FramebufferCoordinate(int32_t windowCoordinate, int32_t offset, int32_t scale) {
  const int32_t d = windowCoordinate - offset;
  return d >= 0 ? d / scale : (d - scale + 1) / scale;
}

// What WaitVSync sleeps when the driver cannot wait for the retrace
// itself: 1000 / refresh rate ms, or 16 ms when the rate is unknown (also
// without a screen).
int32_t RefreshPeriodMs(const ScreenContext* screen);

struct DisplayMode {
  int32_t width, height, depth;
};

// The display modes that a full-screen picture of width x height x depth
// tries, in order, when the display refuses the one before: its own size
// at its depth and at the sister depth (15 and 16, 24 and 32 stand in for
// each other; other depths have none); then the same with the height
// raised to the next larger of 240, 480, 600, 768 and 1024.  Past 1024
// there is nothing taller to try.  The picture is centred vertically in a
// taller mode.
std::vector<DisplayMode> FullscreenModeTries(int32_t width, int32_t height, int32_t depth);

// The window shows each framebuffer pixel as a scale x scale block.
// setting is FB_SCALE (may be null): a whole number from 1 up is taken as
// it is (Taken) unless the picture would not fit on the screen; then the
// largest scale that fits is used (Capped).  Anything else (Unusable, or
// Unset when null or empty) chooses from the screen: one step per full
// 1920 x 1080 the screen holds in both directions (a 3840 x 2160 screen
// gives 2), no more than lets the picture fit.  Always at least 1, at
// most 16, and the picture within 16384 pixels a side.  verdict (may be
// null) receives what became of the setting.
int32_t WindowScale(const char* setting, int32_t screenWidth, int32_t screenHeight,
                    int32_t width, int32_t height, SettingVerdict* verdict = nullptr);

}  // namespace fb
