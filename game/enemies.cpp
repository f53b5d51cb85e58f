// The aliens.
#include "game/enemies.h"

#include <cstdlib>
#include <new>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include "game/rounding.h"
#include "game/sprites.h"
#include <fb/gfx/blit.h>
#include <fb/gfx/text.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

[[noreturn]] void Fail(const char* message) {
  PrintText(message);
  Sleep(-1);
  std::exit(-1);
}

}  // namespace

void InitEnemySystem(EnemySystem& enemies) {
  enemies.image = nullptr;
  enemies.pool = nullptr;
  enemies.next = 0;
  InitParticleSystem(enemies.particles);
  enemies.image = LoadGamePicture("imgs/ene.bmp");
  if (!enemies.image) Fail("[ERROR] Could not load enemy image.");
  enemies.pool = new (std::nothrow) Enemy[ENEMY_POOL_SIZE]();
  if (!enemies.pool) Fail("[ERROR] Zero pointer in: Constructor EnemySystem()");
}

void SpawnEnemy(EnemySystem& enemies) {
  Enemy& e = enemies.pool[enemies.next];
  // Three fresh draws in this order: x, y, speed.
  e.x = 1024 + Random(1.0f) * 1024;
  e.y = Random(1.0f) * 743;
  e.vx = -1 - Random(1.0f) * 4;
  e.vy = 0;
  e.alive = 1;
  e.hitPoints = ENEMY_HIT_POINTS;
  enemies.next = (enemies.next + 1) % ENEMY_POOL_SIZE;
}

void SpawnWave(std::string&) {
  if (!enemySystem) return;
  int32_t count = stage;
  for (int32_t i = 0; i < count; ++i) SpawnEnemy(*enemySystem);
  if (stage < LARGEST_WAVE) stage += 1;
}

void Update(EnemySystem& enemies) {
  for (int32_t i = 0; i < ENEMY_POOL_SIZE; ++i) {
    Enemy& e = enemies.pool[i];
    e.prevX = e.x;
    e.prevY = e.y;
    e.x += e.vx;
    e.y += e.vy;
    if (e.hitPoints <= 0 && e.alive == 1) {
      e.alive = 0;
      Explode(enemies.particles, RoundHalfEven(e.x), RoundHalfEven(e.y));
      score += POINTS_PER_ENEMY;
    }
  }
  Update(enemies.particles);
}

void Draw(EnemySystem& enemies) {
  for (int32_t i = 0; i < ENEMY_POOL_SIZE; ++i) {
    const Enemy& e = enemies.pool[i];
    if (e.alive != 1) continue;
    PutImage(nullptr, float(e.x), float(e.y), enemies.image, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE,
             PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, 0, PutMode::Blend, 255);
  }
  Draw(enemies.particles);
}

void Destroy(EnemySystem& enemies) {
  delete[] enemies.pool;
  enemies.pool = nullptr;
  DestroyImage(enemies.image);
  enemies.image = nullptr;
  Destroy(enemies.particles);
}

}  // namespace shooter
