// The game's blits beside other libraries doing the same work on the same
// pixels in the same run: a full-screen keyed copy (the background at
// alpha 255), keyed blends at alpha 200 (full screen and the reload
// indicator's 200 x 100) and 251 keyed 25 x 25 sprites at random places,
// all onto a 1024 x 768 x 32 destination.
//
// Each piece of work is measured as Work/who:
//   ours       PutImage onto a Null-driver screen (the public path), as the
//              game draws: its pictures keep their sprite runs, and it
//              holds the screen lock across a frame's puts
//   sdl2_rle   SDL2's keyed blit with run-length acceleration (blend rows:
//              its alpha-modulated keyed blit, run-length accelerated)
//   sdl2       the same without run-length acceleration
//   pixman     pixman's OVER of a premultiplied copy whose key pixels have
//              alpha 0 (blend rows: OVER through a solid mask of 200)
//   memcpy     memcpy of the same rows
//   opaque_runs  copies of the opaque runs of the rows only, found before
//              the timed loop, in place without a call (the sprites): the
//              bare stores any keyed copy must make, a floor
//   avx2_loop  a straight AVX2 loop of the keyed copy or blend, no set-up
// The rival rows exist only when their development packages were found at
// configure time.  tools/speed_table.sh runs this set pinned to one core
// and prints the table with each result as a ratio to the best rival.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fastest.h"
#include <fb/gfx/blit.h>
#include <fb/gfx/image.h>
#include <fb/gfx/spans.h>
#include <fb/platform/screen.h>

#if defined(FB_BENCH_SDL2)
#define SDL_MAIN_HANDLED
#include <SDL.h>
#endif
#if defined(FB_BENCH_PIXMAN)
#include <pixman.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace fb {
namespace {

constexpr int SCREEN_W = 1024, SCREEN_H = 768;
constexpr int SPRITES = 251, SPRITE = 25;
constexpr int BLEND_ALPHA = 200;

// One piece of work: a source picture put at places onto the destination.
struct Work {
  const char* name;
  int width, height;
  int32_t alpha;                 // 255: keyed copy
  std::vector<uint32_t> pixels;  // width x height, packed rows
  std::vector<PointI> places;
};

// Opaque random colours with about one transparent pixel in sixteen.
std::vector<uint32_t> RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> p(size_t(w) * size_t(h));
  for (uint32_t& v : p)
    v = rng() % 16 == 0 ? TRANSPARENT_FILL_32 : 0xFF000000u | (rng() & 0xFFFFFF);
  return p;
}

// A round sprite: transparent corners, opaque inside, as the game's are.
std::vector<uint32_t> RoundSprite() {
  std::vector<uint32_t> p(SPRITE * SPRITE, TRANSPARENT_FILL_32);
  for (int y = 0; y < SPRITE; ++y)
    for (int x = 0; x < SPRITE; ++x) {
      int dx = 2 * x - SPRITE + 1, dy = 2 * y - SPRITE + 1;
      if (dx * dx + dy * dy <= SPRITE * SPRITE)
        p[size_t(y * SPRITE + x)] = 0xFF204080u + uint32_t(x + y);
    }
  return p;
}

// The alien pool's size, at places fixed by the seed.
std::vector<PointI> SpritePlaces() {
  std::mt19937 rng(7);
  std::vector<PointI> places(SPRITES);
  for (PointI& p : places)
    p = {int(rng() % (SCREEN_W - SPRITE + 1)), int(rng() % (SCREEN_H - SPRITE + 1))};
  return places;
}

std::vector<Work>& Works() {
  static std::vector<Work> works = [] {
    std::vector<Work> w;
    w.push_back(
        {"Keyed1024x768", SCREEN_W, SCREEN_H, 255, RandomPicture(SCREEN_W, SCREEN_H, 1), {{0, 0}}});
    w.push_back({"Blend1024x768",
                 SCREEN_W,
                 SCREEN_H,
                 BLEND_ALPHA,
                 RandomPicture(SCREEN_W, SCREEN_H, 1),
                 {{0, 0}}});
    w.push_back({"Blend200x100", 200, 100, BLEND_ALPHA, RandomPicture(200, 100, 1), {{412, 334}}});
    w.push_back({"Sprites251", SPRITE, SPRITE, 255, RoundSprite(), SpritePlaces()});
    return w;
  }();
  return works;
}

