// The driver list of a build without any window system: only the Null
// driver (outside the list) can open a screen.
#include "../driver.h"

namespace fb {

std::span<const DisplayDriver* const> PlatformDrivers() { return {}; }

}  // namespace fb
