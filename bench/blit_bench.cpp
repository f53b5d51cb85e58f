// The game's blit work, each for the plain and the packed sets, beside
// memcpy of the same bytes: a full-screen keyed copy (the background at
// alpha 255), blends at alpha 200 (full screen and the reload indicator's
// 200 x 100), and 251 keyed 25 x 25 sprites put through PutImage.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include <fb/gfx/blit.h>
#include <fb/gfx/blit_packed.h>
#include <fb/gfx/spans.h>
#include <fb/platform/screen.h>

namespace fb {
namespace {

constexpr int SCREEN_W = 1024, SCREEN_H = 768;

// Opaque random colours with about one transparent pixel in sixteen.
std::vector<uint32_t> Picture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> p(size_t(w) * size_t(h));
  for (uint32_t& v : p) v = rng() % 16 == 0 ? TRANSPARENT_FILL_32 : 0xFF000000u | (rng() & 0xFFFFFF);
  return p;
}

// Which set a benchmark runs: 0 plain, 1 SSE2, 2 AVX2 (skipped when the
// processor lacks it).
const BlitTable* SetTable(benchmark::State& state, PutMode mode) {
  switch (state.range(0)) {
    case 0: return PlainBlitTable(mode);
    case 1: return Sse2BlitTable(mode);
    default:
      if (!(CpuFeatures() & CPU_AVX2)) {
        state.SkipWithError("no AVX2 on this processor");
        return nullptr;
      }
      return Avx2BlitTable(mode);
  }
}

void SetLabel(benchmark::State& state) {
  static const char* names[] = {"plain", "sse2", "avx2"};
  state.SetLabel(names[state.range(0)]);
}

// One w x h blit of a packed picture onto a screen-sized destination.
void Blit(benchmark::State& state, int w, int h, int32_t alpha) {
  const BlitTable* table = SetTable(state, PutMode::Blend);
  if (!table) return;
  std::vector<uint32_t> src = Picture(w, h, 1), dst = Picture(SCREEN_W, SCREEN_H, 2);
  for (auto _ : state) {
    table->byBpp[3](reinterpret_cast<const uint8_t*>(src.data()),
                    reinterpret_cast<uint8_t*>(dst.data()), w, h, w * 4, SCREEN_W * 4, alpha, 0, 0);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  SetLabel(state);
  state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
}

void Memcpy(benchmark::State& state, int w, int h) {
  std::vector<uint32_t> src = Picture(w, h, 1), dst = Picture(SCREEN_W, SCREEN_H, 2);
  for (auto _ : state) {
    for (int y = 0; y < h; ++y)
      std::memcpy(&dst[size_t(y) * SCREEN_W], &src[size_t(y) * size_t(w)], size_t(w) * 4);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
}

void BM_Keyed1024x768(benchmark::State& state) { Blit(state, SCREEN_W, SCREEN_H, 255); }
void BM_Blend1024x768(benchmark::State& state) { Blit(state, SCREEN_W, SCREEN_H, 200); }
void BM_Blend200x100(benchmark::State& state) { Blit(state, 200, 100, 200); }
void BM_Memcpy1024x768(benchmark::State& state) { Memcpy(state, SCREEN_W, SCREEN_H); }
void BM_Memcpy200x100(benchmark::State& state) { Memcpy(state, 200, 100); }

BENCHMARK(BM_Keyed1024x768)->DenseRange(0, 2);
BENCHMARK(BM_Memcpy1024x768);
BENCHMARK(BM_Blend1024x768)->DenseRange(0, 2);
BENCHMARK(BM_Blend200x100)->DenseRange(0, 2);
BENCHMARK(BM_Memcpy200x100);

// 251 sprites, the size of the alien pool, at places fixed by the seed.
constexpr int SPRITES = 251, SPRITE = 25;
struct Place {
  int x, y;
};
std::vector<Place> Places() {
  std::mt19937 rng(7);
  std::vector<Place> places(SPRITES);
  for (Place& p : places)
    p = {int(rng() % (SCREEN_W - SPRITE + 1)), int(rng() % (SCREEN_H - SPRITE + 1))};
  return places;
}

// A round sprite: transparent corners, opaque inside, as the game's are.
Image* Sprite() {
  Image* image = CreateImage(SPRITE, SPRITE, 0, 32, -1);
  for (int y = 0; y < SPRITE; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(ImagePixels(image) + size_t(y) * image->pitch);
    for (int x = 0; x < SPRITE; ++x) {
      int dx = 2 * x - SPRITE + 1, dy = 2 * y - SPRITE + 1;
      if (dx * dx + dy * dy <= SPRITE * SPRITE) row[x] = 0xFF204080u + uint32_t(x + y);
    }
  }
  return image;
}

// Through PutImage on a Null-driver screen: arg 0 opens it with packed
// instructions forbidden (the plain set), 1 with all of them.
void BM_Sprites(benchmark::State& state) {
  ForceCpuFeatures(state.range(0) == 0 ? 0u : ~0u);
  if (SetScreenMode(SCREEN_W, SCREEN_H, 32, 0, SCREEN_NULL, 0) != 0) {
    state.SkipWithError("no screen");
    return;
  }
  Image* sprite = Sprite();
  const std::vector<Place> places = Places();
  for (auto _ : state) {
    for (const Place& p : places)
      PutImage(nullptr, float(p.x), float(p.y), sprite, PUT_WHOLE_IMAGE, 0, 0, 0, 0,
               PutMode::Blend, 255);
    benchmark::ClobberMemory();
  }
  state.SetLabel(state.range(0) == 0 ? "plain" : (CpuFeatures() & CPU_AVX2) ? "avx2" : "sse2");
  state.SetBytesProcessed(int64_t(state.iterations()) * SPRITES * SPRITE * SPRITE * 4);
  DestroyImage(sprite);
  CloseScreen();
  ForceCpuFeatures(~0u);
}

void BM_SpritesMemcpy(benchmark::State& state) {
  std::vector<uint32_t> src(SPRITE * SPRITE, 0xFF204080u), dst(size_t(SCREEN_W) * SCREEN_H);
  const std::vector<Place> places = Places();
  for (auto _ : state) {
    for (const Place& p : places)
      for (int y = 0; y < SPRITE; ++y)
        std::memcpy(&dst[size_t(p.y + y) * SCREEN_W + size_t(p.x)], &src[size_t(y) * SPRITE],
                    SPRITE * 4);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * SPRITES * SPRITE * SPRITE * 4);
}

BENCHMARK(BM_Sprites)->DenseRange(0, 1);
BENCHMARK(BM_SpritesMemcpy);

}  // namespace
}  // namespace fb
