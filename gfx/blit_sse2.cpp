// The SSE2 blit routines: four 32-bit, eight 16-bit or sixteen 8-bit
// pixels per step, the rest of a row one pixel at a time with the plain
// rules of blit_pixel.h.  Every routine gives exactly the plain set's
// pixels.  Keyed copies read the destination, compare and select without
// branches: measured faster than skipping runs of transparent pixels.
// Callers clip.
#include "blit_packed.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>

#include "blit_pixel.h"

namespace fb {

namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// Lanes where key is set keep d, the others take s.
inline __m128i Select(__m128i key, __m128i d, __m128i s) {
  return _mm_or_si128(_mm_and_si128(key, d), _mm_andnot_si128(key, s));
}

inline __m128i Key32(__m128i s) {
  return _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(0x00FFFFFF)),
                         _mm_set1_epi32(int(TRANSPARENT_COLOR_32)));
}

// Four pixels of the 4-byte blend, a in 1..255.  Each byte's numerator
// d * 256 + (s - d) * a lies in 0..65280, so computing it modulo 2^16 in
// 16-bit lanes (wrapping multiply and add) gives it exactly; the result
// byte is its high byte.  Blue and red sit in the low bytes of the lanes,
// green and alpha in the high ones.
inline __m128i Blend32x4(__m128i s, __m128i d, __m128i a) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i highBytes = _mm_set1_epi16(short(0xFF00));
  const __m128i diffRB = _mm_sub_epi16(_mm_and_si128(s, lowBytes), _mm_and_si128(d, lowBytes));
  const __m128i rb = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(diffRB, a), _mm_slli_epi16(d, 8)), 8);
  const __m128i diffAG = _mm_sub_epi16(_mm_srli_epi16(s, 8), _mm_srli_epi16(d, 8));
  const __m128i ag =
      _mm_and_si128(_mm_add_epi16(_mm_mullo_epi16(diffAG, a), _mm_and_si128(d, highBytes)), highBytes);
  return _mm_or_si128(rb, ag);
}

// Eight 5-6-5 pixels, w in 0..32.  Per field the numerator
// d * 32 + (s - d) * w is exact modulo 2^16 as above; green is worked in
// place (bits 5..10), its numerator scaled by 32 still below 2^16.
inline __m128i Blend16x8(__m128i s, __m128i d, __m128i w) {
  const __m128i blueMask = _mm_set1_epi16(0x001F);
  const __m128i greenMask = _mm_set1_epi16(0x07E0);
  const __m128i db = _mm_and_si128(d, blueMask);
  const __m128i b = _mm_srli_epi16(
      _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_and_si128(s, blueMask), db), w),
                    _mm_slli_epi16(db, 5)),
      5);
  const __m128i dg = _mm_and_si128(d, greenMask);
  const __m128i g = _mm_and_si128(
      _mm_srli_epi16(
          _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_and_si128(s, greenMask), dg), w),
                        _mm_slli_epi16(dg, 5)),
          5),
      greenMask);
  const __m128i dr = _mm_srli_epi16(d, 11);
  const __m128i r = _mm_and_si128(
      _mm_slli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_srli_epi16(s, 11), dr), w),
                                   _mm_slli_epi16(dr, 5)),
                     6),
      _mm_set1_epi16(short(0xF800)));
  return _mm_or_si128(_mm_or_si128(r, g), b);
}

void Transparent8(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                  int dstPitch, int32_t, int32_t, int32_t) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
      const __m128i s = Load(src + x);
      Store(dst + x, Select(_mm_cmpeq_epi8(s, zero), Load(dst + x), s));
    }
    for (; x < width; ++x)
      if (src[x] != TRANSPARENT_COLOR_8) dst[x] = src[x];
  }
}

void Transparent16(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  const __m128i key = _mm_set1_epi16(short(TRANSPARENT_COLOR_16));
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      const __m128i s = Load(src + 2 * x);
      Store(dst + 2 * x, Select(_mm_cmpeq_epi16(s, key), Load(dst + 2 * x), s));
    }
    for (; x < width; ++x) {
      const uint16_t s = LoadU16(src + 2 * x);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst + 2 * x, s);
    }
  }
}

