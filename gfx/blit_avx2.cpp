// The AVX2 blit routines, compiled with -mavx2 and used only when the
// processor reports AVX2: eight 32-bit, sixteen 16-bit or thirty-two
// 8-bit pixels per step.  Each routine finishes its rows itself (masked
// loads and stores for 4-byte pixels, 128-bit VEX steps and single pixels
// otherwise): calling into the SSE2 set for the tail would mix 256-bit and
// legacy instructions without vzeroupper.  Every routine gives exactly
// the plain set's pixels.  Callers clip.
#include "blit_packed.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "blit_pixel.h"
#include "sprite_runs.h"

namespace fb {

namespace {

inline __m256i Load(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline __m128i Load128(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store128(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
// Lanes where key is set keep d, the others take s.
inline __m256i Select(__m256i key, __m256i d, __m256i s) { return _mm256_blendv_epi8(s, d, key); }
inline __m128i Select128(__m128i key, __m128i d, __m128i s) { return _mm_blendv_epi8(s, d, key); }

// The first n (0..8) 32-bit lanes set.
inline __m256i TailMask(int n) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}
inline __m256i MaskLoad(const uint8_t* p, __m256i mask) {
  return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), mask);
}
inline void MaskStore(uint8_t* p, __m256i mask, __m256i v) {
  _mm256_maskstore_epi32(reinterpret_cast<int*>(p), mask, v);
}

inline __m256i Key32(__m256i s) {
  return _mm256_cmpeq_epi32(_mm256_and_si256(s, _mm256_set1_epi32(0x00FFFFFF)),
                            _mm256_set1_epi32(int(TRANSPARENT_COLOR_32)));
}

// Eight pixels of the 4-byte blend, a in 2..255: each byte is
// (s * a + d * (256 - a)) / 256 rounded down.  vpmaddubsw multiplies
// unsigned bytes by signed ones and adds neighbouring products, so with
// the weights a and 256 - a (both below 256) as the unsigned operand and
// the bytes of s and d, interleaved and moved to -128..127 by flipping
// their top bits, as the signed one, each 16-bit lane holds
// s * a + d * (256 - a) - 32768, exactly (it lies in -32768..32512).  Its
// high byte with the top bit flipped back is the result byte.  w holds the
// weight pair (a, 256 - a) in every 16-bit lane.
inline __m256i Blend32x8(__m256i s, __m256i d, __m256i w) {
  const __m256i bias = _mm256_set1_epi8(char(0x80));
  const __m256i sb = _mm256_xor_si256(s, bias), db = _mm256_xor_si256(d, bias);
  const __m256i lo = _mm256_srli_epi16(_mm256_maddubs_epi16(w, _mm256_unpacklo_epi8(sb, db)), 8);
  const __m256i hi = _mm256_srli_epi16(_mm256_maddubs_epi16(w, _mm256_unpackhi_epi8(sb, db)), 8);
  return _mm256_xor_si256(_mm256_packus_epi16(lo, hi), bias);
}

// Sixteen 5-6-5 pixels, w in 0..32 (see Blend16x8 of the SSE2 set).
inline __m256i Blend16x16(__m256i s, __m256i d, __m256i w) {
  const __m256i blueMask = _mm256_set1_epi16(0x001F);
  const __m256i greenMask = _mm256_set1_epi16(0x07E0);
  const __m256i db = _mm256_and_si256(d, blueMask);
  const __m256i b = _mm256_srli_epi16(
      _mm256_add_epi16(
          _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_and_si256(s, blueMask), db), w),
          _mm256_slli_epi16(db, 5)),
      5);
  const __m256i dg = _mm256_and_si256(d, greenMask);
  const __m256i g = _mm256_and_si256(
      _mm256_srli_epi16(
          _mm256_add_epi16(
              _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_and_si256(s, greenMask), dg), w),
              _mm256_slli_epi16(dg, 5)),
          5),
      greenMask);
  const __m256i dr = _mm256_srli_epi16(d, 11);
  const __m256i r = _mm256_and_si256(
      _mm256_slli_epi16(
          _mm256_add_epi16(
              _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_srli_epi16(s, 11), dr), w),
              _mm256_slli_epi16(dr, 5)),
          6),
      _mm256_set1_epi16(short(0xF800)));
  return _mm256_or_si256(_mm256_or_si256(r, g), b);
}