int64_t PixelsPerRun(const Work& work) {
  return int64_t(work.width) * work.height * int64_t(work.places.size());
}

// The destination every rival draws on: what our screen starts with.
std::vector<uint32_t> Destination() { return RandomPicture(SCREEN_W, SCREEN_H, 2); }

// Whether dst (packed rows of the screen's size) holds what a keyed copy
// of the work leaves, however often repeated, in its colour bytes: a rival
// that draws other pixels does other work, and its time says nothing.
bool LeavesKeyedCopy(const uint32_t* dst, const Work& work) {
  if (work.alpha != 255) return true;  // a blend repeated moves on
  std::vector<uint32_t> want = Destination();
  for (const PointI& p : work.places)
    for (int y = 0; y < work.height; ++y)
      for (int x = 0; x < work.width; ++x) {
        const uint32_t s = work.pixels[size_t(y * work.width + x)];
        if ((s & 0xFFFFFF) != TRANSPARENT_COLOR_32)
          want[size_t(p.y + y) * SCREEN_W + size_t(p.x + x)] = s;
      }
  for (size_t i = 0; i < want.size(); ++i)
    if ((want[i] ^ dst[i]) & 0xFFFFFF) return false;
  return true;
}

void Finish(benchmark::State& state, const Work& work, const uint32_t* dst = nullptr) {
  state.SetBytesProcessed(int64_t(state.iterations()) * PixelsPerRun(work) * 4);
  if (dst && !LeavesKeyedCopy(dst, work)) state.SkipWithError("not the keyed copy's pixels");
}

void Ours(benchmark::State& state, const Work& work) {
  if (SetScreenMode(SCREEN_W, SCREEN_H, 32, 0, SCREEN_NULL, 0) != 0) {
    state.SkipWithError("no screen");
    return;
  }
  const std::vector<uint32_t> start = Destination();
  std::memcpy(Screen()->framebuffer, start.data(), start.size() * 4);
  Image* image = CreateImage(work.width, work.height, 0, 32, -1);
  for (int y = 0; y < work.height; ++y)
    std::memcpy(ImagePixels(image) + size_t(y) * image->pitch, &work.pixels[size_t(y * work.width)],
                size_t(work.width) * 4);
  KeepSpriteRuns(image);
  for (auto _ : state) {
    ScreenLock();
    for (const PointI& p : work.places)
      PutImage(nullptr, float(p.x), float(p.y), image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend,
               work.alpha);
    ScreenUnlock(1, 0);
    benchmark::ClobberMemory();
  }
  state.SetLabel((Screen()->flags & SCREEN_MARK_AVX2) ? "avx2" : "sse2");
  Finish(state, work, reinterpret_cast<const uint32_t*>(Screen()->framebuffer));
  DestroyImage(image);
  CloseScreen();
}

void Memcpy(benchmark::State& state, const Work& work) {
  std::vector<uint32_t> dst = Destination();
  for (auto _ : state) {
    for (const PointI& p : work.places)
      for (int y = 0; y < work.height; ++y)
        std::memcpy(&dst[size_t(p.y + y) * SCREEN_W + size_t(p.x)],
                    &work.pixels[size_t(y * work.width)], size_t(work.width) * 4);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, work);
}

// The opaque runs of each row, as (row, first column, pixels).
struct OpaqueRun {
  int y, x, count;
};
std::vector<OpaqueRun> OpaqueRuns(const Work& work) {
  std::vector<OpaqueRun> runs;
  for (int y = 0; y < work.height; ++y)
    for (int x = 0; x < work.width;) {
      auto opaque = [&](int at) {
        return (work.pixels[size_t(y * work.width + at)] & 0xFFFFFF) != TRANSPARENT_COLOR_32;
      };
      if (!opaque(x)) {
        ++x;
        continue;
      }
      const int begin = x;
      while (x < work.width && opaque(x)) ++x;
      runs.push_back({y, begin, x - begin});
    }
  return runs;
}

