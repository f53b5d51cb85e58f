// The driver list of a web page build: the page's canvas.
#include "../driver.h"
#include "canvas.h"

namespace fb {

namespace {
const DisplayDriver* const CANVAS_DRIVERS[] = {&CANVAS_DRIVER};
}  // namespace

std::span<const DisplayDriver* const> PlatformDrivers() { return CANVAS_DRIVERS; }

}  // namespace fb
