// The aliens: a ring of 251 slots, spawned off the right edge in waves by
// the "IncStage" timer, flying left at their own speeds.  Fifteen hits
// destroy one (removed in the next Update with an explosion and 10 points);
// one past x = -25 escapes.  The hit and escape rules are applied by
// CheckCollisions.  Owns the ParticleSystem of the explosions.  Update
// runs first in the frame's update phase, Draw inside the screen lock.
// Program's thread.
#pragma once
#include <cstdint>
#include <string>

#include "game/particles.h"
#include <fb/gfx/image.h>

namespace shooter {

constexpr int32_t ENEMY_POOL_SIZE = 251;
constexpr int32_t ENEMY_HIT_POINTS = 15;
constexpr int32_t ENEMY_BOX = 25;            // hit box side, both ends included
constexpr double ENEMY_ESCAPE_X = -25.0;     // escaped when x is below this
constexpr int32_t POINTS_PER_ENEMY = 10;
constexpr int32_t LARGEST_WAVE = 10;

struct Enemy {
  double x, y;          // top-left corner of the image and the hit box
  double prevX, prevY;  // position before the last move
  double vx, vy;
  int32_t hitPoints;
  uint8_t alive;
};

struct EnemySystem {
  fb::Image* image;              // "imgs/ene.bmp"
  Enemy* pool;               // ENEMY_POOL_SIZE slots used as a ring
  int32_t next;              // slot the next alien takes
  ParticleSystem particles;  // the explosions
};

// Builds the particles, loads the alien image and allocates the ring.  A
// missing image or ring prints its "[ERROR]" line, waits for a key and ends
// the program with status -1.
void InitEnemySystem(EnemySystem& enemies);

// Brings one alien into play in slot next, replacing whatever it held:
// x in [1024, 2048), y in [0, 743), vx in (-5, -1], 15 hit points.
void SpawnEnemy(EnemySystem& enemies);

// The "IncStage" timer's routine: spawns stage aliens into the global
// enemySystem, then raises stage by 1 up to 10.
void SpawnWave(std::string& name);

// Moves every slot, removes the destroyed aliens with an explosion at their
// corner and 10 points each, then updates the particles.
void Update(EnemySystem& enemies);

// Every living alien, then the particles over them.  Inside the screen lock.
void Draw(EnemySystem& enemies);

// Frees the ring, the picture and the particle pools (tests; the game keeps
// its aliens for the whole run).
void Destroy(EnemySystem& enemies);

}  // namespace shooter
