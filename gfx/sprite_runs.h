// Sprite runs inside the drawing services: the table KeepSpriteRuns
// (image.h) keeps beside an image, and the routines that put an image by
// it.  Program's thread.
#pragma once
#include <cstdint>

#include "blit.h"
#include "image.h"

namespace fb {

// count pixels from column begin of a row, all opaque; the runs of a row
// are in order and apart (a transparent pixel lies between two of them).
// A row broken into many runs has instead one mixed run over all its
// pixels, which the ordinary keyed routine puts: walking many short runs
// costs more than testing the key.  rowsBefore: how many rows lie between
// the row of the run before (whichever row that was) and this one's, so
// that a walk over all rows needs no table of rows: 0 for a run on the
// same row.  The first run's is its row.
struct SpriteRun {
  uint16_t begin;
  uint16_t count;       // 1 .. IMAGE_MAX_SIDE
  uint16_t rowsBefore;  // below IMAGE_MAX_SIDE
  uint16_t mixed;       // 1: opaque and transparent pixels
};

// One block: this record, then rowStart, then runs.
struct SpriteRuns {
  // The image's bpp, width, height and pitch when the runs were found: a
  // header changed since is not described by them.
  uint32_t shape[4];
  // height + 1 entries: the runs of row y are runs[rowStart[y]] up to
  // runs[rowStart[y + 1]], not included.
  const uint32_t* rowStart;
  const SpriteRun* runs;
};

// The runs of image, or nullptr when it keeps none that fit it.
inline const SpriteRuns* RunsOf(const Image* image) {
  if (!image->spriteRuns || image->runsOwner != uint32_t(reinterpret_cast<uintptr_t>(image)))
    return nullptr;
  const auto* runs = reinterpret_cast<const SpriteRuns*>(uintptr_t(image->spriteRuns));
  const bool same = runs->shape[0] == image->bpp && runs->shape[1] == image->width &&
                    runs->shape[2] == image->height && runs->shape[3] == image->pitch;
  return same ? runs : nullptr;
}

// Puts the opaque pixels of rows firstRow .. firstRow + rows - 1 and
// columns firstColumn .. firstColumn + columns - 1 of the image the runs
// describe: src is that rectangle's first pixel, dst where it goes.  Under
// transparent pixels the target is neither written nor, outside mixed
// runs, read.  Callers clip, and the source and target share no pixels.
using RunsRoutine = void (*)(const SpriteRuns& runs, const uint8_t* src, uint8_t* dst,
                             int firstRow, int rows, int firstColumn, int columns, int srcPitch,
                             int dstPitch);

// The routine of a keyed copy at bpp bytes per pixel; clearAlpha clears
// the alpha byte of 4-byte pixels, as PutMode::Transparent does.  The
// plain one copies each run with memcpy; the AVX2 one (the plain one
// where the build has no AVX2) has a loop of its own at 4 bytes.
RunsRoutine PlainRunsRoutine(int bpp, bool clearAlpha);
RunsRoutine Avx2RunsRoutine(int bpp, bool clearAlpha);

// Whether a put in mode at alpha onto bpp-byte pixels is a keyed copy,
// which runs may draw: the transparent pixels keep the target's, every
// other one becomes the image's (with its alpha byte cleared when
// clearAlpha comes back set).
inline bool IsKeyedCopy(PutMode mode, int bpp, int32_t alpha, bool& clearAlpha) {
  clearAlpha = mode == PutMode::Transparent && bpp == 4;
  if (mode == PutMode::Transparent) return true;
  if (mode != PutMode::Blend || alpha == 0) return false;
  // The blend factors of the routines: (alpha & 255) + 1 of 256 at 4
  // bytes, ((alpha & 255) + 7) / 8 of 32 at 2; nothing to blend at 1.
  const uint32_t a = uint32_t(alpha) & 0xFF;
  return bpp == 1 || (bpp == 2 && a >= 249) || (bpp == 4 && a == 255);
}

namespace {

// Puts the runs of rows firstRow .. firstRow + rows - 1 that meet columns
// firstColumn .. firstColumn + columns - 1, cut to them: copy(s, d, count)
// for an opaque run, mixed(s, d, count, n) for n mixed runs one below the
// other (consecutive rows, the same columns).  s and d address the piece's
// first pixel in the source and the target, count is its length in
// pixels; src and dst are as for a RunsRoutine.  Internal linkage, as the
// blit routines' helpers (blit_pixel.h): the AVX2 set compiles it with
// its own flags.
template <int bpp, typename Copy, typename Mixed>
inline void ForEachRun(const SpriteRuns& r, const uint8_t* src, uint8_t* dst, int firstRow,
                       int rows, int firstColumn, int columns, int srcPitch, int dstPitch,
                       Copy copy, Mixed mixed) {
  const uint32_t* rowStart = r.rowStart + firstRow;
  const SpriteRun* run = r.runs + rowStart[0];
  if (firstRow == 0 && firstColumn == 0 && uint32_t(columns) == r.shape[1]) {
    // Whole rows from the first, a sprite wholly inside the clip rectangle
    // (or cut off only below): nothing to cut, and the runs lead from row
    // to row themselves.
    for (const SpriteRun* const end = r.runs + rowStart[rows]; run != end; ++run) {
      src += intptr_t(run->rowsBefore) * srcPitch;
      dst += intptr_t(run->rowsBefore) * dstPitch;
      if (!run->mixed) {
        copy(src + run->begin * bpp, dst + run->begin * bpp, int(run->count));
        continue;
      }
      // Mixed runs cover whole rows: those of the rows that follow go
      // with this one.
      int n = 1;
      while (run + n != end && run[n].mixed && run[n].rowsBefore == 1) ++n;
      mixed(src, dst, int(run->count), n);
      src += intptr_t(n - 1) * srcPitch;
      dst += intptr_t(n - 1) * dstPitch;
      run += n - 1;
    }
    return;
  }
  const int last = firstColumn + columns;
  for (int y = 0; y < rows; ++y, src += srcPitch, dst += dstPitch)
    for (const SpriteRun* end = r.runs + rowStart[y + 1]; run != end; ++run) {
      const int begin = run->begin > firstColumn ? run->begin : firstColumn;
      const int runEnd = int(run->begin) + int(run->count);
      const int stop = runEnd < last ? runEnd : last;
      if (begin >= stop) continue;
      const uint8_t* const s = src + (begin - firstColumn) * bpp;
      uint8_t* const d = dst + (begin - firstColumn) * bpp;
      if (run->mixed)
        mixed(s, d, stop - begin, 1);
      else
        copy(s, d, stop - begin);
    }
}

}  // namespace

}  // namespace fb
