// The driver list of the Win32 build.
// TODO: the "DirectX", "GDI" and "OpenGL" drivers come next, in that
// order; until then only the Null driver (outside the list) opens a screen.
#include "platform/driver.h"

namespace fb {

std::span<const DisplayDriver* const> PlatformDrivers() { return {}; }

}  // namespace fb