// Widest row (in pixels) that KeyedCopy32 treats as a sprite row, and the
// block in which it tests wider rows for transparent pixels.
constexpr int KEYED_NARROW_ROW = 64;
constexpr int KEYED_BLOCK = 64;

// Runs pixels(s, d) -> result over every row, eight 4-byte pixels a step.
// A row of 8 or more ends with one full step over its last eight pixels,
// loaded before the row's first store: the pixels it shares with the step
// before get the same values again, computed from the same untouched
// destination.  This beats masked stores, which are slow on some
// processors.  Narrower rows use one masked step.
template <typename Pixels>
inline void Rows32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, Pixels pixels) {
  if (width < 8) {
    const __m256i mask = TailMask(width);
    for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
      MaskStore(dst, mask, pixels(MaskLoad(src, mask), MaskLoad(dst, mask)));
    return;
  }
  const int last = 4 * (width - 8);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    const __m256i lastPixels = pixels(Load(src + last), Load(dst + last));
    for (int x = 0; x + 8 <= width; x += 8)
      Store(dst + 4 * x, pixels(Load(src + 4 * x), Load(dst + 4 * x)));
    if (width & 7) Store(dst + last, lastPixels);
  }
}

void Transparent8(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                  int dstPitch, int32_t, int32_t, int32_t) {
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
      const __m256i s = Load(src + x);
      Store(dst + x, Select(_mm256_cmpeq_epi8(s, _mm256_setzero_si256()), Load(dst + x), s));
    }
    if (x + 16 <= width) {
      const __m128i s = Load128(src + x);
      Store128(dst + x, Select128(_mm_cmpeq_epi8(s, _mm_setzero_si128()), Load128(dst + x), s));
      x += 16;
    }
    for (; x < width; ++x)
      if (src[x] != TRANSPARENT_COLOR_8) dst[x] = src[x];
  }
}

void Transparent16(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  const __m256i key = _mm256_set1_epi16(short(TRANSPARENT_COLOR_16));
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
      const __m256i s = Load(src + 2 * x);
      Store(dst + 2 * x, Select(_mm256_cmpeq_epi16(s, key), Load(dst + 2 * x), s));
    }
    if (x + 8 <= width) {
      const __m128i s = Load128(src + 2 * x);
      Store128(dst + 2 * x, Select128(_mm_cmpeq_epi16(s, _mm256_castsi256_si128(key)),
                                      Load128(dst + 2 * x), s));
      x += 8;
    }
    for (; x < width; ++x) {
      const uint16_t s = LoadU16(src + 2 * x);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst + 2 * x, s);
    }
  }
}

// The last 1..7 pixels of a keyed row, in pieces of 4, 2 and 1 that
// each cover only the row's own pixels: a piece without transparent
// pixels is stored, one of only transparent pixels skipped, and the
// others select against the destination.
inline void KeyedTail32(const uint8_t* s, uint8_t* d, int n, __m256i keep) {
  const __m128i k = _mm256_castsi256_si128(keep);
  const __m128i keyMask = _mm_set1_epi32(0x00FFFFFF);
  const __m128i key = _mm_set1_epi32(int(TRANSPARENT_COLOR_32));
  if (n & 4) {
    const __m128i v = Load128(s);
    const __m128i keys = _mm_cmpeq_epi32(_mm_and_si128(v, keyMask), key);
    if (!_mm_testc_si128(keys, _mm_set1_epi32(-1)))
      Store128(d, Select128(keys, _mm_testz_si128(keys, keys) ? v : Load128(d),
                            _mm_and_si128(v, k)));
    s += 16;
    d += 16;
  }
  if (n & 2) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    const __m128i keys = _mm_cmpeq_epi32(_mm_and_si128(v, keyMask), key);
    const int bits = _mm_movemask_ps(_mm_castsi128_ps(keys)) & 3;
    if (bits != 3) {
      const __m128i old = bits ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d)) : v;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), Select128(keys, old, _mm_and_si128(v, k)));
    }
    s += 8;
    d += 8;
  }
  if (n & 1) {
    const uint32_t v = LoadU32(s);
    if (!IsKey32(v)) StoreU32(d, v & uint32_t(_mm_cvtsi128_si32(k)));
  }
}

