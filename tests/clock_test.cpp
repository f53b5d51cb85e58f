// TimerSeconds and Sleep without a screen.  Time is faked through a
// ClockSource that records every plain sleep, so whole sequences of sleeps
// are compared; only the real-clock tests touch the system clock.
#include <fb/clock/clock.h>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include <fb/platform/console.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include "tests/piped_descriptor.h"

namespace {

struct FakeClock {
  double now = 0.0;
  std::vector<int32_t> sleeps;
};
double FakeNow(void* user) { return static_cast<FakeClock*>(user)->now; }
void FakeSleep(void* user, int32_t ms) {
  auto* clock = static_cast<FakeClock*>(user);
  clock->sleeps.push_back(ms);
  clock->now += ms / 1000.0;
}

class FakeTime : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fb::Screen(), nullptr);
    fb::ResetConsole();
    const fb::ClockSource source{FakeNow, FakeSleep, &clock};
    fb::SetClockSource(&source);
  }
  void TearDown() override {
    fb::SetClockSource(nullptr);
    fb::ResetConsole();
  }
  FakeClock clock;
};

TEST(Clock, RealTimerNeverGoesBackwardsAndFollowsSleep) {
  double previous = fb::TimerSeconds();
  for (int i = 0; i < 200000; ++i) {
    const double now = fb::TimerSeconds();
    ASSERT_GE(now, previous);
    previous = now;
  }
  // The system's sleep lasts at least as long as asked.
  const double before = fb::TimerSeconds();
  EXPECT_EQ(fb::Sleep(20, 1), 0);
  EXPECT_GE(fb::TimerSeconds() - before, 0.0195);
}

TEST_F(FakeTime, TimerReadsTheInstalledSourceUntilRemoved) {
  clock.now = 1.0e9;
  EXPECT_EQ(fb::TimerSeconds(), 1.0e9);
  fb::SetClockSource(nullptr);
  EXPECT_LT(fb::TimerSeconds(), 1.0e9);  // back on the system clock's scale
}

TEST_F(FakeTime, SleepsThatIgnoreKeys) {
  // Without a screen, zero and negative waits (other than -1) yield once.
  struct Case {
    int32_t ms, mode, result;
    std::vector<int32_t> sleeps;
  };
  const Case cases[] = {
      {99, 0, 0, {99}},        {1, 0, 0, {1}},         {0, 0, 0, {0}},
      {-5, 0, 0, {0}},         {INT_MIN, 0, 0, {0}},   {30, 1, 0, {30}},
      {150, 1, 0, {150}},      {0, 1, 0, {0}},         {-20, 1, 0, {0}},
      {-1, 1, 0, {0}},         {20, 2, 1, {}},         {20, -1, 1, {}},
  };
  for (const Case& c : cases) {
    clock.sleeps.clear();
    fb::SetLastError(c.result == 0 ? 7 : 0);  // must be overwritten
    EXPECT_EQ(fb::Sleep(c.ms, c.mode), c.result) << c.ms << " mode " << c.mode;
    EXPECT_EQ(fb::LastError(), c.result) << c.ms << " mode " << c.mode;
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.ms << " mode " << c.mode;
  }
}

TEST_F(FakeTime, ConsoleKeyTypedEarlierEndsAWatchedWaitAtOnce) {
  // An open, quiet standard input: a closed one would keep the flag set.
  fb::ResetConsole();
  fb::PipedDescriptor in(STDIN_FILENO);
  for (int32_t ms : {-1, 100, 250}) {
    clock.sleeps.clear();
    fb::ConsolePutKey('x');
    fb::Sleep(ms);
    EXPECT_TRUE(clock.sleeps.empty()) << ms;
    EXPECT_FALSE(fb::ConsoleTakeKeyHitFlag()) << ms << ": flag not consumed";
  }
  // A short wait does not look at the flag, so it is still there after.
  clock.sleeps.clear();
  fb::ConsolePutKey('x');
  fb::Sleep(99);
  EXPECT_EQ(clock.sleeps, std::vector<int32_t>{99});
  EXPECT_TRUE(fb::ConsoleTakeKeyHitFlag());
}

}  // namespace
