// Sleep with a screen open: the key wake-up at 50 ms boundaries.  The Null
// driver's window thread runs beside the test, so keys are put under the
// display lock as the window thread itself would.  Time is faked: every
// plain sleep is recorded, and a key can be made to arrive during a chosen
// sleep.
#include <gtest/gtest.h>

#include <vector>

#include <fb/clock/clock.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

namespace {

void TypeKey() {
  fb::ScreenLock();
  fb::PutKey('k');
  fb::ScreenUnlock(1, 0);
}

struct FakeClock {
  std::vector<int32_t> sleeps;
  int keyDuringSleep = -1;  // index of the sleep during which a key arrives
};
double FakeNow(void*) { return 0.0; }
void FakeSleep(void* user, int32_t ms) {
  auto* clock = static_cast<FakeClock*>(user);
  if (static_cast<int>(clock->sleeps.size()) == clock->keyDuringSleep) TypeKey();
  clock->sleeps.push_back(ms);
}

class SleepWithScreen : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fb::SetScreenMode(64, 48, 32, 0, fb::SCREEN_NULL, 0), 0);
    fb::ResetKeyQueue();
    const fb::ClockSource source{FakeNow, FakeSleep, &clock};
    fb::SetClockSource(&source);
  }
  void TearDown() override {
    fb::SetClockSource(nullptr);
    fb::CloseScreen();
  }
  void Run(int32_t ms, bool keyBefore, int keyDuringSleep) {
    fb::ResetKeyQueue();
    clock.sleeps.clear();
    clock.keyDuringSleep = keyDuringSleep;
    if (keyBefore) TypeKey();
    fb::Sleep(ms);
  }
  FakeClock clock;
};

TEST_F(SleepWithScreen, KeysWakeOnlyLongAndEndlessWaitsAtBoundaries) {
  struct Case {
    int32_t ms;
    bool keyBefore;
    int keyDuringSleep;
    std::vector<int32_t> sleeps;
    bool flagLeft;  // a key nobody consumed
  };
  const Case cases[] = {
      // Short waits never look at keys.
      {99, true, -1, {99}, true},
      {99, false, 0, {99}, true},
      {1, true, -1, {1}, true},
      // Zero and negative waits return at once: no yield with a screen.
      {0, false, -1, {}, false},
      {-5, true, -1, {}, true},
      // 100 and up: checked before each 50 ms step, the tail unchecked.
      {100, false, -1, {50, 50}, false},
      {100, true, -1, {}, false},
      {100, false, 0, {50, 50}, true},
      {101, false, -1, {50, 50, 1}, false},
      {101, false, 0, {50}, false},
      {250, false, -1, {50, 50, 50, 50, 50}, false},
      {250, false, 1, {50, 50}, false},
      {250, false, 2, {50, 50, 50}, false},
      // A key during the last full step is seen by no check: the tail follows.
      {250, false, 3, {50, 50, 50, 50, 50}, true},
      // -1 waits for a key however long it takes.
      {-1, true, -1, {}, false},
      {-1, false, 0, {50}, false},
      {-1, false, 6, {50, 50, 50, 50, 50, 50, 50}, false},
  };
  for (const Case& c : cases) {
    Run(c.ms, c.keyBefore, c.keyDuringSleep);
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.ms << " key before " << c.keyBefore
                                      << " during " << c.keyDuringSleep;
    EXPECT_EQ(fb::TakeKeyHitFlag(), c.flagLeft) << c.ms << " key before " << c.keyBefore
                                      << " during " << c.keyDuringSleep;
  }
}

TEST_F(SleepWithScreen, SecondEndlessWaitNeedsANewKey) {
  Run(-1, true, -1);
  EXPECT_TRUE(clock.sleeps.empty());
  // The first wait consumed the flag: the second sleeps until the key that
  // arrives during its third step.
  clock.keyDuringSleep = 2;
  fb::Sleep(-1);
  EXPECT_EQ(clock.sleeps, (std::vector<int32_t>{50, 50, 50}));
}

TEST_F(SleepWithScreen, ModeZeroWatchesKeysModeOneDoesNot) {
  TypeKey();
  EXPECT_EQ(fb::Sleep(150, 0), 0);
  EXPECT_TRUE(clock.sleeps.empty());

  TypeKey();
  EXPECT_EQ(fb::Sleep(150, 1), 0);
  EXPECT_EQ(clock.sleeps, std::vector<int32_t>{150});
  EXPECT_TRUE(fb::TakeKeyHitFlag());
}

}  // namespace
