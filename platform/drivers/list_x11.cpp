// The driver list of a build with X11: the X11 window.  Without a display
// its Init fails at once and SetScreenMode reports that no driver opened.
#include "../driver.h"
#include "x11.h"

namespace fb {

namespace {
const DisplayDriver* const X11_DRIVERS[] = {&X11_DRIVER};
}  // namespace

std::span<const DisplayDriver* const> PlatformDrivers() { return X11_DRIVERS; }

}  // namespace fb
