// Explosion particles: ten pools of 5,000 dots filled in turn, one pool per
// explosion, so the eleventh explosion takes over the first pool.  Two
// thirds of each explosion form a ring at speed 20, the rest a cloud of
// slower dots.  Owned by the EnemySystem, which calls Explode, Update and
// Draw; Draw runs inside the screen lock.  Program's thread.
#pragma once
#include <cstdint>

#include <fb/gfx/color.h>

namespace shooter {

constexpr int32_t PARTICLE_POOLS = 10;
constexpr int32_t PARTICLES_PER_POOL = 5000;

struct Particle {
  double x, y;          // centre of the dot
  double prevX, prevY;  // position before the last move
  double vx, vy;        // pixels per frame
  uint8_t alive;
  fb::Color color;   // alpha byte 0xFF
  int32_t life;  // frames left
};

struct ParticleSystem {
  int32_t current;                     // pool the next explosion fills, 0 to 9
  Particle* pools[PARTICLE_POOLS];     // nullptr for a pool that could not be had
};

// Allocates the ten pools (a pool that can't be had is reported with an
// "[ERROR]" line and left out for good), then reseeds the random
// generator from the clock.
void InitParticleSystem(ParticleSystem& particles);

// Fills pool current with an explosion centred on (x, y) and moves current
// on (9 wraps to 0).  Takes Random five times per dot, six for cloud dots.
void Explode(ParticleSystem& particles, int32_t x, int32_t y);

// Moves and ages every living dot; a dot whose life runs out dies and its
// last place is set to colour 0.
void Update(ParticleSystem& particles);

// Draws every living dot as a filled circle of radius 1 (a five-pixel
// cross), pool by pool, index by index.
void Draw(ParticleSystem& particles);

// Frees the pools.
void Destroy(ParticleSystem& particles);

}  // namespace shooter