// Keyed copy at 4 bytes; clearAlpha is Transparent's rule, Blend at
// alpha 255 keeps the source's alpha byte.
template <bool clearAlpha>
void KeyedCopy32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                 int dstPitch) {
  const __m128i keep = _mm_set1_epi32(clearAlpha ? 0x00FFFFFF : -1);
  const uint32_t keepScalar = clearAlpha ? 0x00FFFFFFu : ~0u;
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 4 <= width; x += 4) {
      const __m128i s = Load(src + 4 * x);
      Store(dst + 4 * x, Select(Key32(s), Load(dst + 4 * x), _mm_and_si128(s, keep)));
    }
    for (; x < width; ++x) {
      const uint32_t s = LoadU32(src + 4 * x);
      if (!IsKey32(s)) StoreU32(dst + 4 * x, s & keepScalar);
    }
  }
}

void Transparent32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  KeyedCopy32<true>(src, dst, width, height, srcPitch, dstPitch);
}

void Alpha8To32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                int dstPitch, int32_t, int32_t, int32_t) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 4 <= width; x += 4) {
      // Each source byte moves to the top byte of its 32-bit lane.
      const __m128i s = _mm_cvtsi32_si128(int(LoadU32(src + x)));
      const __m128i top = _mm_unpacklo_epi16(zero, _mm_unpacklo_epi8(zero, s));
      Store(dst + 4 * x, _mm_or_si128(_mm_and_si128(Load(dst + 4 * x), colour), top));
    }
    for (; x < width; ++x) dst[4 * x + 3] = src[x];
  }
}

void Blend32Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t, int32_t) {
  if (alpha == 0) return;
  const uint32_t a = BlendFactor32(alpha);
  if (a == 256) return KeyedCopy32<false>(src, dst, width, height, srcPitch, dstPitch);
  const __m128i va = _mm_set1_epi16(short(a));
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 4 <= width; x += 4) {
      const __m128i s = Load(src + 4 * x);
      const __m128i d = Load(dst + 4 * x);
      Store(dst + 4 * x, Select(Key32(s), d, Blend32x4(s, d, va)));
    }
    for (; x < width; ++x) {
      const uint32_t s = LoadU32(src + 4 * x);
      if (!IsKey32(s)) StoreU32(dst + 4 * x, Blend32(s, LoadU32(dst + 4 * x), a));
    }
  }
}

void Blend16Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t param, int32_t extra) {
  if (alpha == 0) return;
  const uint32_t w = BlendFactor16(alpha);
  if (w == 0) return;  // every field stays d
  if (w == 32) return Transparent16(src, dst, width, height, srcPitch, dstPitch, alpha, param, extra);
  const __m128i vw = _mm_set1_epi16(short(w));
  const __m128i key = _mm_set1_epi16(short(TRANSPARENT_COLOR_16));
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      const __m128i s = Load(src + 2 * x);
      const __m128i d = Load(dst + 2 * x);
      Store(dst + 2 * x, Select(_mm_cmpeq_epi16(s, key), d, Blend16x8(s, d, vw)));
    }
    for (; x < width; ++x) {
      const uint16_t s = LoadU16(src + 2 * x);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst + 2 * x, Blend16(s, LoadU16(dst + 2 * x), w));
    }
  }
}

const BlitTable SSE2_TRANSPARENT = {{Transparent8, Transparent16, nullptr, Transparent32}};
const BlitTable SSE2_ALPHA = {{nullptr, nullptr, nullptr, Alpha8To32}};
// A keyed copy at 1 byte, nothing at alpha 0 (see the plain set).
void Blend8Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t alpha, int32_t param, int32_t extra) {
  if (alpha == 0) return;
  Transparent8(src, dst, width, height, srcPitch, dstPitch, alpha, param, extra);
}

const BlitTable SSE2_BLEND = {{Blend8Routine, Blend16Routine, nullptr, Blend32Routine}};

}  // namespace

const BlitTable* Sse2BlitTable(PutMode mode) {
  switch (mode) {
    case PutMode::Transparent: return &SSE2_TRANSPARENT;
    case PutMode::Alpha: return &SSE2_ALPHA;
    case PutMode::Blend: return &SSE2_BLEND;
  }
  return nullptr;
}

}  // namespace fb

#else

namespace fb {
const BlitTable* Sse2BlitTable(PutMode mode) { return PlainBlitTable(mode); }
}  // namespace fb

#endif
