// The operating system's clock and sleep, behind TimerSeconds and Sleep
// (clock/clock.h).  Each platform supplies both.  Any thread.
#pragma once
#include <cstdint>

namespace fb {

// Seconds since a fixed origin (the system's start or the like), from the
// system's monotonic high-resolution counter; never decreases.
double SystemSeconds();

// The system's plain sleep for ms milliseconds; ms <= 0 gives up the rest
// of the time slice.
void SystemSleep(int32_t ms);

}  // namespace fb
