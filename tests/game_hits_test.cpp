// Hits between bullets and aliens: ApplyHits files the aliens by bands of
// rows to test fewer of them.  Whatever the filing, each active bullet that
// lies inside a living alien's box must hit the lowest-numbered such alien
// and no other, wherever the boxes and bullets are: across the band
// edges, above and below the screen, far away, or not a number.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include <fb/clock/random.h>
#include "game/game.h"
#include "game_support.h"

namespace {

class Hits : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Install();
    ASSERT_EQ(gametest::OpenGameScreen(), 0);
    gametest::WriteGamePictures();
    fb::SeedRandom(1234, 0);
    shooter::CreateGame(session);
  }
  void TearDown() override {
    shooter::ReleaseGame(session);
    fb::CloseScreen();
  }
  gametest::FakeClock clock;
  gametest::ScratchDir dir;
  shooter::GameSession session{};
};

// The rule written out: the first living slot whose box, edges included,
// holds the bullet.
int Target(double x, double y) {
  for (int e = 0; e < shooter::ENEMY_POOL_SIZE; ++e) {
    const shooter::Enemy& a = shooter::enemySystem->pool[e];
    if (a.alive == 1 && x >= a.x && x <= a.x + shooter::ENEMY_BOX && y >= a.y &&
        y <= a.y + shooter::ENEMY_BOX)
      return e;
  }
  return -1;
}

TEST_F(Hits, EachBulletHitsTheLowestSlotHoldingIt) {
  std::mt19937 rng(99);
  // Rows around every band edge (multiples of 32), the screen's top and
  // bottom, far off and NaN; aliens and bullets both take them.
  const double rows[] = {-1e9, -60, -25.5, -25, -0.5, -1e-9, 0,   6.5, 7,     31,  31.99, 32,  57,
                         63.5, 64,  100,   383, 384,  742.5, 743, 767, 767.9, 768, 800,   1e9, NAN};
  auto anyRow = [&] {
    return rng() % 3 ? double(int(rng() % 840) - 40) + (rng() % 4) * 0.25
                     : rows[rng() % std::size(rows)];
  };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    for (int e = 0; e < shooter::ENEMY_POOL_SIZE; ++e) {
      shooter::Enemy& a = shooter::enemySystem->pool[e];
      a = shooter::Enemy{};
      a.alive = rng() % 5 ? 1 : 0;
      a.x = double(rng() % 40);  // crowded columns: boxes overlap
      a.y = anyRow();
      a.hitPoints = shooter::ENEMY_HIT_POINTS;
    }
    std::vector<int> want(shooter::ENEMY_POOL_SIZE, shooter::ENEMY_HIT_POINTS);
    std::vector<uint8_t> wantActive(shooter::BULLET_POOL_SIZE);
    for (int b = 0; b < shooter::BULLET_POOL_SIZE; ++b) {
      shooter::Bullet& bullet = shooter::player->bullets.pool[b];
      bullet = shooter::Bullet{};
      bullet.active = rng() % 7 ? 1 : 0;
      const shooter::Enemy& near = shooter::enemySystem->pool[rng() % shooter::ENEMY_POOL_SIZE];
      bullet.x = near.x + double(int(rng() % 30) - 2);
      bullet.y = rng() % 4 ? near.y + double(int(rng() % 30) - 2) : anyRow();
      const int hit = bullet.active == 1 ? Target(bullet.x, bullet.y) : -1;
      if (hit >= 0) --want[hit];
      wantActive[b] = hit >= 0 ? 0 : bullet.active;
    }
    shooter::ApplyHits();
    for (int e = 0; e < shooter::ENEMY_POOL_SIZE; ++e)
      ASSERT_EQ(shooter::enemySystem->pool[e].hitPoints, want[e]) << "alien " << e;
    for (int b = 0; b < shooter::BULLET_POOL_SIZE; ++b)
      ASSERT_EQ(shooter::player->bullets.pool[b].active, wantActive[b]) << "bullet " << b;
  }
}

}  // namespace
