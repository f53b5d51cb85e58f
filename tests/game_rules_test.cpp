// The game's rules on a windowless screen with the real pictures of a
// scratch folder, a clock the test moves and fixed random seeds: the ship
// and its gun, the aliens, the collisions, the timers, the core, the frame
// (its drawing calls logged) and the explosions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fb/clock/random.h>
#include "game/game.h"
#include "game_draw_log.h"
#include "game_support.h"
#include <fb/gfx/context.h>
#include <fb/gfx/primitives.h>
#include <fb/platform/keyboard.h>

namespace {

using gametest::ScreenPixel;

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Install();
    ASSERT_EQ(gametest::OpenGameScreen(), 0);
    gametest::WriteGamePictures();
    fb::SeedRandom(1234, 0);
    shooter::CreateGame(session);
    fb::SeedRandom(1234, 0);  // the particles reseeded from the clock
  }
  void TearDown() override {
    shooter::ReleaseGame(session);
    fb::CloseScreen();
  }

  static void Hold(int scancode, bool held = true) { fb::Screen()->keyState[scancode] = held; }

  static shooter::Enemy& Alien(int slot, double x, double y) {
    shooter::Enemy& e = shooter::enemySystem->pool[slot];
    e = shooter::Enemy{};
    e.x = x;
    e.y = y;
    e.alive = 1;
    e.hitPoints = shooter::ENEMY_HIT_POINTS;
    return e;
  }
  static shooter::Bullet& Shot(int slot, double x, double y) {
    shooter::Bullet& b = shooter::player->bullets.pool[slot];
    b = shooter::Bullet{};
    b.x = x;
    b.y = y;
    b.active = 1;
    return b;
  }

  gametest::FakeClock clock;
  gametest::ScratchDir dir;
  shooter::GameSession session{};
};

TEST_F(GameTest, StartsWithTheGameState) {
  EXPECT_EQ(shooter::score, 0);
  EXPECT_EQ(shooter::stage, 2);
  EXPECT_EQ(shooter::player->x, 100.0);
  EXPECT_EQ(shooter::player->y, 100.0);
  EXPECT_EQ(shooter::coreGauge->value, 100);
  EXPECT_EQ(shooter::critical->period, 60);
  EXPECT_EQ(session.incStage.name, "IncStage");
  EXPECT_EQ(session.coreReg.name, "CoreReg");
  EXPECT_EQ(session.limiter.fps, 60);
}

// --- the ship ---

TEST_F(GameTest, ThrustApproachesFiveAndNeverReachesIt) {
  Hold(shooter::SCANCODE_D);
  shooter::Update(*shooter::player);
  EXPECT_DOUBLE_EQ(shooter::player->vx, 0.5 / 1.1);
  shooter::Update(*shooter::player);
  EXPECT_DOUBLE_EQ(shooter::player->vx, (0.5 / 1.1 + 0.5) / 1.1);
  EXPECT_NEAR(shooter::player->vx, 0.868, 0.001);
  EXPECT_DOUBLE_EQ(shooter::player->vy, 0.0);
  for (int i = 0; i < 400; ++i) {
    shooter::player->x = 100;  // keep it off the edges
    shooter::Update(*shooter::player);
    ASSERT_LT(shooter::player->vx, 5.0);
  }
  EXPECT_GT(shooter::player->vx, 4.99);
  // Opposite keys cancel; without keys the ship creeps on.
  Hold(shooter::SCANCODE_A);
  double vx = shooter::player->vx;
  shooter::Update(*shooter::player);
  EXPECT_DOUBLE_EQ(shooter::player->vx, vx / 1.1);
}