// A run's pixels copied in place, without a call: 32-byte moves, the last
// one overlapping the one before, as the keyed routines copy a run.
#if defined(__x86_64__)
[[gnu::target("avx2")]] void CopyPixels(uint32_t* d, const uint32_t* s, int count) {
  if (count >= 8) {
    for (int x = 0; x < count - 8; x += 8)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + count - 8),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + count - 8)));
  } else {
    for (int x = 0; x < count; ++x) d[x] = s[x];
  }
}
#else
void CopyPixels(uint32_t* d, const uint32_t* s, int count) { std::memcpy(d, s, size_t(count) * 4); }
#endif

#if defined(__x86_64__)
[[gnu::target("avx2")]]
#endif
void OpaqueRunStores(benchmark::State& state, const Work& work) {
  const std::vector<OpaqueRun> runs = OpaqueRuns(work);
  std::vector<uint32_t> dst = Destination();
  for (auto _ : state) {
    for (const PointI& p : work.places)
      for (const OpaqueRun& r : runs)
        CopyPixels(&dst[size_t(p.y + r.y) * SCREEN_W + size_t(p.x + r.x)],
                   &work.pixels[size_t(r.y * work.width + r.x)], r.count);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, work, dst.data());
}

#if defined(__x86_64__)
// The straight loop: eight pixels a step, the rest one at a time, with the
// same arithmetic as the blit routines (a keyed select, or the per-byte
// blend d + floor((s - d) * a / 256) in 16-bit lanes).
[[gnu::target("avx2")]] void StraightRow(const uint32_t* src, uint32_t* dst, int width,
                                         int32_t alpha) {
  const __m256i keyMask = _mm256_set1_epi32(0x00FFFFFF), key = _mm256_set1_epi32(0x00FF00FF);
  const __m256i low = _mm256_set1_epi16(0x00FF), high = _mm256_set1_epi16(short(0xFF00));
  const __m256i a = _mm256_set1_epi16(short(alpha + 1));
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + x));
    const __m256i k = _mm256_cmpeq_epi32(_mm256_and_si256(s, keyMask), key);
    __m256i r = s;
    if (alpha != 255) {
      const __m256i rb = _mm256_srli_epi16(
          _mm256_add_epi16(
              _mm256_mullo_epi16(
                  _mm256_sub_epi16(_mm256_and_si256(s, low), _mm256_and_si256(d, low)), a),
              _mm256_slli_epi16(d, 8)),
          8);
      const __m256i ag = _mm256_and_si256(
          _mm256_add_epi16(
              _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_srli_epi16(s, 8), _mm256_srli_epi16(d, 8)),
                                 a),
              _mm256_and_si256(d, high)),
          high);
      r = _mm256_or_si256(rb, ag);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_blendv_epi8(r, d, k));
  }
  for (; x < width; ++x) {
    const uint32_t s = src[x], d = dst[x];
    if ((s & 0xFFFFFF) == 0xFF00FF) continue;
    if (alpha == 255) {
      dst[x] = s;
      continue;
    }
    uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int sb = int(s >> shift & 0xFF), db = int(d >> shift & 0xFF);
      r |= uint32_t(db + (((sb - db) * (alpha + 1)) >> 8)) << shift;
    }
    dst[x] = r;
  }
}

void Avx2Loop(benchmark::State& state, const Work& work) {
  if (!(CpuFeatures() & CPU_AVX2)) {
    state.SkipWithError("no AVX2 on this processor");
    return;
  }
  std::vector<uint32_t> dst = Destination();
  for (auto _ : state) {
    for (const PointI& p : work.places)
      for (int y = 0; y < work.height; ++y)
        StraightRow(&work.pixels[size_t(y * work.width)],
                    &dst[size_t(p.y + y) * SCREEN_W + size_t(p.x)], work.width, work.alpha);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, work, dst.data());
}
#endif

