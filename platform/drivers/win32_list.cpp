// The driver list of the Win32 build, in the order the search tries it:
// "DirectX", "GDI", "OpenGL".  The game's windowed screen thus opens on
// DirectDraw where it can, on GDI where it cannot; "OpenGL" takes only
// screens that ask for it (SCREEN_OPENGL), which the other two refuse.
#include "../driver.h"
#include "win32_directx.h"
#include "win32_gdi.h"
#include "win32_opengl.h"

namespace fb {

namespace {
const DisplayDriver* const WIN32_DRIVERS[] = {&DIRECTX_DRIVER, &GDI_DRIVER, &OPENGL_DRIVER};
}  // namespace

std::span<const DisplayDriver* const> PlatformDrivers() { return WIN32_DRIVERS; }

}  // namespace fb