TEST_F(GameTest, ShipBouncesAtTheRightEdgeAndIsClampedNextFrame) {
  Hold(shooter::SCANCODE_D);
  shooter::player->x = 972;
  shooter::player->vx = 4.99;
  shooter::Update(*shooter::player);
  EXPECT_NEAR(shooter::player->x, 972 + (4.99 + 0.5) / 1.1, 1e-9);  // about 977: drawn beyond
  EXPECT_LT(shooter::player->vx, 0);
  double vx = shooter::player->vx;
  shooter::Update(*shooter::player);
  EXPECT_DOUBLE_EQ(shooter::player->prevX, 974.0);
  EXPECT_DOUBLE_EQ(shooter::player->x, 974.0 + (vx + 0.5) / 1.1);
  // Exactly on the bounds counts as inside.
  Hold(shooter::SCANCODE_D, false);
  shooter::player->x = 0.0;
  shooter::player->vx = 0;
  shooter::Update(*shooter::player);
  EXPECT_EQ(shooter::player->x, 0.0);
  EXPECT_EQ(shooter::player->vx, 0.0);
}

TEST_F(GameTest, TheGunReloadsAfterItsFourHundredAndFirstShot) {
  Hold(shooter::SCANCODE_SPACE);
  shooter::BulletSystem& gun = shooter::player->bullets;
  shooter::Update(*shooter::player);
  // Placed at the muzzle (100 + 50, 100 + 17), then moved in the same frame.
  EXPECT_EQ(gun.pool[0].x, 160.0);
  EXPECT_EQ(gun.pool[0].prevX, 150.0);
  EXPECT_EQ(gun.pool[0].y, 117.0 + gun.pool[0].vy);
  EXPECT_LT(std::fabs(gun.pool[1].vy), 0.025);
  for (int frame = 2; frame <= 200; ++frame) shooter::Update(*shooter::player);
  EXPECT_EQ(gun.next, 400);
  EXPECT_EQ(gun.reloading, 0);
  EXPECT_EQ(gun.pool[400].active, 0);

  shooter::Update(*shooter::player);  // frame 201: slot 400, then the reload
  EXPECT_EQ(gun.pool[400].active, 1);
  EXPECT_EQ(gun.reloading, 1);
  EXPECT_EQ(gun.next, 0);
  EXPECT_EQ(gun.reloadTimer.name, "RT");

  double firstX = gun.pool[0].x;
  for (int i = 0; i < 10; ++i) {
    clock.now += 0.1;
    shooter::Update(*shooter::player);
  }
  EXPECT_EQ(gun.reloading, 1);
  EXPECT_EQ(gun.next, 0);
  EXPECT_EQ(gun.pool[0].x, firstX + 10 * 10.0) << "slot 0 was not fired again";

  clock.now += 3.0;
  shooter::Update(*shooter::player);  // the timer's Check ends the reload
  EXPECT_EQ(gun.reloading, 0);
  shooter::Update(*shooter::player);
  EXPECT_EQ(gun.next, 2);
  EXPECT_EQ(gun.pool[0].prevX, std::nearbyint(shooter::player->prevX + 50));
}

// --- the aliens ---

TEST_F(GameTest, WavesGrowFromTwoToTen) {
  std::string name = "IncStage";
  int spawned = 0;
  for (int expected : {2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}) {
    shooter::SpawnWave(name);
    spawned += expected;
    EXPECT_EQ(shooter::enemySystem->next, spawned % shooter::ENEMY_POOL_SIZE) << expected;
  }
  EXPECT_EQ(shooter::stage, 10);
  for (int i = 0; i < spawned; ++i) {
    const shooter::Enemy& e = shooter::enemySystem->pool[i];
    EXPECT_EQ(e.alive, 1);
    EXPECT_EQ(e.hitPoints, 15);
    EXPECT_TRUE(e.x >= 1024 && e.x < 2048 && e.y >= 0 && e.y < 743) << e.x << "," << e.y;
    EXPECT_TRUE(e.vx <= -1 && e.vx > -5) << e.vx;
  }
}

