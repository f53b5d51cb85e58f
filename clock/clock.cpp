// The clock and sleeping.
//
// The time base and the plain sleep are the operating system's
// (platform/system_clock.h): a monotonic high-resolution counter on every
// platform.
//
// Every wait is built from one primitive, PlainSleep, so that a test can
// install a ClockSource and both read and spend time deterministically.
// Sleep consults the key-hit flag through TakeKeyHitFlag, which itself
// decides between the screen's key queue and the console.
#include "clock.h"

#include "../platform/keyboard.h"
#include "../platform/runtime.h"
#include "../platform/screen.h"
#include "../platform/system_clock.h"

namespace fb {

namespace {

// Copied rather than kept as a pointer, so a test's source may live on its
// stack and be replaced without the clock holding a dangling reference.
ClockSource g_source{};
bool g_haveSource = false;

// Key wake-ups are tested at this interval; Sleep(-1) and Sleep(>= 100)
// spend their time in steps of this size.
constexpr int32_t KEY_POLL_MS = 50;

// The operating system's sleep, or the installed source's.  ms <= 0 yields
// the processor.  Takes no lock.
void PlainSleep(int32_t ms) {
  if (g_haveSource) {
    g_source.sleepMs(g_source.user, ms);
    return;
  }
  SystemSleep(ms);
}

}  // namespace

double TimerSeconds() {
  if (g_haveSource) return g_source.now(g_source.user);
  return SystemSeconds();
}

void SetClockSource(const ClockSource* source) {
  if (source == nullptr || source->now == nullptr || source->sleepMs == nullptr) {
    // A half-filled source would crash on first use; treat it as none.
    g_haveSource = false;
    g_source = ClockSource{};
    return;
  }
  g_source = *source;
  g_haveSource = true;
}

void Sleep(int32_t ms) {
  if (ms == -1) {
    // The flag is tested before the first sleep, so a key typed earlier
    // and not yet consumed ends the wait at once.
    for (;;) {
      if (TakeKeyHitFlag()) return;
      PlainSleep(KEY_POLL_MS);
    }
  }
  if (ms >= 100) {
    // Keys are tested only at 50 ms boundaries; the tail of 1 to 50 ms is
    // slept without looking.
    do {
      if (TakeKeyHitFlag()) return;
      PlainSleep(KEY_POLL_MS);
      ms -= KEY_POLL_MS;
    } while (ms > KEY_POLL_MS);
    PlainSleep(ms);
    return;
  }
  if (ms > 0) {
    PlainSleep(ms);
    return;
  }
  // Without a screen a zero or negative wait still gives up the processor,
  // so a console program polling in a loop does not spin at full speed.
  if (Screen() == nullptr) PlainSleep(0);
}

int32_t Sleep(int32_t ms, int32_t mode) {
  switch (mode) {
    case 0:
      Sleep(ms);
      break;
    case 1:
      // The system's sleep takes an unsigned duration; a negative one would
      // wrap to weeks.
      PlainSleep(ms < 0 ? 0 : ms);
      break;
    default:
      SetLastError(1);
      return 1;
  }
  SetLastError(0);
  return 0;
}

}  // namespace fb
