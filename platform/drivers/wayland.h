// The "Wayland" display driver: a native xdg-shell toplevel owned by the
// window thread, which copies the dirty band of the framebuffer into
// wl_shm buffers (never one the compositor still holds), samples the
// keyboard and turns the compositor's events into key codes and window
// events.  The display lock is held only to copy rows out of the
// framebuffer; converting, scaling and committing them happen after it,
// paced by the compositor's frame callbacks.
//
// Keys are mapped through the xkbcommon keymap the compositor sends, by
// their key symbols, never by their key numbers (a virtual keyboard may
// number its keys as it likes): scancode 30 is whichever key types "a".
// The keyboard repeats on the client's side, at the rate and delay the
// compositor announces.
//
// Pixels: each framebuffer pixel shows as a scale x scale block of the
// output's pixels, scale being FB_SCALE or chosen from the output (at
// least its scale factor, so that a HiDPI screen shows the program at its
// usual size with sharp pixels); the buffer scale is the largest part of
// the output's factor that divides it.
//
// Decorations: the compositor's own title bar where it offers one
// (xdg-decoration), else a plain bar of the window's own with a close box
// (see WAYLAND_BAR_HEIGHT); SCREEN_NO_FRAME asks for neither.
//
// What Wayland does not allow, and the driver therefore does not do: a
// client cannot place its window (SetWindowPosition moves nothing and
// reports (0, 0)), move or confine the pointer (SetMouse only shows or
// hides it), keep itself above other windows (SCREEN_ALWAYS_ON_TOP), be
// shaped, or change the display's mode (full screen shows the picture
// centred on black at the output's own mode, which is the one mode
// FetchModes reports).  No other program can destroy the window either:
// the window is lost only with the connection to the compositor.
#pragma once
#include <cstdint>

#include "../driver.h"

namespace fb {

extern const DisplayDriver WAYLAND_DRIVER;

// --- The title bar of our own (pure; any thread) ---

// Where the compositor draws no title bar, the window draws its own above
// the picture: this high, in the compositor's units, with a close box of
// that size at its right end.
constexpr int32_t WAYLAND_BAR_HEIGHT = 24;

enum class WaylandFramePart { None, Bar, CloseBox };

// The part of a bar barWidth units wide at (x, y), in the bar's units.
WaylandFramePart WaylandFramePartAt(int32_t barWidth, double x, double y);

// --- Test and benchmark hooks (program thread) ---

// Whether the next Init may ask the compositor for its title bar
// (default true); false makes the window draw its own.
void WaylandAllowServerDecorations(bool allow);

struct WaylandPresentStats {
  int64_t presents;  // buffers committed
  int64_t rows;      // framebuffer rows they brought up to date
};
// Counters of the open window (zeros when none).
WaylandPresentStats WaylandStats();

// The open window's geometry: scale is the output pixels a framebuffer
// pixel takes each way, bufferScale the buffer scale set on the surface.
struct WaylandGeometry {
  int32_t scale, bufferScale;
  bool serverDecorations;  // the compositor draws the title bar, else the window
};
WaylandGeometry WaylandWindowGeometry();

// Presents rows first..last now, under the display lock, without waiting
// for the compositor's frame callback, and waits until the compositor has
// handled the commit.  false when no Wayland window is open, the range is
// empty or outside the screen, or the connection is gone.
bool WaylandPresentNow(int32_t firstRow, int32_t lastRow);

}  // namespace fb