TEST_F(GameTest, HitBoxIncludesItsEdges) {
  struct Case {
    double x, y;
    bool hits;
  };
  const Case cases[] = {
      {100, 200, true},    {125, 225, true},        {112.5, 212.5, true},
      {125.0001, 210, false}, {110, 225.0001, false}, {99.999, 210, false},
      {110, 199.999, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    shooter::Enemy& alien = Alien(0, 100, 200);
    shooter::Bullet& bullet = Shot(0, c.x, c.y);
    shooter::ApplyHits();
    EXPECT_EQ(alien.hitPoints, c.hits ? 14 : 15);
    EXPECT_EQ(bullet.active, c.hits ? 0 : 1);
  }
}

TEST_F(GameTest, BulletInsideTwoAliensHitsOnlyTheLowerSlot) {
  shooter::Enemy& dead = Alien(1, 100, 100);
  dead.alive = 0;  // a free slot takes no hits
  shooter::Enemy& lower = Alien(3, 100, 100);
  shooter::Enemy& upper = Alien(7, 110, 110);
  Shot(5, 120, 120);
  Shot(6, 130, 130);  // only inside the upper one
  shooter::ApplyHits();
  EXPECT_EQ(dead.hitPoints, 15);
  EXPECT_EQ(lower.hitPoints, 14);
  EXPECT_EQ(upper.hitPoints, 14);
  EXPECT_EQ(shooter::player->bullets.pool[5].active, 0);
  EXPECT_EQ(shooter::player->bullets.pool[6].active, 0);
}

TEST_F(GameTest, KilledAlienLeavesInTheNextUpdateWithPointsAndExplosion) {
  // Two hits in one frame take the last point and one more: below 0 kills
  // as well as 0 does, and the points are per alien, not per hit.
  shooter::Enemy& alien = Alien(4, 301.5, 201.5);
  alien.vx = -2;
  alien.vy = -1;
  alien.hitPoints = 1;
  Shot(0, 310, 210);
  Shot(1, 312, 212);
  shooter::CheckCollisions();
  EXPECT_EQ(alien.hitPoints, -1);
  EXPECT_EQ(alien.alive, 1) << "still drawn in the frame of the hit";
  EXPECT_EQ(shooter::score, 0);

  shooter::Update(*shooter::enemySystem);
  EXPECT_EQ(alien.alive, 0);
  EXPECT_EQ(shooter::score, 10);
  EXPECT_EQ(shooter::enemySystem->particles.current, 1);
  // The explosion starts at the moved corner (299.5, 200.5) rounded half to
  // even, (300, 200): not the corner before the move (302, 202), nor one cut
  // (299, 200) or rounded half away from zero (300, 201).  Its dots have
  // moved once already.
  const shooter::Particle& p = shooter::enemySystem->particles.pools[0][0];
  EXPECT_EQ(p.prevX, 300.0);
  EXPECT_EQ(p.prevY, 200.0);
  EXPECT_EQ(p.x, 300.0 + p.vx);
  EXPECT_EQ(p.y, 200.0 + p.vy);
  shooter::Update(*shooter::enemySystem);
  EXPECT_EQ(shooter::score, 10);
}

TEST_F(GameTest, AliensEscapeBeyondMinusTwentyFive) {
  shooter::Enemy& stays = Alien(0, -25.0, 100);
  shooter::Enemy& leaves = Alien(1, -25.5, 100);
  shooter::ApplyEscapes();
  EXPECT_EQ(stays.alive, 1);
  EXPECT_EQ(leaves.alive, 0);
  EXPECT_EQ(shooter::coreGauge->value, 95);
  EXPECT_EQ(shooter::score, 0);
  EXPECT_EQ(shooter::enemySystem->particles.current, 0);
}

// The escape rule runs before the next Update could remove the alien.
TEST_F(GameTest, AlienKilledAsItEscapesCountsAsEscaped) {
  shooter::Enemy& alien = Alien(2, -25.5, 100);
  alien.hitPoints = 1;
  Shot(0, -20, 110);
  shooter::RunFrameUpdate(session);
  EXPECT_EQ(alien.hitPoints, 0) << "the hit comes first";
  EXPECT_EQ(alien.alive, 0);
  EXPECT_EQ(shooter::coreGauge->value, 95);
  shooter::RunFrameUpdate(session);
  EXPECT_EQ(shooter::score, 0);
  EXPECT_EQ(shooter::enemySystem->particles.current, 0) << "no explosion";
}

// --- the timers ---

TEST_F(GameTest, WavesAndRegenerationComeEveryFiveSeconds) {
  shooter::coreGauge->value = 50;
  struct Step {
    double at;
    int spawned, stage, core;
  };
  // Both timers were armed at 100.0.
  const Step steps[] = {
      {104.99, 0, 2, 50}, {105.0, 2, 3, 51}, {109.99, 2, 3, 51}, {110.0, 5, 4, 52}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.at);
    clock.now = step.at;
    shooter::RunFrameUpdate(session);
    EXPECT_EQ(shooter::enemySystem->next, step.spawned);
    EXPECT_EQ(shooter::stage, step.stage);
    EXPECT_EQ(shooter::coreGauge->value, step.core);
  }
}

