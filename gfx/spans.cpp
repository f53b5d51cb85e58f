#include "spans.h"

#include <cstring>

#include "spans_packed.h"

namespace fb {

namespace {

void Fill8(void* dst, uint32_t value, size_t count) { std::memset(dst, int(value & 0xFF), count); }
void Fill16(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint16_t*>(dst);
  for (size_t i = 0; i < count; ++i) p[i] = uint16_t(value);
}
void Fill32(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint32_t*>(dst);
  for (size_t i = 0; i < count; ++i) p[i] = value;
}
void Copy8(void* dst, const void* src, size_t count) { std::memcpy(dst, src, count); }
void Copy16(void* dst, const void* src, size_t count) { std::memcpy(dst, src, count * 2); }
void Copy32(void* dst, const void* src, size_t count) { std::memcpy(dst, src, count * 4); }

const SpanRoutines PLAIN[3] = {{Fill8, Copy8}, {Fill16, Copy16}, {Fill32, Copy32}};

int Index(int bpp) { return bpp == 4 ? 2 : bpp == 2 ? 1 : 0; }

}  // namespace

const SpanRoutines& PlainSpans(int bpp) { return PLAIN[Index(bpp)]; }

const SpanRoutines& PackedSpans(int bpp) {
  uint32_t features = CpuFeatures();
  if (features & CPU_AVX2) return Avx2Spans(bpp);
  if (features & CPU_SSE2) return Sse2Spans(bpp);
  return PlainSpans(bpp);
}

}  // namespace fb
