// The driver list of the Win32 build, in the order the search tries it:
// "DirectX", "GDI", "OpenGL".
// TODO: the "DirectX" driver (before "GDI") and the "OpenGL" driver (after
// it) come next; until they exist the list holds "GDI" alone, so that
// SCRDRIVER=DirectX or OpenGL falls back to it through the search's later
// passes instead of naming a driver that cannot open.
#include "../driver.h"
#include "win32_gdi.h"

namespace fb {

namespace {
const DisplayDriver* const WIN32_DRIVERS[] = {&GDI_DRIVER};
}  // namespace

std::span<const DisplayDriver* const> PlatformDrivers() { return WIN32_DRIVERS; }

}  // namespace fb