// Both timers are due in this frame.  The wave takes slot next over from an
// alien that was about to escape, and the regeneration finds the core full
// before the escape of another alien takes 5 points off it.
TEST_F(GameTest, TimersRunBeforeTheCollisions) {
  clock.now = 105.0;
  const int next = shooter::enemySystem->next;
  Alien(next, -30, 100);
  Alien(next + 5, -30, 200);
  shooter::RunFrameUpdate(session);
  EXPECT_EQ(shooter::enemySystem->pool[next].alive, 1);
  EXPECT_GE(shooter::enemySystem->pool[next].x, 1024.0) << "a new alien in the slot";
  EXPECT_EQ(shooter::coreGauge->value, 95);
}

// --- the core ---

TEST_F(GameTest, EscapesStopTakingPointsAtZero) {
  struct Case {
    int value, escapes, expected;
  };
  const Case cases[] = {{3, 1, -2}, {7, 3, -3}, {10, 2, 0}, {0, 1, 0}, {100, 20, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " with " << c.escapes);
    shooter::coreGauge->value = c.value;
    for (int i = 0; i < c.escapes; ++i) Alien(i, -30, 0);
    shooter::ApplyEscapes();
    EXPECT_EQ(shooter::coreGauge->value, c.expected);
  }
}

// The closing screen ends the process; the child runs it on the fake clock.
TEST_F(GameTest, EmptyCoreEndsTheGameInTheSameFrame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto frameWithEscapes = [this](int value, int escapes) {
    shooter::coreGauge->value = value;
    for (int i = 0; i < escapes; ++i) {
      Alien(i, -26, 0).vx = 0;
    }
    shooter::RunFrameUpdate(session);
    std::fprintf(stderr, "the frame went on\n");
    std::exit(3);
  };
  EXPECT_EXIT(frameWithEscapes(3, 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(frameWithEscapes(7, 3), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(frameWithEscapes(8, 1), testing::ExitedWithCode(3), "the frame went on");
}

TEST_F(GameTest, RegenerationStopsAtOneHundred) {
  std::string name = "CoreReg";
  shooter::coreGauge->value = 99;
  shooter::RegenerateCore(name);
  EXPECT_EQ(shooter::coreGauge->value, 100);
  shooter::RegenerateCore(name);
  EXPECT_EQ(shooter::coreGauge->value, 100);
}

TEST_F(GameTest, GaugeTurnsRedAtTwentyFourAndTheWarningFollowsTwoFramesLater) {
  auto frame = [this] {
    shooter::RunFrameUpdate(session);
    shooter::RunFrameDraw(session);
  };
  auto critShown = [] { return (ScreenPixel(10, 30) & 0xFFFFFF) == gametest::TEST_CRIT; };
  shooter::coreGauge->value = 25;
  frame();
  EXPECT_EQ(ScreenPixel(200, 10) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(ScreenPixel(198, 8) & 0xFFFFFF, 0x6060FFu);
  EXPECT_EQ(ScreenPixel(300, 20) & 0xFFFFFF, 0x0000FFu) << "bar ends at 200 + 4 * 25";
  EXPECT_EQ(ScreenPixel(301, 15) & 0xFFFFFF, 0x6060FFu);
  EXPECT_EQ(ScreenPixel(602, 22) & 0xFFFFFF, 0x6060FFu);
  EXPECT_NE(ScreenPixel(603, 22) & 0xFFFFFF, 0x6060FFu);
  EXPECT_EQ(shooter::coreGauge->low, 0);

  shooter::coreGauge->value = 24;
  frame();  // the gauge sees 24
  EXPECT_EQ(ScreenPixel(200, 10) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(ScreenPixel(296, 20) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(ScreenPixel(297, 15) & 0xFFFFFF, 0xFF6060u) << "bar ends at 200 + 4 * 24";
  EXPECT_EQ(shooter::coreGauge->low, 1);
  EXPECT_FALSE(critShown());
  frame();  // the alarm is raised after the warning's update
  EXPECT_EQ(shooter::critical->alarm, 1);
  EXPECT_FALSE(critShown());
  frame();
  EXPECT_TRUE(critShown());
  for (int i = 0; i < 29; ++i) frame();  // counter 30: last shown frame
  EXPECT_TRUE(critShown());
  frame();
  EXPECT_FALSE(critShown());

  for (int i = 0; i < 31; ++i) frame();  // counter 61 wraps to 0, then 1
  EXPECT_TRUE(critShown()) << "the next blink, 61 frames after the first";

  // One point back: blue at once, no warning from the next frame on, even
  // in the shown half of the blink.
  shooter::coreGauge->value = 25;
  frame();
  EXPECT_EQ(ScreenPixel(200, 10) & 0xFFFFFF, 0x0000FFu);
  EXPECT_TRUE(critShown()) << "the alarm follows the gauge a frame later";
  frame();
  EXPECT_EQ(shooter::critical->alarm, 0);
  EXPECT_EQ(shooter::critical->visible, 1);
  EXPECT_FALSE(critShown());
}

TEST_F(GameTest, HudShowsScoreAndLabel) {
  shooter::RunFrameUpdate(session);
  shooter::RunFrameDraw(session);
  int white = 0;
  for (int y = 10; y < 18; ++y)
    for (int x = 10; x < 10 + 8 * 8; ++x) white += ScreenPixel(x, y) == 0xFFFFFFFF;
  EXPECT_GT(white, 40) << "Score: 0";
  EXPECT_EQ(ScreenPixel(1000, 700), 0xFF000000u | gametest::TEST_BACKGROUND);
  EXPECT_EQ(ScreenPixel(110, 110) & 0xFFFFFF, gametest::TEST_SHIP);
  EXPECT_EQ(shooter::EndScreenText(0).substr(0, 34), "Congradulations! You got 0 Points\n");
}

// --- the frame ---

// Names a logged call after what it draws; bullets are the frame's only
// pixels, and particles its only circles or runs of dots.
std::string Describe(const drawlog::Call& call, const shooter::GameSession& session) {
  char text[160];
  switch (call.op) {
    case drawlog::Op::PutImage: {
      std::string name = "image";
      if (call.image == session.background) name = "background";
      if (call.image == shooter::enemySystem->image) name = "alien";
      if (call.image == shooter::player->sprite) name = "ship";
      if (call.image == shooter::player->bullets.reloadImage) name = "reload";
      if (call.image == shooter::critical->image) name = "warning";
      if (call.alpha != 255) name += " at opacity " + std::to_string(call.alpha);
      return name;
    }
    case drawlog::Op::DrawText:
      std::snprintf(text, sizeof text, "text \"%s\" at (%g, %g)", call.text.c_str(), call.x,
                    call.y);
      return text;
    case drawlog::Op::DrawLine:
      std::snprintf(text, sizeof text, "box %08X (%g, %g)-(%g, %g)", call.colour, call.x, call.y,
                    call.x2, call.y2);
      return call.boxMode == fb::BOX_MODE_FILLED ? text : "line";
    case drawlog::Op::SetPixel:
      return "bullet";
    case drawlog::Op::DrawCircle:
    case drawlog::Op::DotRun:
      return "particle";
  }
  return "?";
}

// Everything a frame can show at once: aliens, an explosion, bullets, the
// reload picture, a low gauge and the warning in its shown half.
TEST_F(GameTest, FrameIsDrawnBackToFrontInsideTheScreenLock) {
  Alien(0, 300, 500);
  Alien(1, 700, 200);
  shooter::Explode(shooter::enemySystem->particles, 500, 300);
  Shot(0, 200, 150);
  Shot(1, 260, 160);
  shooter::player->bullets.reloading = 1;
  shooter::score = 10;
  shooter::coreGauge->value = 20;
  shooter::critical->alarm = 1;
  shooter::critical->visible = 1;

  drawlog::Start();
  shooter::RunFrameDraw(session);
  const std::vector<drawlog::Call> calls = drawlog::Stop();

  std::vector<std::string> order;  // a run of like calls counts once
  int unlocked = 0;
  for (const drawlog::Call& call : calls) {
    std::string name = Describe(call, session);
    if (order.empty() || order.back() != name) order.push_back(name);
    unlocked += call.lockCount == 0;
  }
  const std::vector<std::string> expected = {
      "background",
      "alien",
      "particle",
      "ship",
      "bullet",
      "reload at opacity 200",
      "text \"Score: 10\" at (10, 10)",
      "text \"Core damage: \" at (100, 10)",
      "box 00FF6060 (198, 8)-(602, 22)",
      "box 00FF0000 (200, 10)-(280, 20)",
      "warning",
  };
  EXPECT_EQ(order, expected);
  EXPECT_EQ(unlocked, 0) << "a frame reaches the window whole";

  // The reload picture lets the background show through: each byte moves
  // from the background's towards the picture's by (200 + 1) / 256.
  const uint32_t picture = 0xFF000000u | gametest::TEST_RELOAD;
  const uint32_t beneath = 0xFF000000u | gametest::TEST_BACKGROUND;
  uint32_t blended = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    int s = int(picture >> shift & 0xFF), d = int(beneath >> shift & 0xFF);
    blended |= uint32_t(d + int(std::floor((s - d) * 201 / 256.0))) << shift;
  }
  EXPECT_EQ(ScreenPixel(600, 420), blended);
}

// --- the explosions ---

TEST_F(GameTest, ExplosionPoolsAreReusedFromTheEleventh) {
  shooter::ParticleSystem& ps = shooter::enemySystem->particles;
  for (int i = 0; i < 10; ++i) shooter::Explode(ps, i * 10, 0);
  EXPECT_EQ(ps.current, 0);
  shooter::Explode(ps, 555, 444);
  EXPECT_EQ(ps.current, 1);
  EXPECT_EQ(ps.pools[0][4999].x, 555.0);
  EXPECT_EQ(ps.pools[1][0].x, 10.0);
  shooter::Explode(ps, 666, 0);
  EXPECT_EQ(ps.pools[1][0].x, 666.0);

  for (const shooter::Particle* pool : ps.pools)
    for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) {
      uint32_t c = pool[i].color;
      ASSERT_EQ(c >> 24, 0xFFu);
      ASSERT_NE(c & 0xFF, 0u);
      ASSERT_NE(c & 0xFF00, 0u);
      ASSERT_NE(c & 0xFF0000, 0u);
      ASSERT_TRUE(pool[i].life >= -120 && pool[i].life <= 180);
    }

  // A pool that could not be had keeps its turn and is never touched.
  delete[] ps.pools[3];
  ps.pools[3] = nullptr;
  ps.current = 3;
  shooter::Explode(ps, 1, 1);
  EXPECT_EQ(ps.current, 4);
  shooter::Update(ps);
  fb::ScreenLock();
  shooter::Draw(ps);
  fb::ScreenUnlock(-1, -1);
}

TEST_F(GameTest, RingDotsFlyAtTwentyAndCloudDotsAtRandomLowerSpeeds) {
  shooter::ParticleSystem& ps = shooter::enemySystem->particles;
  shooter::Explode(ps, 500, 400);
  const shooter::Particle* pool = ps.pools[0];
  int offTheRing = 0;
  for (int i = 0; i <= 3333; ++i)
    offTheRing += std::fabs(std::hypot(pool[i].vx, pool[i].vy) - 20.0) > 1e-9;
  EXPECT_EQ(offTheRing, 0);
  // The cloud's speeds spread over 0 up to 20 (seed 1234).
  double slowest = 20, fastest = 0, sum = 0;
  for (int i = 3334; i < shooter::PARTICLES_PER_POOL; ++i) {
    double speed = std::hypot(pool[i].vx, pool[i].vy);
    slowest = std::min(slowest, speed);
    fastest = std::max(fastest, speed);
    sum += speed;
  }
  EXPECT_LT(slowest, 0.1);
  EXPECT_LT(fastest, 20.0);
  EXPECT_GT(fastest, 19.9);
  EXPECT_NEAR(sum / (shooter::PARTICLES_PER_POOL - 3334), 10.0, 0.5);
}

// Through the aliens' Update, as the game runs them: an explosion, then
// every frame a move by the dot's velocity and a frame less to live; a dot
// dies when that reaches 0 and blanks the pixel it last stood on.
TEST_F(GameTest, ExplosionDotsMoveEveryFrameAndDieWhenTheirLifeRunsOut) {
  fb::DrawLine(nullptr, 0, 0, 1023, 767, 0xFF102030, fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
  Alien(0, 500, 380).hitPoints = 0;
  shooter::Update(*shooter::enemySystem);
  const shooter::Particle* pool = shooter::enemySystem->particles.pools[0];
  struct Dot {
    double x, y;
    int life;
  };
  std::vector<Dot> dots;
  int unmoved = 0, wrongFlag = 0;
  for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) {
    const shooter::Particle& p = pool[i];
    unmoved += p.x != 500 + p.vx || p.y != 380 + p.vy;
    wrongFlag += p.alive != (p.life > 0 ? 1 : 0);
    dots.push_back({p.x, p.y, p.life});
  }
  EXPECT_EQ(unmoved, 0) << "moved once in the frame of the explosion";
  EXPECT_EQ(wrongFlag, 0);
  for (int frame = 1; frame <= 180; ++frame) {
    SCOPED_TRACE(frame);
    shooter::Update(*shooter::enemySystem);
    int misplaced = 0, wrongState = 0, notBlanked = 0;
    for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) {
      Dot& d = dots[size_t(i)];
      if (d.life <= 0) continue;
      const shooter::Particle& p = pool[i];
      const double lastX = d.x, lastY = d.y;
      d.x += p.vx;
      d.y += p.vy;
      d.life -= 1;
      misplaced += p.x != d.x || p.y != d.y;
      wrongState += p.alive != (d.life > 0 ? 1 : 0);
      int px = fb::RoundToPixel(float(lastX)), py = fb::RoundToPixel(float(lastY));
      if (d.life == 0 && px >= 0 && px < 1024 && py >= 0 && py < 768)
        notBlanked += ScreenPixel(px, py) != 0u;
    }
    ASSERT_EQ(misplaced, 0);
    ASSERT_EQ(wrongState, 0);
    ASSERT_EQ(notBlanked, 0);
  }
  int living = 0;
  for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) living += pool[i].alive;
  EXPECT_EQ(living, 0) << "no dot lives beyond 180 frames";
}

TEST_F(GameTest, RingIsDrawnTwentyPixelsOutInTheExplosionsFrame) {
  shooter::ParticleSystem& ps = shooter::enemySystem->particles;
  shooter::Explode(ps, 500, 400);
  shooter::Update(ps);
  // Leave the ring alone on a black screen.
  for (int i = 3334; i < shooter::PARTICLES_PER_POOL; ++i) ps.pools[0][i].alive = 0;
  fb::ClearScreen(0);
  fb::ScreenLock();
  shooter::Draw(ps);
  fb::ScreenUnlock(-1, -1);
  int lastAlive = -1, drawn = 0;
  for (int i = 0; i <= 3333; ++i) {
    const shooter::Particle& p = ps.pools[0][i];
    if (p.alive != 1) continue;
    lastAlive = i;
    EXPECT_NEAR(std::hypot(p.x - 500, p.y - 400), 20.0, 1e-9);
  }
  ASSERT_GE(lastAlive, 0);
  for (int y = 370; y <= 430; ++y)
    for (int x = 470; x <= 530; ++x) {
      if (ScreenPixel(x, y) == 0xFF000000u) continue;
      ++drawn;
      double r = std::hypot(x - 500, y - 400);
      EXPECT_TRUE(r > 18 && r < 22) << x << "," << y;
    }
  EXPECT_GT(drawn, 100);
  const shooter::Particle& last = ps.pools[0][lastAlive];
  EXPECT_EQ(ScreenPixel(int(std::lround(last.x)), int(std::lround(last.y))), last.color);
}

}  // namespace
