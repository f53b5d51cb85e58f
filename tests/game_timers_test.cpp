// Frame pacing and the game's interval timers, on a clock the test moves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/timers.h"
#include "game_support.h"

namespace {

using fb::GameTimer;

TEST(FrameLimiter, FirstWaitOnlyRecordsTheTime) {
  gametest::FakeClock clock;
  clock.Install();
  fb::FrameLimiter limiter;
  fb::InitFrameLimiter(limiter, 60);
  fb::Wait(limiter);
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(limiter.lastTime, 100.0);
}

// Elapsed seconds enter floor(1000 - elapsed * fps) / fps: the sleep is
// 16 ms for any frame shorter than two thirds of a second.
TEST(FrameLimiter, SleepAfterFramesOfDifferentLengths) {
  struct Case {
    double frameSeconds;
    int32_t expectedSleep;  // 0: no sleep at all
  };
  const Case cases[] = {{0.005, 16}, {0.5, 16}, {0.7, 15}, {16.0, 0}, {30.0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frameSeconds);
    gametest::FakeClock clock;
    clock.Install();
    fb::FrameLimiter limiter;
    fb::InitFrameLimiter(limiter, 60);
    fb::Wait(limiter);
    clock.now += c.frameSeconds;
    double before = clock.now;
    fb::Wait(limiter);
    if (c.expectedSleep == 0) {
      EXPECT_TRUE(clock.sleeps.empty());
    } else {
      EXPECT_EQ(clock.sleeps, std::vector<int32_t>{c.expectedSleep});
    }
    // lastTime is read after the sleep.
    EXPECT_DOUBLE_EQ(limiter.lastTime, before + c.expectedSleep / 1000.0);
  }
}

struct Fired {
  static inline std::vector<std::string> names;
  static void Record(std::string& name) { names.push_back(name); }
};

class GameTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Install();
    Fired::names.clear();
  }
  gametest::FakeClock clock;
  GameTimer timer{};
};

// The start is rounded to a whole second, so the due time moves with it.
TEST_F(GameTimerTest, StartRoundsToTheNearestSecond) {
  struct Case {
    double armedAt;
    int32_t startTime;
    double lastQuiet, firesAt;
  };
  const Case cases[] = {{100.4, 100, 104.99, 105.0}, {100.6, 101, 105.99, 106.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.armedAt);
    Fired::names.clear();
    clock.now = c.armedAt;
    fb::InitGameTimer(timer, "IncStage", 5, fb::RepeatMode, Fired::Record);
    EXPECT_EQ(timer.startTime, c.startTime);
    clock.now = c.lastQuiet;
    fb::Check(timer);
    EXPECT_TRUE(Fired::names.empty());
    clock.now = c.firesAt;
    fb::Check(timer);
    EXPECT_EQ(Fired::names, std::vector<std::string>{"IncStage"});
  }
}

TEST_F(GameTimerTest, RepeatingTimerMakesUpNoMissedIntervals) {
  clock.now = 100.0;
  fb::InitGameTimer(timer, "CoreReg", 5, fb::RepeatMode, Fired::Record);
  clock.now = 130.2;  // six intervals without a Check
  fb::Check(timer);
  fb::Check(timer);
  EXPECT_EQ(Fired::names.size(), 1u);
  EXPECT_EQ(timer.startTime, 130);
  EXPECT_EQ(timer.active, 1);
  clock.now = 134.9;
  fb::Check(timer);
  EXPECT_EQ(Fired::names.size(), 1u);
  clock.now = 135.0;
  fb::Check(timer);
  EXPECT_EQ(Fired::names.size(), 2u);
}

TEST_F(GameTimerTest, OnceTimerFiresOnceUntilStartedAgain) {
  fb::Clear(timer);
  fb::Check(timer);  // cleared: disarmed
  fb::Start(timer, "RT", 2, fb::OnceMode, Fired::Record);
  clock.now = 102.0;
  fb::Check(timer);
  fb::Check(timer);
  clock.now = 200.0;
  fb::Check(timer);
  EXPECT_EQ(Fired::names, std::vector<std::string>{"RT"});
  EXPECT_EQ(timer.active, 0);

  fb::Start(timer, "again", 3, fb::OnceMode, Fired::Record);
  clock.now = 202.9;
  fb::Check(timer);
  clock.now = 203.0;
  fb::Check(timer);
  EXPECT_EQ(Fired::names, (std::vector<std::string>{"RT", "again"}));
}

TEST_F(GameTimerTest, UnknownModeNeverFiresAndStaysArmed) {
  fb::InitGameTimer(timer, "odd", 1, 2, Fired::Record);
  clock.now = 1000.0;
  fb::Check(timer);
  EXPECT_TRUE(Fired::names.empty());
  EXPECT_EQ(timer.active, 1);
}

}  // namespace
