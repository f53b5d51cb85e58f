// The "OpenGL" display driver: only for screens that ask for it
// (SCREEN_OPENGL), which the other Win32 drivers refuse; depths below 16
// are raised to 16.  Its window is the shared Win32 window
// (platform/win32/window.h), made on the program's thread: there is no
// window thread.  The program presents by flipping pages (CopyPage in
// platform/screen.h), which draws the visible page into the window's
// back buffer through opengl32.dll, loaded at run time, and swaps it in
// (Flip); then PollEvents dispatches the window's messages and samples the
// keyboard, under the display lock.
#pragma once
#include "../driver.h"

namespace fb {

extern const DisplayDriver OPENGL_DRIVER;

}  // namespace fb
