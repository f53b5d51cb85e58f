// The packed-instruction span routines, one set per instruction set.
// Internal to the drawing services: callers go through PackedSpans, which
// picks the set the processor runs.
#pragma once
#include "spans.h"

namespace fb {

const SpanRoutines& Sse2Spans(int bpp);
const SpanRoutines& Avx2Spans(int bpp);

}  // namespace fb
