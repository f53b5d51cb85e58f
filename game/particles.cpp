// Explosion particles.
#include "game/particles.h"

#include <cmath>
#include <new>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/rounding.h"
#include <fb/gfx/context.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

constexpr double RING_SPEED = 20.0;
// Indices up to two thirds of the pool (3333.33...) belong to the ring.
constexpr double RING_LIMIT = PARTICLES_PER_POOL * 2.0 / 3.0;

int32_t ColorChannel() {
  int32_t c = RoundHalfEven(Random(1.0f) * 255 + 1);
  return c > 255 ? 255 : c;
}

}  // namespace

void InitParticleSystem(ParticleSystem& particles) {
  particles.current = 0;
  for (Particle*& pool : particles.pools) pool = nullptr;
  for (Particle*& pool : particles.pools) {
    pool = new (std::nothrow) Particle[PARTICLES_PER_POOL]();
    if (!pool) PrintText("[ERROR] Zero pointer exception in Constructor ParticleSystem");
  }
  SeedRandom(TimerSeconds(), 0);
}

void Explode(ParticleSystem& particles, int32_t x, int32_t y) {
  Particle* pool = particles.pools[particles.current];
  // A pool that could not be allocated is skipped, but its turn still
  // passes so that the other pools keep their order.
  if (pool) {
    for (int32_t i = 0; i < PARTICLES_PER_POOL; ++i) {
      Particle& p = pool[i];
      p.x = double(x);
      p.y = double(y);
      p.prevX = p.x;
      p.prevY = p.y;
      double angle = Random(1.0f) * 20 - 10;
      double speed = i <= RING_LIMIT ? RING_SPEED : Random(1.0f) * 20;
      p.vx = std::sin(angle) * speed;
      p.vy = std::cos(angle) * speed;
      p.alive = 1;
      int32_t red = ColorChannel();
      int32_t green = ColorChannel();
      int32_t blue = ColorChannel();
      p.color = 0xFF000000u + uint32_t(red) * 65536u + uint32_t(green) * 256u + uint32_t(blue);
      p.life = RoundHalfEven(Random(1.0f) * 300 - 120);
    }
  }
  particles.current += 1;
  if (particles.current > PARTICLE_POOLS - 1) particles.current = 0;
}

void Update(ParticleSystem& particles) {
  for (Particle* pool : particles.pools) {
    if (!pool) continue;
    for (int32_t i = 0; i < PARTICLES_PER_POOL; ++i) {
      Particle& p = pool[i];
      if (p.alive != 1) continue;
      p.prevX = p.x;
      p.prevY = p.y;
      p.x += p.vx;
      p.y += p.vy;
      p.life -= 1;
      if (p.life <= 0) {
        p.alive = 0;
        SetPixel(nullptr, float(p.prevX), float(p.prevY), 0x00000000, CoordFlags::Absolute);
      }
    }
  }
}

// Each dot is DrawCircle(nullptr, x, y, 1, colour, 0, 0, FULL_CIRCLE, 1,
// CoordFlags::Absolute); a run of them does the set-up once.
void Draw(ParticleSystem& particles) {
  DotRun dots = BeginDots(nullptr);
  for (Particle* pool : particles.pools) {
    if (!pool) continue;
    for (int32_t i = 0; i < PARTICLES_PER_POOL; ++i) {
      const Particle& p = pool[i];
      if (p.alive != 1) continue;
      DrawDot(dots, float(p.x), float(p.y), p.color);
    }
  }
  EndDots(dots);
}

void Destroy(ParticleSystem& particles) {
  for (Particle*& pool : particles.pools) {
    delete[] pool;
    pool = nullptr;
  }
}

}  // namespace shooter
