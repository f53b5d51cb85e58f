// Sprite runs: finding them, dropping them, and the plain routine that
// puts an image by them.
#include "sprite_runs.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "blit_pixel.h"
#include "../platform/runtime.h"

namespace fb {

namespace {

template <int bpp>
inline bool Opaque(const uint8_t* p) {
  if constexpr (bpp == 4) return !IsKey32(LoadU32(p));
  if constexpr (bpp == 2) return LoadU16(p) != TRANSPARENT_COLOR_16;
  return *p != TRANSPARENT_COLOR_8;
}

// Calls found(begin, end) for each opaque run of a row of width pixels.
template <int bpp, typename Found>
void ScanRow(const uint8_t* row, int width, Found found) {
  for (int x = 0; x < width;) {
    if (!Opaque<bpp>(row + x * bpp)) {
      ++x;
      continue;
    }
    const int begin = x;
    while (x < width && Opaque<bpp>(row + x * bpp)) ++x;
    found(begin, x);
  }
}

// A row of more runs than this is one mixed run.  Measured: the game's
// alien (up to 3 runs a row) and a round sprite put faster by their runs;
// a picture with one transparent pixel in sixteen (60 runs a row) puts
// five times slower by runs than by testing the key, as each run's length
// is a branch the processor cannot foresee.
constexpr uint32_t MOST_RUNS_PER_ROW = 4;

template <int bpp>
SpriteRuns* FindRuns(const Image& image) {
  // The runs of a row, counted first: a row of many is one mixed run.
  const int width = int(image.width);
  auto row = [&image](uint32_t y) { return ImagePixels(&image) + size_t(y) * image.pitch; };
  auto runsOf = [&](uint32_t y) {
    uint32_t n = 0;
    ScanRow<bpp>(row(y), width, [&n](int, int) { ++n; });
    return n;
  };
  uint64_t count = 0;
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint32_t n = runsOf(y);
    count += n > MOST_RUNS_PER_ROW ? 1 : n;
  }
  const uint64_t bytes = sizeof(SpriteRuns) + (uint64_t(image.height) + 1) * sizeof(uint32_t) +
                         count * sizeof(SpriteRun);
  if (bytes > SIZE_MAX) return nullptr;
  void* block = std::malloc(size_t(bytes));
  if (!block) return nullptr;
  auto* rowStart = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(block) + sizeof(SpriteRuns));
  auto* list = reinterpret_cast<SpriteRun*>(rowStart + image.height + 1);
  auto* runs = new (block) SpriteRuns{{image.bpp, image.width, image.height, image.pitch},
                                      rowStart, list};
  uint32_t n = 0, lastRow = 0;
  auto add = [&](uint32_t y, uint32_t begin, uint32_t end, bool mixed) {
    list[n++] = {uint16_t(begin), uint16_t(end - begin), uint16_t(y - lastRow), uint16_t(mixed)};
    lastRow = y;
  };
  for (uint32_t y = 0; y < image.height; ++y) {
    rowStart[y] = n;  // a row without runs ends where it starts
    if (runsOf(y) > MOST_RUNS_PER_ROW)
      add(y, 0, image.width, true);
    else
      ScanRow<bpp>(row(y), width,
                   [&](int begin, int end) { add(y, uint32_t(begin), uint32_t(end), false); });
  }
  rowStart[image.height] = n;
  return runs;
}

template <int bpp, bool clearAlpha>
inline void CopyPixel(const uint8_t* s, uint8_t* d) {
  if constexpr (clearAlpha)
    StoreU32(d, LoadU32(s) & 0x00FFFFFFu);
  else
    std::memcpy(d, s, bpp);
}

// A header CreateImage could have made.
bool Usable(const Image& image) {
  return image.type == IMAGE_TYPE && (image.bpp == 1 || image.bpp == 2 || image.bpp == 4) &&
         image.width >= 1 && image.height >= 1 && image.width <= uint32_t(IMAGE_MAX_SIDE) &&
         image.height <= uint32_t(IMAGE_MAX_SIDE) &&
         uint64_t(image.pitch) >= uint64_t(image.width) * image.bpp;
}

template <int bpp, bool clearAlpha>
void PlainRuns(const SpriteRuns& runs, const uint8_t* src, uint8_t* dst, int firstRow, int rows,
               int firstColumn, int columns, int srcPitch, int dstPitch) {
  ForEachRun<bpp>(
      runs, src, dst, firstRow, rows, firstColumn, columns, srcPitch, dstPitch,
      [](const uint8_t* s, uint8_t* d, int count) {
        if (!clearAlpha) return void(std::memcpy(d, s, size_t(count) * bpp));
        for (int i = 0; i < count; ++i) CopyPixel<bpp, clearAlpha>(s + i * bpp, d + i * bpp);
      },
      [srcPitch, dstPitch](const uint8_t* s, uint8_t* d, int count, int n) {
        for (int y = 0; y < n; ++y, s += srcPitch, d += dstPitch)
          for (int i = 0; i < count; ++i)
            if (Opaque<bpp>(s + i * bpp)) CopyPixel<bpp, clearAlpha>(s + i * bpp, d + i * bpp);
      });
}

}  // namespace

int32_t KeepSpriteRuns(Image* image) {
  SetLastError(1);
  if (!image) return 1;
  DropSpriteRuns(image);
  if (!Usable(*image)) return 1;
  SpriteRuns* runs = image->bpp == 4   ? FindRuns<4>(*image)
                     : image->bpp == 2 ? FindRuns<2>(*image)
                                       : FindRuns<1>(*image);
  if (!runs) return 1;
  image->spriteRuns = uint64_t(reinterpret_cast<uintptr_t>(runs));
  image->runsOwner = uint32_t(reinterpret_cast<uintptr_t>(image));
  SetLastError(0);
  return 0;
}

void DropSpriteRuns(Image* image) {
  if (!image || !image->spriteRuns) return;
  // Runs seen through a copy of another image's header belong to that
  // image: only its own are freed.
  void* block = reinterpret_cast<void*>(uintptr_t(image->spriteRuns));
  const bool own = image->runsOwner == uint32_t(reinterpret_cast<uintptr_t>(image));
  image->spriteRuns = 0;
  image->runsOwner = 0;
  if (own) std::free(block);
}

bool HasSpriteRuns(const Image* image) { return image && RunsOf(image); }

RunsRoutine PlainRunsRoutine(int bpp, bool clearAlpha) {
  if (bpp == 4) return clearAlpha ? PlainRuns<4, true> : PlainRuns<4, false>;
  return bpp == 2 ? PlainRuns<2, false> : PlainRuns<1, false>;
}

}  // namespace fb
