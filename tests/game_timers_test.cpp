// Frame pacing and the game's interval timers, on a clock the test moves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/timers.h"
#include "game_support.h"

namespace {

using shooter::GameTimer;

TEST(FrameLimiter, FirstWaitOnlyRecordsTheTime) {
  gametest::FakeClock clock;
  clock.Install();
  shooter::FrameLimiter limiter;
  shooter::InitFrameLimiter(limiter, 60);
  shooter::Wait(limiter);
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
    shooter::FrameLimiter limiter;
    shooter::InitFrameLimiter(limiter, 60);
    shooter::Wait(limiter);
    clock.now += c.frameSeconds;
    double before = clock.now;
    shooter::Wait(limiter);
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
    shooter::InitGameTimer(timer, "IncStage", 5, shooter::RepeatMode, Fired::Record);
    EXPECT_EQ(timer.startTime, c.startTime);
    clock.now = c.lastQuiet;
    shooter::Check(timer);
    EXPECT_TRUE(Fired::names.empty());
    clock.now = c.firesAt;
    shooter::Check(timer);
    EXPECT_EQ(Fired::names, std::vector<std::string>{"IncStage"});
  }
}

TEST_F(GameTimerTest, RepeatingTimerMakesUpNoMissedIntervals) {
  clock.now = 100.0;
  shooter::InitGameTimer(timer, "CoreReg", 5, shooter::RepeatMode, Fired::Record);
  clock.now = 130.2;  // six intervals without a Check
  shooter::Check(timer);
  shooter::Check(timer);
  EXPECT_EQ(Fired::names.size(), 1u);
  EXPECT_EQ(timer.startTime, 130);
  EXPECT_EQ(timer.active, 1);
  clock.now = 134.9;
  shooter::Check(timer);
  EXPECT_EQ(Fired::names.size(), 1u);
  clock.now = 135.0;
  shooter::Check(timer);
  EXPECT_EQ(Fired::names.size(), 2u);
}

TEST_F(GameTimerTest, OnceTimerFiresOnceUntilStartedAgain) {
  shooter::Clear(timer);
  shooter::Check(timer);  // cleared: disarmed
  shooter::Start(timer, "RT", 2, shooter::OnceMode, Fired::Record);
  clock.now = 102.0;
  shooter::Check(timer);
  shooter::Check(timer);
  clock.now = 200.0;
  shooter::Check(timer);
  EXPECT_EQ(Fired::names, std::vector<std::string>{"RT"});
  EXPECT_EQ(timer.active, 0);

  shooter::Start(timer, "again", 3, shooter::OnceMode, Fired::Record);
  clock.now = 202.9;
  shooter::Check(timer);
  clock.now = 203.0;
  shooter::Check(timer);
  EXPECT_EQ(Fired::names, (std::vector<std::string>{"RT", "again"}));
}

TEST_F(GameTimerTest, UnknownModeNeverFiresAndStaysArmed) {
  shooter::InitGameTimer(timer, "odd", 1, 2, Fired::Record);
  clock.now = 1000.0;
  shooter::Check(timer);
  EXPECT_TRUE(Fired::names.empty());
  EXPECT_EQ(timer.active, 1);
}

}  // namespace
