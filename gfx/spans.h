// Filling and copying runs of pixels, in a plain set and a set using
// packed integer instructions (SSE2 on x86-64, AVX2 where the processor
// has it).  Both sets leave identical memory for every length and
// alignment.  Pure functions on memory; callers clip.
#pragma once
#include <cstddef>
#include <cstdint>

#include "../platform/cpu.h"  // which packed set PackedSpans picks

namespace fb {

struct SpanRoutines {
  void (*FillSpan)(void* dst, uint32_t value, size_t count);
  void (*CopySpan)(void* dst, const void* src, size_t count);
};

// bpp is 1, 2 or 4; count is in pixels.
const SpanRoutines& PlainSpans(int bpp);
const SpanRoutines& PackedSpans(int bpp);  // the best packed set this processor runs

}  // namespace fb
