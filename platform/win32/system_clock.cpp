// The clock on Win32: the performance counter, or the millisecond tick
// count where the system has no performance counter.  The choice is made
// on the first call and kept.
#include "../system_clock.h"

#include <atomic>

#include "win32.h"

namespace fb {

namespace {

enum ClockMode : int { CLOCK_UNDECIDED = 0, CLOCK_TICK_COUNT = 1, CLOCK_COUNTER = 2 };

std::atomic<int> clockMode{CLOCK_UNDECIDED};
// Seconds per counter tick; written before clockMode becomes CLOCK_COUNTER.
long double secondsPerCount = 0.0L;

int DecideClock() {
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
    secondsPerCount = 1.0L / static_cast<long double>(frequency.QuadPart);
    clockMode.store(CLOCK_COUNTER, std::memory_order_release);
    return CLOCK_COUNTER;
  }
  clockMode.store(CLOCK_TICK_COUNT, std::memory_order_release);
  return CLOCK_TICK_COUNT;
}

}  // namespace

double SystemSeconds() {
  int mode = clockMode.load(std::memory_order_acquire);
  if (mode == CLOCK_UNDECIDED) mode = DecideClock();
  if (mode == CLOCK_COUNTER) {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    // Extended precision: counts beyond 2^53 lose only the final rounding.
    return static_cast<double>(static_cast<long double>(count.QuadPart) * secondsPerCount);
  }
  // The 32-bit count wraps after 49.7 days; taken unsigned it at least
  // never reads as negative.
  return static_cast<double>(static_cast<long double>(uint32_t(GetTickCount())) * 0.001L);
}

void SystemSleep(int32_t ms) { ::Sleep(ms <= 0 ? 0 : DWORD(ms)); }

}  // namespace fb
