// The clock and sleeping.  TimerSeconds is monotonic; Sleep waits a number
// of milliseconds or until a key is pressed.  Program's thread only.
#pragma once
#include <cstdint>

namespace fb {

// Seconds since an arbitrary fixed origin; never decreases.
double TimerSeconds();

// Sleeps ms milliseconds.  -1 waits for a key; ms >= 100 wakes early on a
// key, tested at 50 ms boundaries; 0 < ms < 100 ignores keys; other values
// return at once (without a screen, 0 yields the processor).  A key typed
// earlier whose flag nobody has cleared ends the wait at once.
void Sleep(int32_t ms);

// mode 0 is Sleep(ms); mode 1 the system's plain sleep (no key wake-up);
// other modes do nothing and return 1 (also the last error number).
int32_t Sleep(int32_t ms, int32_t mode);

// The time source behind TimerSeconds and the plain sleep.  Tests install
// their own to control time; nullptr restores the system's.
struct ClockSource {
  double (*now)(void* user);
  void (*sleepMs)(void* user, int32_t ms);
  void* user;
};
void SetClockSource(const ClockSource* source);

}  // namespace fb
