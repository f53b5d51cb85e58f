// The "GDI" display driver: a window of the shared Win32 window
// (platform/win32/window.h) whose window thread copies the dirty band of
// the framebuffer to it with SetDIBitsToDevice, as a top-down
// device-independent bitmap.  The framebuffer is the bitmap itself when
// its rows are 4-byte aligned and its pixels are what the bitmap shows (8
// and 32 bits); 16-bit screens (shown as 5-5-5) and 8-bit ones whose width
// is not a multiple of 4 are converted first, dirty rows only.  Keys come
// from the system's keyboard state and the window's messages.
#pragma once
#include "../driver.h"

namespace fb {

extern const DisplayDriver GDI_DRIVER;

// Whether the open "GDI" window converts rows before presenting them.
bool GdiConverts();

}  // namespace fb
