// The clock on POSIX systems: std::chrono::steady_clock, monotonic and
// high-resolution.  Its tick length is fixed at compile time, which makes
// the conversion to seconds one multiplication by a constant.
#include "../system_clock.h"

#include <chrono>
#include <thread>

namespace fb {

namespace {

using SystemClock = std::chrono::steady_clock;
static_assert(SystemClock::is_steady, "TimerSeconds must never go backwards");

// The product with the tick count is formed in long double so that counts
// beyond 2^53 lose no more than the final rounding to double.
constexpr long double SECONDS_PER_TICK =
    static_cast<long double>(SystemClock::period::num) / SystemClock::period::den;

}  // namespace

double SystemSeconds() {
  const auto ticks = SystemClock::now().time_since_epoch().count();
  return static_cast<double>(static_cast<long double>(ticks) * SECONDS_PER_TICK);
}

void SystemSleep(int32_t ms) {
  if (ms <= 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace fb
