// The "DirectX" display driver: a window of the shared Win32 window
// (platform/win32/window.h) drawn through DirectDraw, with the keyboard
// read through DirectInput; ddraw.dll and dinput.dll are loaded at run
// time.  Windowed, the window thread converts the dirty rows into an
// off-screen surface of the display's format and copies that surface to
// the client area through a clipped primary surface; full screen, it sets
// a display mode (falling back to the sister depth, then to the display's
// next taller mode of a standard height, FullscreenModeTries in
// driver_support.h, with the picture centred) and converts straight into
// the display.  WaitVSync waits for the retrace while the window
// thread holds back its next presentation.  Refuses SCREEN_OPENGL and
// SCREEN_SHAPED_WINDOW.
#pragma once
#include <cstdint>
#include <vector>

#include "../driver.h"
#include "../driver_support.h"

namespace fb {

extern const DisplayDriver DIRECTX_DRIVER;

// What the open "DirectX" window draws into (tests).
struct DirectXSurfaceInfo {
  int32_t displayBits;       // the display's pixel format: 15, 16, 24 or 32
  bool redLow;               // ... with red in the lowest bits
  int32_t modeWidth, modeHeight;  // the display mode set for full screen, else 0
  int32_t pictureLeft, pictureTop;  // columns and rows of that mode left of and above the picture
};
// false when no "DirectX" window is open.
bool DirectXSurface(DirectXSurfaceInfo* info);

// Makes the drawing surface's next lock find it lost, its pixels gone, as
// when another program takes the display; the window thread restores it
// (tests).
void DirectXLoseSurfaces();

// Makes the "DirectX" driver see the display offer only these modes and
// take every other mode change as refused; an empty list gives it the
// display's own list back (tests).  Only while no "DirectX" screen is
// open.
void DirectXOfferModes(std::vector<DisplayMode> modes);

// Gives up the keyboard device, as the system does when another program
// takes it; the window thread must acquire it again (tests).
void DirectXReleaseKeyboard();

}  // namespace fb
