// The explosion particles' work: 50,000 filled radius-1 circles (five
// pixels each) at random places on a 1024 x 768 x 32 screen, with the
// plain and the packed span routines and as a run of dots, beside memcpy
// of the same pixel count and the bare stores of the same crosses.  The
// screen lock is held across the batch, as the game holds it for a frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "fastest.h"
#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/spans.h>
#include <fb/platform/screen.h>

using namespace fb;

namespace {

constexpr int CIRCLES = 50000;
constexpr size_t PIXELS_PER_CIRCLE = 5;

struct Place {
  float x, y;
};

std::vector<Place> RandomPlaces() {
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> x(0, 1023), y(0, 767);
  std::vector<Place> places(CIRCLES);
  for (Place& p : places) p = {x(gen), y(gen)};
  return places;
}

// asRun: the same dots as a run (BeginDots, DrawDot, EndDots), as the
// game's particles draw them.
void Circles(benchmark::State& state, uint32_t cpuFeatures, bool asRun) {
  ForceCpuFeatures(cpuFeatures);
  if (SetScreenMode(1024, 768, 32, 0, SCREEN_NULL, 0) != 0) {
    state.SkipWithError("no screen");
    return;
  }
  const std::vector<Place> places = RandomPlaces();
  uint32_t colour = 0xFF000000;
  for (auto _ : state) {
    ScreenLock();
    if (asRun) {
      DotRun run = BeginDots(nullptr);
      for (const Place& p : places) DrawDot(run, p.x, p.y, colour);
      EndDots(run);
    } else {
      for (const Place& p : places)
        DrawCircle(nullptr, p.x, p.y, 1.0f, colour, 0.0f, 0.0f, FULL_CIRCLE, -1,
                   CoordFlags::Absolute);
    }
    ScreenUnlock(1, 0);
    colour += 0x010203;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * CIRCLES);
  state.SetBytesProcessed(int64_t(state.iterations()) * CIRCLES * int64_t(PIXELS_PER_CIRCLE) * 4);
  CloseScreen();
  ForceCpuFeatures(~0u);
}

// The floor under any dot routine on this machine: the same crosses,
// placed once beforehand, as five stores each with nothing checked,
// converted or marked.  What is left between it and Circles is the
// routine's own; the rest is the memory's.
void Crosses(benchmark::State& state) {
  if (SetScreenMode(1024, 768, 32, 0, SCREEN_NULL, 0) != 0) {
    state.SkipWithError("no screen");
    return;
  }
  std::vector<uint32_t*> centres;
  for (const Place& p : RandomPlaces()) {
    const int x = std::clamp(int(p.x + 0.5f), 1, 1022), y = std::clamp(int(p.y + 0.5f), 1, 766);
    centres.push_back(reinterpret_cast<uint32_t*>(Screen()->framebuffer) + y * 1024 + x);
  }
  uint32_t colour = 0xFF000000;
  for (auto _ : state) {
    for (uint32_t* c : centres) {
      c[-1] = c[0] = c[1] = colour;
      c[-1024] = c[1024] = colour;
    }
    colour += 0x010203;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * CIRCLES);
  CloseScreen();
}

void Memcpy(benchmark::State& state) {
  const size_t bytes = size_t(CIRCLES) * PIXELS_PER_CIRCLE * 4;
  std::vector<uint8_t> src(bytes, 1), dst(bytes, 2);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

BENCHMARK_CAPTURE(Circles, plain, 0u, false)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);
BENCHMARK_CAPTURE(Circles, packed, ~0u, false)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);
BENCHMARK_CAPTURE(Circles, run, ~0u, true)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);
BENCHMARK(Crosses)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);
BENCHMARK(Memcpy)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", FastestRepetition);

}  // namespace
