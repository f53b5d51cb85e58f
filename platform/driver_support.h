// Steps that display drivers take the same way whatever their platform.
// Callers hold the display lock where the screen's state is touched.
#pragma once
#include <cstdint>
#include <span>
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

// --- The pointer, as every window reports it ---

// Two presses of one button closer than this are a double click.
constexpr uint32_t DOUBLE_CLICK_MS = 500;
// One notch of a wheel, in the units of the wheel positions.
constexpr int32_t WHEEL_NOTCH = 120;

// What a window knows of its pointer: the buttons held (1 left, 2 right,
// 4 middle, 8 and 16 the extra ones), where both wheels stand (a notch up
// or right adds WHEEL_NOTCH), the last position in framebuffer pixels and
// the last press, which tells a double click.  Kept by the driver's
// window thread under the display lock; the events go to the open
// screen's queue.
struct PointerState {
  int32_t buttons = 0;
  int32_t wheel = 0, horizontalWheel = 0;
  int32_t x = 0, y = 0;
  int32_t lastClickButton = 0;
  uint32_t lastClickTime = 0;
};

// Posts the press of button (one bit) as a double click when the same
// button was pressed less than DOUBLE_CLICK_MS before, and that press was
// not itself the second of a double click; else as a press.  timeMs is a
// millisecond clock of the driver's own, which may wrap.
void PressPointerButton(PointerState& pointer, int32_t button, uint32_t timeMs);
void ReleasePointerButton(PointerState& pointer, int32_t button);
// Turns the vertical wheel (up: notches > 0) or the horizontal one (right:
// notches > 0) and posts where it stands now.
void TurnPointerWheel(PointerState& pointer, bool horizontal, int32_t notches);
// Posts a move to (x, y), with the distance from the last position.
void MovePointerTo(PointerState& pointer, int32_t x, int32_t y);

// GetMouse's answer for a pointer at (x, y) over a picture of width x
// height framebuffer pixels: with clipped > 0 the position is first
// clamped into the picture.  0 with the outputs filled (any may be null)
// when it lies within, else -1 with the outputs untouched.
int AnswerGetMouse(const PointerState& pointer, int32_t x, int32_t y, int32_t width,
                   int32_t height, int32_t clipped, int32_t* outX, int32_t* outY,
                   int32_t* outWheel, int32_t* outButtons);

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