// Keyed copy at 4 bytes of rows up to KEYED_NARROW_ROW pixels: sprites.
// clearAlpha is Transparent's rule, Blend at alpha 255 keeps the source's
// alpha byte.  A step of eight opaque pixels is stored, one of eight
// transparent ones skipped, and only a step that holds both reads the
// destination: a load that misses the cache holds up what follows it,
// where a store does not, and sprites land on lines that have left the
// cache since the last frame.  The row's last width % 8 pixels are written
// in pieces that stay inside the row: a last step overlapping the one
// before would cost one store more per row, and stores to lines that are
// not at hand are what a sprite costs.
template <bool clearAlpha, int steps>
[[gnu::noinline]] void KeyedRows32(const uint8_t* src, uint8_t* dst, int width, int height,
                                   int srcPitch, int dstPitch) {
  const __m256i keep = _mm256_set1_epi32(clearAlpha ? 0x00FFFFFF : -1);
  const int tail = width - 8 * steps;
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    // Unrolled: each step gets its own branches, which a sprite's rows
    // repeat, and the row keeps no step counter.
#pragma GCC unroll 8
    for (int k = 0; k < steps; ++k) {
      const __m256i s = Load(src + 32 * k);
      const __m256i key = Key32(s);
      if (_mm256_testz_si256(key, key))
        Store(dst + 32 * k, _mm256_and_si256(s, keep));
      else if (!_mm256_testc_si256(key, _mm256_set1_epi32(-1)))
        Store(dst + 32 * k, Select(key, Load(dst + 32 * k), _mm256_and_si256(s, keep)));
    }
    if (tail) KeyedTail32(src + 32 * steps, dst + 32 * steps, tail, keep);
  }
}

// Keyed copy at 4 bytes of wider rows, in blocks of KEYED_BLOCK pixels
// (a test per step would lose to a scattered key pattern).  A block
// without a transparent pixel is copied without reading the destination,
// so an opaque background costs what a copy costs; a block with one
// selects step by step without branches, so a scattered key pattern costs
// one well-predicted test per block.  The row's last eight pixels are
// loaded before its first store, as in Rows32.
template <bool clearAlpha>
[[gnu::noinline]] void KeyedBlocks32(const uint8_t* src, uint8_t* dst, int width, int height,
                                     int srcPitch, int dstPitch) {
  const __m256i keep = _mm256_set1_epi32(clearAlpha ? 0x00FFFFFF : -1);
  auto pixels = [keep](__m256i s, __m256i d) {
    return Select(Key32(s), d, _mm256_and_si256(s, keep));
  };
  const int last = 4 * (width - 8);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    const __m256i lastPixels = pixels(Load(src + last), Load(dst + last));
    int x = 0;
    for (; x + KEYED_BLOCK <= width; x += KEYED_BLOCK) {
      const uint8_t* s8 = src + 4 * x;
      uint8_t* d8 = dst + 4 * x;
      __m256i s[KEYED_BLOCK / 8];
      __m256i keys = _mm256_setzero_si256();
#pragma GCC unroll 8
      for (int k = 0; k < KEYED_BLOCK / 8; ++k) {
        s[k] = Load(s8 + 32 * k);
        keys = _mm256_or_si256(keys, Key32(s[k]));
      }
      if (_mm256_testz_si256(keys, keys)) {
#pragma GCC unroll 8
        for (int k = 0; k < KEYED_BLOCK / 8; ++k) Store(d8 + 32 * k, _mm256_and_si256(s[k], keep));
      } else {
#pragma GCC unroll 8
        for (int k = 0; k < KEYED_BLOCK / 8; ++k)
          Store(d8 + 32 * k, pixels(s[k], Load(d8 + 32 * k)));
      }
    }
    for (; x + 8 <= width; x += 8) Store(dst + 4 * x, pixels(Load(src + 4 * x), Load(dst + 4 * x)));
    if (width & 7) Store(dst + last, lastPixels);
  }
}

