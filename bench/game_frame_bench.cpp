// The game's heaviest frame on a windowless 1024 x 768 x 32 screen: all
// 50,000 particles alive on screen, 251 aliens on screen, 401 bullets in
// flight that hit nothing (so every bullet meets every alien), the gun
// reloading with its picture shown, the warning shown, the background, the
// ship and the HUD.  The phases are measured apart: update (without the
// collisions), collisions, drawing, and the whole frame without the
// limiter's sleep.  The clock stands still, so no timer fires.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fastest.h"
#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include <fb/platform/screen.h>
#include "tests/game_support.h"

namespace {

namespace fs = std::filesystem;

struct HeaviestFrame {
  gametest::FakeClock clock;
  gametest::ScratchDir dir;
  shooter::GameSession session{};

  HeaviestFrame() {
    clock.Install();
    gametest::OpenGameScreen();
    UsePictures();
    fb::SeedRandom(7, 0);
    shooter::CreateGame(session);
    Fill();
  }
  ~HeaviestFrame() {
    shooter::ReleaseGame(session);
    fb::CloseScreen();
  }

  // The pictures the build drew when they are there, otherwise solid
  // stand-ins of the same sizes.
  static void UsePictures() {
#ifdef FB_RUN_DIR
    fs::path art = fs::path(FB_RUN_DIR) / "imgs";
    if (fs::exists(art / "Background.bmp")) {
      fs::copy(art, "imgs");
      return;
    }
#endif
    gametest::WriteGamePictures();
  }

  static void Fill() {
    shooter::EnemySystem& enemies = *shooter::enemySystem;
    for (int i = 0; i < shooter::PARTICLE_POOLS; ++i) shooter::Explode(enemies.particles, 500, 400);
    // Standing dots spread over the screen cost the same to update as
    // moving ones and keep the drawing at its heaviest frame after frame.
    for (shooter::Particle* pool : enemies.particles.pools)
      for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) {
        shooter::Particle& p = pool[i];
        p.x = fb::Random(1.0f) * 1024;
        p.y = fb::Random(1.0f) * 768;
        p.vx = p.vy = 0;
        p.alive = 1;
        p.life = 1 << 30;
      }
    // Aliens in the upper part of the screen, bullets below them: no hit
    // ends a bullet's walk early.
    for (int i = 0; i < shooter::ENEMY_POOL_SIZE; ++i) {
      shooter::Enemy& e = enemies.pool[i];
      e.x = fb::Random(1.0f) * 999;
      e.y = fb::Random(1.0f) * 500;
      e.vx = e.vy = 0;
      e.alive = 1;
      e.hitPoints = shooter::ENEMY_HIT_POINTS;
    }
    shooter::BulletSystem& gun = shooter::player->bullets;
    for (int i = 0; i < shooter::BULLET_POOL_SIZE; ++i) {
      shooter::Bullet& b = gun.pool[i];
      b.x = 200 + i * 2;
      b.y = 600 + i % 150;
      b.vx = b.vy = 0;
      b.active = 1;
    }
    gun.reloading = 1;  // the timer is not armed, so the reload never ends
    shooter::coreGauge->value = 20;
    shooter::critical->alarm = 1;
    shooter::critical->period = 1 << 30;  // stays in the shown half
  }
};

HeaviestFrame& Frame() {
  static HeaviestFrame frame;
  return frame;
}

void UpdatePhase(shooter::GameSession& session) {
  shooter::Update(*shooter::enemySystem);
  shooter::Update(*shooter::player);
  shooter::Update(*shooter::critical);
  shooter::Check(session.incStage);
  shooter::Check(session.coreReg);
}

void BM_FrameUpdate(benchmark::State& state) {
  HeaviestFrame& f = Frame();
  for (auto _ : state) UpdatePhase(f.session);
}
BENCHMARK(BM_FrameUpdate)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

void BM_FrameCollisions(benchmark::State& state) {
  Frame();
  for (auto _ : state) shooter::CheckCollisions();
}
BENCHMARK(BM_FrameCollisions)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

void BM_FrameDraw(benchmark::State& state) {
  HeaviestFrame& f = Frame();
  for (auto _ : state) shooter::RunFrameDraw(f.session);
}
BENCHMARK(BM_FrameDraw)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

void BM_WholeFrame(benchmark::State& state) {
  HeaviestFrame& f = Frame();
  for (auto _ : state) {
    shooter::RunFrameUpdate(f.session);
    shooter::RunFrameDraw(f.session);
  }
  // The frame must have stayed the heaviest one.
  if (shooter::player->bullets.pool[400].active != 1 || shooter::enemySystem->pool[250].alive != 1)
    state.SkipWithError("the frame lost bullets or aliens");
}
BENCHMARK(BM_WholeFrame)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

// The floor under the drawing on this machine: the memory work of its two
// heaviest parts with nothing else, a copy of a whole screen's picture
// onto the screen (what the opaque background costs at best) and then
// five bare stores at each living particle, read from the game's own
// pools.  No checks, no dirty rows, no lock.
void BM_FrameFloor(benchmark::State& state) {
  Frame();
  const fb::ScreenContext& screen = *fb::Screen();
  const size_t bytes = size_t(screen.pitch) * size_t(screen.height);
  const std::vector<uint8_t> picture(bytes, 0x5A);
  const intptr_t pitch = screen.pitch / 4;
  for (auto _ : state) {
    std::memcpy(screen.framebuffer, picture.data(), bytes);
    for (const shooter::Particle* pool : shooter::enemySystem->particles.pools) {
      if (!pool) continue;
      for (int i = 0; i < shooter::PARTICLES_PER_POOL; ++i) {
        const shooter::Particle& p = pool[i];
        if (p.alive != 1) continue;
        // Held inside the screen: the pools reach its edges.
        const intptr_t x = std::clamp(intptr_t(p.x + 0.5), intptr_t(1), intptr_t(screen.width - 2));
        const intptr_t y = std::clamp(intptr_t(p.y + 0.5), intptr_t(1), intptr_t(screen.height - 2));
        uint32_t* c = reinterpret_cast<uint32_t*>(screen.framebuffer) + y * pitch + x;
        c[-1] = c[0] = c[1] = p.color;
        c[-pitch] = c[pitch] = p.color;
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameFloor)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

}  // namespace
