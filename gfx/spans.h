// Filling and copying runs of pixels, in a plain set and a set using
// packed integer instructions (SSE2 on x86-64, AVX2 where the processor
// has it).  Both sets leave identical memory for every length and
// alignment.  Pure functions on memory; callers clip.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fb {

struct SpanRoutines {
  void (*FillSpan)(void* dst, uint32_t value, size_t count);
  void (*CopySpan)(void* dst, const void* src, size_t count);
};

// bpp is 1, 2 or 4; count is in pixels.
const SpanRoutines& PlainSpans(int bpp);
const SpanRoutines& PackedSpans(int bpp);  // the best packed set this processor runs

// Processor features that the packed routines use.
constexpr uint32_t CPU_SSE2 = 1;
constexpr uint32_t CPU_AVX2 = 2;

// What this processor offers (read once), masked by ForceCpuFeatures.
uint32_t CpuFeatures();
// Limits the features the library will use from the next screen opening
// on; tests and benchmarks use it to run the plain set.  ~0u restores all.
void ForceCpuFeatures(uint32_t mask);

}  // namespace fb