template <bool clearAlpha>
inline void KeyedCopy32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                        int dstPitch) {
  // Sprite rows with the number of whole steps fixed, so that nothing but
  // the pixels is decided per row.
  static_assert(KEYED_NARROW_ROW == 64);
  using Rows = void (*)(const uint8_t*, uint8_t*, int, int, int, int);
  static constexpr Rows rows[9] = {
      KeyedRows32<clearAlpha, 0>, KeyedRows32<clearAlpha, 1>, KeyedRows32<clearAlpha, 2>,
      KeyedRows32<clearAlpha, 3>, KeyedRows32<clearAlpha, 4>, KeyedRows32<clearAlpha, 5>,
      KeyedRows32<clearAlpha, 6>, KeyedRows32<clearAlpha, 7>, KeyedRows32<clearAlpha, 8>};
  if (width <= KEYED_NARROW_ROW)
    return rows[width / 8](src, dst, width, height, srcPitch, dstPitch);
  KeyedBlocks32<clearAlpha>(src, dst, width, height, srcPitch, dstPitch);
}

void Transparent32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  KeyedCopy32<true>(src, dst, width, height, srcPitch, dstPitch);
}

// One opaque run of count 4-byte pixels, copied without reading the
// target: steps of eight, and the last eight again, overlapping the step
// before (it stores the same source pixels there); shorter runs in two
// overlapping halves of 4, 2 or 1 pixels.
inline void CopyRun32(const uint8_t* s, uint8_t* d, int count, __m256i keep) {
  if (count >= 8) {
    const int last = 4 * (count - 8);
    for (int x = 0; x < last; x += 32) Store(d + x, _mm256_and_si256(Load(s + x), keep));
    Store(d + last, _mm256_and_si256(Load(s + last), keep));
  } else if (count >= 4) {
    const __m128i k = _mm256_castsi256_si128(keep);
    const int last = 4 * (count - 4);
    const __m128i a = _mm_and_si128(Load128(s), k), b = _mm_and_si128(Load128(s + last), k);
    Store128(d, a);
    Store128(d + last, b);
  } else if (count >= 2) {
    const __m128i k = _mm256_castsi256_si128(keep);
    const int last = 4 * (count - 2);
    const __m128i a = _mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)), k);
    const __m128i b = _mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + last)), k);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), a);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + last), b);
  } else {
    StoreU32(d, LoadU32(s) & uint32_t(_mm256_cvtsi256_si32(keep)));
  }
}

template <bool clearAlpha>
void Runs32(const SpriteRuns& runs, const uint8_t* src, uint8_t* dst, int firstRow, int rows,
            int firstColumn, int columns, int srcPitch, int dstPitch) {
  const __m256i keep = _mm256_set1_epi32(clearAlpha ? 0x00FFFFFF : -1);
  ForEachRun<4>(
      runs, src, dst, firstRow, rows, firstColumn, columns, srcPitch, dstPitch,
      [keep](const uint8_t* s, uint8_t* d, int count) { CopyRun32(s, d, count, keep); },
      [srcPitch, dstPitch](const uint8_t* s, uint8_t* d, int count, int n) {
        KeyedCopy32<clearAlpha>(s, d, count, n, srcPitch, dstPitch);
      });
}

