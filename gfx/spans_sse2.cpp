#include <cstring>

#include "spans_packed.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>

namespace fb {

namespace {

// Stores 64 bytes a step, then 16, then the last pixels one by one.
// Unaligned stores cost nothing extra on aligned rows, and they let every
// start address and length take the same path.
inline void FillBytes(uint8_t* p, __m128i v, size_t bytes) {
  size_t i = 0;
  for (; i + 64 <= bytes; i += 64) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 16), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 32), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 48), v);
  }
  for (; i + 16 <= bytes; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
}

void Fill8(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint8_t*>(dst);
  FillBytes(p, _mm_set1_epi8(char(value)), count);
  for (size_t i = count & ~size_t(15); i < count; ++i) p[i] = uint8_t(value);
}
void Fill16(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint16_t*>(dst);
  FillBytes(static_cast<uint8_t*>(dst), _mm_set1_epi16(short(value)), count * 2);
  for (size_t i = count & ~size_t(7); i < count; ++i) p[i] = uint16_t(value);
}
void Fill32(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint32_t*>(dst);
  FillBytes(static_cast<uint8_t*>(dst), _mm_set1_epi32(int(value)), count * 4);
  for (size_t i = count & ~size_t(3); i < count; ++i) p[i] = value;
}

inline void CopyBytes(uint8_t* d, const uint8_t* s, size_t bytes) {
  size_t i = 0;
  for (; i + 64 <= bytes; i += 64) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 32));
    __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 32), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 48), e);
  }
  for (; i + 16 <= bytes; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
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

const SpanRoutines SSE2[3] = {{Fill8, Copy8}, {Fill16, Copy16}, {Fill32, Copy32}};

}  // namespace

const SpanRoutines& Sse2Spans(int bpp) { return SSE2[bpp == 4 ? 2 : bpp == 2 ? 1 : 0]; }

}  // namespace fb

#else

namespace fb {
const SpanRoutines& Sse2Spans(int bpp) { return PlainSpans(bpp); }
}  // namespace fb

#endif
