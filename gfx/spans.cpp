#include "spans.h"

#include <atomic>
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

uint32_t DetectCpu() {
  uint32_t features = 0;
#if defined(__x86_64__) || defined(_M_X64)
  features |= CPU_SSE2;  // part of the x86-64 base
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) features |= CPU_AVX2;
#endif
  return features;
}

std::atomic<uint32_t> featureMask{~0u};

}  // namespace

const SpanRoutines& PlainSpans(int bpp) { return PLAIN[Index(bpp)]; }

const SpanRoutines& PackedSpans(int bpp) {
  uint32_t features = CpuFeatures();
  if (features & CPU_AVX2) return Avx2Spans(bpp);
  if (features & CPU_SSE2) return Sse2Spans(bpp);
  return PlainSpans(bpp);
}

uint32_t CpuFeatures() {
  static const uint32_t detected = DetectCpu();
  return detected & featureMask.load(std::memory_order_relaxed);
}

void ForceCpuFeatures(uint32_t mask) { featureMask.store(mask, std::memory_order_relaxed); }

}  // namespace fb