void Alpha8To32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                int dstPitch, int32_t, int32_t, int32_t) {
  const __m256i colour = _mm256_set1_epi32(0x00FFFFFF);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      // Eight source bytes widened to 32-bit lanes, then moved to the top byte.
      const __m128i s8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + x));
      const __m256i top = _mm256_slli_epi32(_mm256_cvtepu8_epi32(s8), 24);
      Store(dst + 4 * x, _mm256_or_si256(_mm256_and_si256(Load(dst + 4 * x), colour), top));
    }
    for (; x < width; ++x) dst[4 * x + 3] = src[x];
  }
}

void Blend32Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t, int32_t) {
  if (alpha == 0) return;
  const uint32_t a = BlendFactor32(alpha);
  if (a == 256) return KeyedCopy32<false>(src, dst, width, height, srcPitch, dstPitch);
  const __m256i weights = _mm256_set1_epi16(short((256 - a) << 8 | a));
  auto pixels = [weights](__m256i s, __m256i d) {
    return Select(Key32(s), d, Blend32x8(s, d, weights));
  };
  Rows32(src, dst, width, height, srcPitch, dstPitch, pixels);
}

void Blend16Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t param, int32_t extra) {
  if (alpha == 0) return;
  const uint32_t w = BlendFactor16(alpha);
  if (w == 0) return;  // every field stays d
  if (w == 32) return Transparent16(src, dst, width, height, srcPitch, dstPitch, alpha, param, extra);
  const __m256i vw = _mm256_set1_epi16(short(w));
  const __m256i key = _mm256_set1_epi16(short(TRANSPARENT_COLOR_16));
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
      const __m256i s = Load(src + 2 * x);
      const __m256i d = Load(dst + 2 * x);
      Store(dst + 2 * x, Select(_mm256_cmpeq_epi16(s, key), d, Blend16x16(s, d, vw)));
    }
    if (x + 8 <= width) {
      // Eight more in the low halves; the upper halves are don't-cares.
      const __m256i s = _mm256_zextsi128_si256(Load128(src + 2 * x));
      const __m256i d = _mm256_zextsi128_si256(Load128(dst + 2 * x));
      const __m256i r = Select(_mm256_cmpeq_epi16(s, key), d, Blend16x16(s, d, vw));
      Store128(dst + 2 * x, _mm256_castsi256_si128(r));
      x += 8;
    }
    for (; x < width; ++x) {
      const uint16_t s = LoadU16(src + 2 * x);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst + 2 * x, Blend16(s, LoadU16(dst + 2 * x), w));
    }
  }
}

const BlitTable AVX2_TRANSPARENT = {{Transparent8, Transparent16, nullptr, Transparent32}};
const BlitTable AVX2_ALPHA = {{nullptr, nullptr, nullptr, Alpha8To32}};
// A keyed copy at 1 byte, nothing at alpha 0 (see the plain set).
void Blend8Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t alpha, int32_t param, int32_t extra) {
  if (alpha == 0) return;
  Transparent8(src, dst, width, height, srcPitch, dstPitch, alpha, param, extra);
}

const BlitTable AVX2_BLEND = {{Blend8Routine, Blend16Routine, nullptr, Blend32Routine}};

}  // namespace

RunsRoutine Avx2RunsRoutine(int bpp, bool clearAlpha) {
  if (bpp != 4) return PlainRunsRoutine(bpp, clearAlpha);
  return clearAlpha ? Runs32<true> : Runs32<false>;
}

const BlitTable* Avx2BlitTable(PutMode mode) {
  switch (mode) {
    case PutMode::Transparent: return &AVX2_TRANSPARENT;
    case PutMode::Alpha: return &AVX2_ALPHA;
    case PutMode::Blend: return &AVX2_BLEND;
  }
  return nullptr;
}

}  // namespace fb

#else

#include "sprite_runs.h"

namespace fb {
const BlitTable* Avx2BlitTable(PutMode mode) { return Sse2BlitTable(mode); }
RunsRoutine Avx2RunsRoutine(int bpp, bool clearAlpha) { return PlainRunsRoutine(bpp, clearAlpha); }
}  // namespace fb

#endif