#if defined(FB_BENCH_SDL2)
// Both surfaces 32-bit RGB without an alpha channel, so that the keyed
// copy is a copy; the blend rows modulate by the surface's alpha.  SDL2
// compares all 32 bits with its colour key, the unused top byte too, so
// the transparent pixels get the key's own value: as they are (top byte
// 0xFF) it would take none of them for transparent and copy every pixel.
void Sdl2(benchmark::State& state, const Work& work, bool rle) {
  std::vector<uint32_t> dstPixels = Destination();
  std::vector<uint32_t> srcPixels = work.pixels;
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormatFrom(dstPixels.data(), SCREEN_W, SCREEN_H, 32,
                                                        SCREEN_W * 4, SDL_PIXELFORMAT_RGB888);
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(srcPixels.data(), work.width, work.height,
                                                        32, work.width * 4, SDL_PIXELFORMAT_RGB888);
  if (!dst || !src) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  const Uint32 key = SDL_MapRGB(src->format, 0xFF, 0x00, 0xFF);
  for (uint32_t& v : srcPixels)
    if ((v & 0xFFFFFF) == TRANSPARENT_COLOR_32) v = key;
  SDL_SetColorKey(src, SDL_TRUE, key);
  if (work.alpha == 255) {
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
  } else {
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(src, Uint8(work.alpha));
  }
  SDL_SetSurfaceRLE(src, rle ? 1 : 0);
  for (auto _ : state) {
    for (const PointI& p : work.places) {
      SDL_Rect at{p.x, p.y, work.width, work.height};
      SDL_BlitSurface(src, nullptr, dst, &at);
    }
    benchmark::ClobberMemory();
  }
  Finish(state, work, dstPixels.data());
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
#endif

#if defined(FB_BENCH_PIXMAN)
// pixman has no transparent colour: the key pixels become alpha 0 in a
// premultiplied picture, which OVER leaves out just the same.
void Pixman(benchmark::State& state, const Work& work) {
  std::vector<uint32_t> dstPixels = Destination();
  std::vector<uint32_t> srcPixels = work.pixels;
  for (uint32_t& v : srcPixels)
    if ((v & 0xFFFFFF) == TRANSPARENT_COLOR_32) v = 0;
  pixman_image_t* dst =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, SCREEN_W, SCREEN_H, dstPixels.data(), SCREEN_W * 4);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, work.width, work.height,
                                                 srcPixels.data(), work.width * 4);
  pixman_image_t* mask = nullptr;
  if (work.alpha != 255) {
    const pixman_color_t opacity = {0, 0, 0, uint16_t(work.alpha * 257)};
    mask = pixman_image_create_solid_fill(&opacity);
  }
  for (auto _ : state) {
    for (const PointI& p : work.places)
      pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, p.x, p.y, work.width,
                               work.height);
    benchmark::ClobberMemory();
  }
  Finish(state, work, dstPixels.data());
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
}
#endif

void Register(const Work& work, const char* who,
              std::function<void(benchmark::State&, const Work&)> fn) {
  benchmark::RegisterBenchmark((std::string(work.name) + "/" + who).c_str(),
                               [fn, &work](benchmark::State& state) { fn(state, work); })
      ->Unit(benchmark::kMicrosecond)
      ->ComputeStatistics("min", FastestRepetition);
}

[[maybe_unused]] const bool registered = [] {
  for (const Work& work : Works()) {
    Register(work, "ours", Ours);
#if defined(FB_BENCH_SDL2)
    Register(work, "sdl2_rle", [](benchmark::State& s, const Work& w) { Sdl2(s, w, true); });
    Register(work, "sdl2", [](benchmark::State& s, const Work& w) { Sdl2(s, w, false); });
#endif
#if defined(FB_BENCH_PIXMAN)
    Register(work, "pixman", Pixman);
#endif
    Register(work, "memcpy", Memcpy);
    if (work.places.size() > 1) Register(work, "opaque_runs", OpaqueRunStores);
#if defined(__x86_64__)
    Register(work, "avx2_loop", Avx2Loop);
#endif
  }
  return true;
}();

}  // namespace
}  // namespace fb
