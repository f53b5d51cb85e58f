// The driver list of a Linux build with both window systems.  In a
// Wayland session (WAYLAND_DISPLAY set) the native Wayland window comes
// first and X11 (through XWayland there) follows as the fall-back;
// elsewhere X11 comes first.  SCRDRIVER=wayland or x11 picks one.
#include <cstdlib>

#include "../driver.h"
#include "wayland.h"
#include "x11.h"

namespace fb {

namespace {
const DisplayDriver* const WAYLAND_FIRST[] = {&WAYLAND_DRIVER, &X11_DRIVER};
const DisplayDriver* const X11_FIRST[] = {&X11_DRIVER, &WAYLAND_DRIVER};
}  // namespace

std::span<const DisplayDriver* const> PlatformDrivers() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) return WAYLAND_FIRST;
  return X11_FIRST;
}

}  // namespace fb
