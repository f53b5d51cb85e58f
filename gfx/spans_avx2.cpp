// Compiled with -mavx2; only called when the processor reports AVX2.
// Each routine handles its whole length itself: falling into SSE code for
// the tail would mix 256-bit and legacy instructions without vzeroupper.
#include "spans_packed.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace fb {

namespace {

inline void FillBytes(uint8_t* p, __m256i v, size_t bytes) {
  size_t i = 0;
  for (; i + 128 <= bytes; i += 128) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 32), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 64), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 96), v);
  }
  for (; i + 32 <= bytes; i += 32) _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), v);
}

void Fill8(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint8_t*>(dst);
  FillBytes(p, _mm256_set1_epi8(char(value)), count);
  for (size_t i = count & ~size_t(31); i < count; ++i) p[i] = uint8_t(value);
}
void Fill16(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint16_t*>(dst);
  FillBytes(static_cast<uint8_t*>(dst), _mm256_set1_epi16(short(value)), count * 2);
  for (size_t i = count & ~size_t(15); i < count; ++i) p[i] = uint16_t(value);
}
void Fill32(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint32_t*>(dst);
  FillBytes(static_cast<uint8_t*>(dst), _mm256_set1_epi32(int(value)), count * 4);
  for (size_t i = count & ~size_t(7); i < count; ++i) p[i] = value;
}

inline void CopyBytes(uint8_t* d, const uint8_t* s, size_t bytes) {
  size_t i = 0;
  for (; i + 128 <= bytes; i += 128) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 64));
    __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 96));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 32), b);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 64), c);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 96), e);
  }
  for (; i + 32 <= bytes; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
  for (; i < bytes; ++i) d[i] = s[i];
}

void Copy8(void* dst, const void* src, size_t count) {
  CopyBytes(static_cast<uint8_t*>(dst), static_cast<const uint8_t*>(src), count);
}
void Copy16(void* dst, const void* src, size_t count) {
  CopyBytes(static_cast<uint8_t*>(dst), static_cast<const uint8_t*>(src), count * 2);
}
void Copy32(void* dst, const void* src, size_t count) {
  CopyBytes(static_cast<uint8_t*>(dst), static_cast<const uint8_t*>(src), count * 4);
}

const SpanRoutines AVX2[3] = {{Fill8, Copy8}, {Fill16, Copy16}, {Fill32, Copy32}};

}  // namespace

const SpanRoutines& Avx2Spans(int bpp) { return AVX2[bpp == 4 ? 2 : bpp == 2 ? 1 : 0]; }

}  // namespace fb

#else

namespace fb {
const SpanRoutines& Avx2Spans(int bpp) { return Sse2Spans(bpp); }
}  // namespace fb

#endif
